#pragma once
// Search aids for one section, built lazily while a context scans it: a byte histogram to pick
// the rarest expected byte of a signature, and an index of every position by the two bytes
// found there, so that a signature is only tried where its rarest byte pair occurs. The section
// bytes never change during a scan, so both stay valid until the context is released.
#include <cstddef>
#include <cstdint>

struct FenxiSectionIndex {
    std::uint32_t Scans = 0; // revision scans of this section so far
    bool HistogramReady = false;
    std::uint32_t Histogram[256] = {};
    bool PairIndexTried = false;            // built or failed to allocate; never retried
    std::uint32_t *PairStarts = nullptr;    // 65537 bucket starts into PairPositions
    std::uint32_t *PairPositions = nullptr; // positions ordered by pair, ascending within one
};

inline constexpr std::uint32_t FENXI_PAIR_BUCKETS = 65536;

inline std::uint32_t Fenxi_PairKey(std::uint8_t first, std::uint8_t second) {
    return static_cast<std::uint32_t>(first) << 8 | second;
}

void Fenxi_BuildHistogram(FenxiSectionIndex &index, const std::uint8_t *data, std::uint32_t size);
// False when the index could not be allocated; the caller then searches without it.
bool Fenxi_BuildPairIndex(FenxiSectionIndex &index, const std::uint8_t *data, std::uint32_t size);
void Fenxi_ReleaseSectionIndex(FenxiSectionIndex &index);
