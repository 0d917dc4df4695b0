// SHA-256 (FIPS 180-4) of bytes fed in pieces, so that a file can be hashed
// as it is read from whatever the caller holds (a path or an open descriptor)
// without keeping it whole in memory.
//
// Linux uses Debian's libcrypto (its EVP digest, with the processor's SHA
// instructions where there are any); Windows builds a portable
// implementation. Both are checked against the standard's test vectors.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

namespace Platform {

class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    // Adds `size` bytes to the message.
    void Update(const void* data, std::size_t size);
    void Update(const std::string& bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything fed so far, as 64 lower-case hexadecimal
    // digits. The object is then spent: feed a new one for the next message.
    std::string FinishHex();

private:
    struct CState;
    std::unique_ptr<CState> m_state;
};

}  // namespace Platform
