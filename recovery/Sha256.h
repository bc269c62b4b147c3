#pragma once
// SHA-256 of a stream of bytes, fed as they go by (OpenSSL's EVP interface).

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct evp_md_ctx_st;

namespace pelorin {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Starts a new digest, forgetting what was added.
    void restart();
    void add(std::span<const uint8_t> bytes);
    Sha256Digest finish();

private:
    struct Free {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> context;
};

// The digest as 64 lower-case hex digits, as reports write it.
std::string toHex(const Sha256Digest& digest);

}  // namespace pelorin
