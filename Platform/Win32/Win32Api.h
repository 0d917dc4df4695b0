// The Win32 headers as the Windows side of the seam includes them, and the
// move-only owners of the handles it opens.
//
// Only Platform/Win32 (and the tests of it) include this file. No seam method
// shares a name with a macro or function of <windows.h>, so its macros stay as
// they are; the Win32 code calls the ...A functions by their full names.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <utility>

namespace Platform::Win32 {

// Owner of one handle. `Traits` names the empty value and the close call;
// closing twice is harmless, and a moved-from owner holds nothing.
template <typename Traits>
class CHandle {
public:
    using Type = typename Traits::Type;

    CHandle() = default;
    explicit CHandle(Type handle) : m_handle(handle) {}
    ~CHandle() { Close(); }
    CHandle(CHandle&& other) noexcept : m_handle(other.Release()) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = other.Release();
        }
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    Type Get() const { return m_handle; }
    bool Valid() const { return m_handle != Traits::Empty(); }
    // Gives up ownership without closing.
    Type Release() { return std::exchange(m_handle, Traits::Empty()); }
    // Closes now; true when there was nothing to close or the close worked.
    bool Close() {
        if (!Valid())
            return true;
        return Traits::Close(Release());
    }

private:
    Type m_handle = Traits::Empty();
};

struct FileHandleTraits {  // CreateFileA
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return CloseHandle(h) != 0; }
};
struct KernelHandleTraits {  // mutexes: null on failure
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static bool Close(Type h) { return CloseHandle(h) != 0; }
};
struct FindHandleTraits {  // FindFirstFileA
    using Type = HANDLE;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return FindClose(h) != 0; }
};
struct KeyHandleTraits {  // RegOpenKeyExA, RegCreateKeyExA
    using Type = HKEY;
    static Type Empty() { return nullptr; }
    static bool Close(Type h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};
struct ModuleHandleTraits {  // LoadLibraryA
    using Type = HMODULE;
    static Type Empty() { return nullptr; }
    static bool Close(Type h) { return FreeLibrary(h) != 0; }
};

using CFileHandle = CHandle<FileHandleTraits>;
using CKernelHandle = CHandle<KernelHandleTraits>;
using CFindHandle = CHandle<FindHandleTraits>;
using CKeyHandle = CHandle<KeyHandleTraits>;
using CModuleHandle = CHandle<ModuleHandleTraits>;

}  // namespace Platform::Win32
