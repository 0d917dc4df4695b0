// SHA-256 (FIPS 180-4) of bytes fed in pieces, so that a file can be hashed
// as it is read from whatever the caller holds (a path or an open descriptor)
// without keeping it whole in memory.
//
// One portable implementation serves every build: the digest must be the same
// bytes on Linux and Windows, and it adds no library to either package.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform {

class CSha256 {
public:
    CSha256();
    // Adds `size` bytes to the message.
    void Update(const void* data, std::size_t size);
    void Update(const std::string& bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything fed so far, as 64 lower-case hexadecimal
    // digits. The object is then spent: feed a new one for the next message.
    std::string FinishHex();

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_buffer{};
    std::size_t m_buffered = 0;
    std::uint64_t m_length = 0;  // bytes fed
};

}  // namespace Platform
