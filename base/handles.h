// Move-only owners for every system handle the program opens (files, searches, processes, WinHTTP,
// CNG, registry keys, GDI objects), so that each failure path releases what it opened.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

#include <utility>

// Traits: `type`, `invalid()` (the value that owns nothing) and `close(value)`.
template <typename Traits>
class UniqueHandle {
   public:
    using type = typename Traits::type;

    UniqueHandle() = default;
    explicit UniqueHandle(type value) : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    type get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::invalid(); }
    // For out-parameters of the opening call; releases what was held before.
    type* put() {
        reset();
        return &value_;
    }
    type release() { return std::exchange(value_, Traits::invalid()); }
    void reset(type value = Traits::invalid()) {
        if (value_ != Traits::invalid()) Traits::close(value_);
        value_ = value;
    }

   private:
    type value_ = Traits::invalid();
};

struct FileHandleTraits {  // CreateFileW: INVALID_HANDLE_VALUE on failure
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { CloseHandle(h); }
};
struct KernelHandleTraits {  // threads, events, processes, mutexes: null on failure
    using type = HANDLE;
    static type invalid() { return nullptr; }
    static void close(type h) { CloseHandle(h); }
};
struct FindHandleTraits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { FindClose(h); }
};
struct InternetHandleTraits {  // sessions, connections and requests alike
    using type = HINTERNET;
    static type invalid() { return nullptr; }
    static void close(type h) { WinHttpCloseHandle(h); }
};
struct AlgorithmHandleTraits {
    using type = BCRYPT_ALG_HANDLE;
    static type invalid() { return nullptr; }
    static void close(type h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashHandleTraits {
    using type = BCRYPT_HASH_HANDLE;
    static type invalid() { return nullptr; }
    static void close(type h) { BCryptDestroyHash(h); }
};
struct KeyHandleTraits {
    using type = BCRYPT_KEY_HANDLE;
    static type invalid() { return nullptr; }
    static void close(type h) { BCryptDestroyKey(h); }
};
struct RegKeyTraits {
    using type = HKEY;
    static type invalid() { return nullptr; }
    static void close(type h) { RegCloseKey(h); }
};
struct GdiObjectTraits {  // bitmaps, regions, brushes, fonts created with the GDI Create* calls
    using type = HGDIOBJ;
    static type invalid() { return nullptr; }
    static void close(type h) { DeleteObject(h); }
};
struct ModuleTraits {  // LoadLibraryExW, also of files mapped only for their resources
    using type = HMODULE;
    static type invalid() { return nullptr; }
    static void close(type h) { FreeLibrary(h); }
};
struct MemoryDcTraits {  // CreateCompatibleDC
    using type = HDC;
    static type invalid() { return nullptr; }
    static void close(type h) { DeleteDC(h); }
};
struct LocalMemoryTraits {  // what the system allocates for the caller to LocalFree (security descriptors)
    using type = HLOCAL;
    static type invalid() { return nullptr; }
    static void close(type h) { LocalFree(h); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueInternet = UniqueHandle<InternetHandleTraits>;
using UniqueAlgorithm = UniqueHandle<AlgorithmHandleTraits>;
using UniqueHash = UniqueHandle<HashHandleTraits>;
using UniqueKey = UniqueHandle<KeyHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;
using UniqueLocal = UniqueHandle<LocalMemoryTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;

// Selects an object into a device context and puts the previous one back when it goes out of
// scope: a DC must never be deleted, nor its object freed, while the object is still selected.
class SelectGuard {
   public:
    SelectGuard() = default;
    SelectGuard(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~SelectGuard() { restore(); }
    SelectGuard(SelectGuard&& other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), previous_(std::exchange(other.previous_, nullptr)) {}
    SelectGuard& operator=(SelectGuard&& other) noexcept {
        if (this != &other) {
            restore();
            dc_ = std::exchange(other.dc_, nullptr);
            previous_ = std::exchange(other.previous_, nullptr);
        }
        return *this;
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

    void restore() {
        if (dc_ && previous_) SelectObject(dc_, previous_);
        dc_ = nullptr;
        previous_ = nullptr;
    }

   private:
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};
