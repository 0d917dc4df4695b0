// The operating system's own code page 932 converter, one character at a
// time: iconv on Linux (Cp932Iconv.cpp), MultiByteToWideChar on Windows
// (Cp932Win32.cpp). Cp932.cpp builds its table from it once.
#pragma once
#include <cstddef>

namespace Ado::Embedded {

class CCp932Decoder {
public:
    CCp932Decoder();
    ~CCp932Decoder();
    CCp932Decoder(const CCp932Decoder&) = delete;
    CCp932Decoder& operator=(const CCp932Decoder&) = delete;

    // The UTF-8 form of the one character in `size` (1 or 2) bytes at `in`,
    // written to `out`; returns its length, or 0 when the bytes are no
    // character of the code page.
    std::size_t Decode(const char* in, std::size_t size, char out[4]);

private:
    void* m_state;
};

}  // namespace Ado::Embedded
