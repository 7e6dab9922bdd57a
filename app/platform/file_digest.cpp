#include "platform/file_digest.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace halvex {

namespace {

// A digest being made, freed however the reading ends.
class Sha256 {
public:
    Sha256() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
    }
    void add(const void* data, size_t bytes) { ok_ = ok_ && EVP_DigestUpdate(context_.get(), data, bytes) == 1; }
    std::optional<std::string> hex() {
        std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
        unsigned int length = 0;
        if (!ok_ || EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1) return std::nullopt;
        std::string text;
        char pair[3];
        for (unsigned int i = 0; i < length; ++i) {
            std::snprintf(pair, sizeof pair, "%02x", digest[i]);
            text += pair;
        }
        return text;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
    bool ok_ = false;
};

}  // namespace

std::optional<std::string> fileSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    Sha256 digest;
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        digest.add(block.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) return std::nullopt;
    return digest.hex();
}

std::string textSha256(const std::string& text) {
    Sha256 digest;
    digest.add(text.data(), text.size());
    return digest.hex().value_or("");
}

}  // namespace halvex
