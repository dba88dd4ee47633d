// A fresh folder under the system's temporary folder, removed with everything in it afterwards.
#pragma once

#include <string>

struct TempFolder {
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::wstring path;
    // path + "\" + relative (slashes become backslashes)
    std::wstring file(const std::wstring& relative) const;
    // Writes bytes to a relative path, creating its folders.
    void write(const std::wstring& relative, const std::string& bytes) const;
    std::string read(const std::wstring& relative) const;
    bool exists(const std::wstring& relative) const;
};

void removeTree(const std::wstring& path);
std::string readFileBytes(const std::wstring& path);
void writeFileBytes(const std::wstring& path, const std::string& bytes);
