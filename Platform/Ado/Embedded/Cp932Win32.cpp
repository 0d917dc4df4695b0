// Code page 932 through the system's own tables, on Windows: to UTF-16 and
// on to UTF-8, refusing any byte that is no character.
#include "Platform/Win32/Win32Api.h"
// After the Win32 headers.
#include <string>
#include <vector>

#include "Platform/Ado/Embedded/Cp932.h"
#include "Platform/Ado/Embedded/Cp932Convert.h"

namespace Ado::Embedded {

namespace {

constexpr UINT kCodePage = 932;

}  // namespace

CCp932Decoder::CCp932Decoder() : m_state(nullptr) {}

CCp932Decoder::~CCp932Decoder() = default;

std::size_t CCp932Decoder::Decode(const char* in, std::size_t size, char out[4]) {
    if (size == 0 || size > 2)
        return 0;
    wchar_t wide[2];
    int n =
        MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, in, static_cast<int>(size), wide, 2);
    if (n != 1)
        return 0;
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, 1, out, 4, nullptr, nullptr);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}

bool Utf8ToCp932(const std::string& utf8, std::string* out) {
    if (utf8.empty())
        return true;
    int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::vector<wchar_t> wide(static_cast<size_t>(wideLength));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        wideLength);
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength,
                                     nullptr, 0, nullptr, &lossy);
    if (length <= 0 || lossy)
        return false;
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, bytes.data(),
                        length, nullptr, nullptr);
    out->append(bytes);
    return true;
}

}  // namespace Ado::Embedded
