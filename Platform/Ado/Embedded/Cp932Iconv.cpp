// Code page 932 through iconv, on Linux.
#include <iconv.h>

#include <vector>

#include "Platform/Ado/Embedded/Cp932.h"
#include "Platform/Ado/Embedded/Cp932Convert.h"

namespace Ado::Embedded {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

}  // namespace

CCp932Decoder::CCp932Decoder() : m_state(iconv_open("UTF-8", "CP932")) {}

CCp932Decoder::~CCp932Decoder() {
    if (static_cast<iconv_t>(m_state) != kNoConverter)
        iconv_close(static_cast<iconv_t>(m_state));
}

std::size_t CCp932Decoder::Decode(const char* in, std::size_t size, char out[4]) {
    auto cd = static_cast<iconv_t>(m_state);
    if (cd == kNoConverter || size > 2)
        return 0;
    char source[2];
    for (std::size_t i = 0; i < size; ++i) source[i] = in[i];
    char* src = source;
    char* dst = out;
    size_t left = size, room = 4;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) || left != 0)
        return 0;
    return 4 - room;
}

bool Utf8ToCp932(const std::string& utf8, std::string* out) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == kNoConverter)
        return false;
    std::vector<char> buffer(utf8.size() * 2 + 4);
    char* src = const_cast<char*>(utf8.data());
    char* dst = buffer.data();
    size_t left = utf8.size(), room = buffer.size();
    bool ok = iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1) && left == 0;
    iconv_close(cd);
    if (ok)
        out->append(buffer.data(), buffer.size() - room);
    return ok;
}

}  // namespace Ado::Embedded
