// SHA-256 through libcrypto's EVP interface.
#include <openssl/evp.h>

#include <new>

#include "Platform/Sha256.h"

namespace Platform {

struct CSha256::CState {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~CState() { EVP_MD_CTX_free(context); }
};

CSha256::CSha256() : m_state(std::make_unique<CState>()) {
    if (!m_state->context || EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

CSha256::~CSha256() = default;

void CSha256::Update(const void* data, std::size_t size) {
    if (size && EVP_DigestUpdate(m_state->context, data, size) != 1)
        throw std::bad_alloc();
}

std::string CSha256::FinishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_state->context, digest, &length) != 1)
        throw std::bad_alloc();
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0xF];
    }
    return hex;
}

}  // namespace Platform
