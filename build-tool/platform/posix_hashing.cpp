// POSIX side of reading files and hashing: plain descriptors and libcrypto's SHA-1.
#include "platform/platform.h"

#include <openssl/evp.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace ormolt::platform {

struct Sha1::State {
    EVP_MD_CTX *context = nullptr;
    bool failed = false;
};

Sha1::Sha1() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    state_->failed =
        state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_sha1(), nullptr) != 1;
}

Sha1::~Sha1() {
    EVP_MD_CTX_free(state_->context);
}

void Sha1::update(const void *bytes, std::size_t size) {
    if (!state_->failed && size != 0)
        state_->failed = EVP_DigestUpdate(state_->context, bytes, size) != 1;
}

std::optional<Sha1::Digest> Sha1::finish() {
    Digest digest{};
    unsigned int length = 0;
    if (state_->failed || EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 ||
        length != digest_size) {
        state_->failed = true;
        return std::nullopt;
    }
    state_->failed = true; // spent
    return digest;
}

} // namespace ormolt::platform
