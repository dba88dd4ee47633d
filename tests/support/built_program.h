// The built programs as the tests see them: where they lie beside the tests folder, and their
// version resource and manifest read back the way Windows reads them.
#pragma once

#include <windows.h>

#include <map>
#include <string>

// The build folder is the parent of the folder that holds the running test binary.
std::wstring builtProgramPath(const std::wstring& relativeToBuild);

struct ProgramVersion {
    bool found = false;
    WORD fileVersion[4] = {};
    WORD productVersion[4] = {};
    WORD language = 0;
    WORD codePage = 0;
    // The StringFileInfo values of the first translation, by name.
    std::map<std::wstring, std::wstring> strings;
};

// Through GetFileVersionInfoW and VerQueryValueW, as the file properties dialog does.
ProgramVersion readProgramVersion(const std::wstring& file);

// The application manifest (RT_MANIFEST 1) as UTF-8 text; empty when there is none.
std::string readProgramManifest(const std::wstring& file);

// Windows 7, 8, 8.1 and 10/11: the compatibility identifiers both programs declare.
extern const char* const kSupportedOsIds[4];
