// Windows side of reading files and hashing: CreateFileW and CNG's SHA-1.
#include "platform/platform.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>

namespace ormolt::platform {

struct Sha1::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool failed = false;
};

namespace {
bool succeeded(NTSTATUS status) {
    return status >= 0;
}
} // namespace

Sha1::Sha1() : state_(std::make_unique<State>()) {
    state_->failed =
        !succeeded(
            BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0)) ||
        !succeeded(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha1::~Sha1() {
    if (state_->hash != nullptr)
        BCryptDestroyHash(state_->hash);
    if (state_->algorithm != nullptr)
        BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Sha1::update(const void *bytes, std::size_t size) {
    auto *next = static_cast<PUCHAR>(const_cast<void *>(bytes));
    // CNG takes a 32-bit length.
    while (!state_->failed && size != 0) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        state_->failed = !succeeded(BCryptHashData(state_->hash, next, chunk, 0));
        next += chunk;
        size -= chunk;
    }
}

std::optional<Sha1::Digest> Sha1::finish() {
    Digest digest{};
    if (state_->failed ||
        !succeeded(BCryptFinishHash(state_->hash, digest.data(), digest_size, 0))) {
        state_->failed = true;
        return std::nullopt;
    }
    state_->failed = true; // spent
    return digest;
}

} // namespace ormolt::platform
