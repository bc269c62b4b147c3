#include "recovery/Sha256.h"

#include <openssl/evp.h>

#include <new>

namespace pelorin {

void Sha256::Free::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

Sha256::Sha256() : context(EVP_MD_CTX_new()) {
    if (!context) throw std::bad_alloc();
    restart();
}

Sha256::~Sha256() = default;

// OpenSSL fails these only when out of memory or given a null context.
void Sha256::restart() {
    if (EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
}

void Sha256::add(std::span<const uint8_t> bytes) {
    if (!bytes.empty() && EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1) throw std::bad_alloc();
}

Sha256Digest Sha256::finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size())
        throw std::bad_alloc();
    restart();
    return digest;
}

std::string toHex(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0f];
    }
    return text;
}

}  // namespace pelorin
