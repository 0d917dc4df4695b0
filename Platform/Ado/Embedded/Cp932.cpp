#include "Platform/Ado/Embedded/Cp932.h"

#include "Platform/Ado/Embedded/Cp932Convert.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace Ado::Embedded {

namespace {

// One entry per single byte and per double-byte pair: the UTF-8 bytes and
// their count (0 = not a character).
struct Utf8Char {
    char bytes[4];
    std::uint8_t length;
};

struct Table {
    Utf8Char single[256];
    std::vector<Utf8Char> pairs = std::vector<Utf8Char>(65536);  // lead << 8 | trail
    bool lead[256] = {};
};

void Encode(unsigned codePoint, Utf8Char* out) {
    out->bytes[0] = static_cast<char>(0xE0 | codePoint >> 12);
    out->bytes[1] = static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    out->bytes[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
    out->length = 3;
}

const Table& TheTable() {
    static Table* table = [] {
        auto* t = new Table();
        CCp932Decoder decoder;
        auto convert = [&decoder](const char* in, size_t size, Utf8Char* out) {
            out->length = static_cast<std::uint8_t>(decoder.Decode(in, size, out->bytes));
        };
        for (int b = 0; b < 256; ++b) {
            char c = static_cast<char>(b);
            t->single[b].length = 0;
            bool isLead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
            t->lead[b] = isLead;
            if (!isLead)
                convert(&c, 1, &t->single[b]);
            if (!isLead)
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (trail == 0x7F)
                    continue;
                char pair[2] = {c, static_cast<char>(trail)};
                convert(pair, 2, &t->pairs[b << 8 | trail]);
            }
        }
        // Windows maps these single bytes too; a server on Windows reads them.
        const struct {
            int byte;
            unsigned codePoint;
        } extras[] = {{0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}};
        for (const auto& e : extras)
            if (t->single[e.byte].length == 0)
                Encode(e.codePoint, &t->single[e.byte]);
        if (t->single[0x80].length == 0) {
            t->single[0x80] = Utf8Char{{static_cast<char>(0xC2), static_cast<char>(0x80)}, 2};
        }
        return t;
    }();
    return *table;
}

}  // namespace

bool Cp932ToUtf8(const char* text, std::size_t size, std::string* out, std::size_t* characters) {
    const Table& table = TheTable();
    std::size_t count = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + size;
    while (p < end) {
        // Runs of ASCII are copied as they are.
        const unsigned char* run = p;
        while (run < end && *run < 0x80) ++run;
        if (run != p) {
            out->append(reinterpret_cast<const char*>(p), static_cast<size_t>(run - p));
            count += static_cast<size_t>(run - p);
            p = run;
            continue;
        }
        const Utf8Char* c;
        if (table.lead[*p]) {
            if (p + 1 >= end)
                return false;
            c = &table.pairs[static_cast<size_t>(p[0]) << 8 | p[1]];
            p += 2;
        } else {
            c = &table.single[*p];
            p += 1;
        }
        if (c->length == 0)
            return false;
        out->append(c->bytes, c->length);
        ++count;
    }
    if (characters)
        *characters = count;
    return true;
}

}  // namespace Ado::Embedded
