// Building the per-section search aids: one counting pass and one placing pass (a counting
// sort of positions by their byte pair), so positions within a bucket stay ascending.
#include "lib/scan/section_index.h"

#include <new>

void Fenxi_BuildHistogram(FenxiSectionIndex &index, const std::uint8_t *data, std::uint32_t size) {
    for (std::uint32_t &count : index.Histogram)
        count = 0;
    for (std::uint32_t i = 0; i < size; ++i)
        ++index.Histogram[data[i]];
    index.HistogramReady = true;
}

bool Fenxi_BuildPairIndex(FenxiSectionIndex &index, const std::uint8_t *data, std::uint32_t size) {
    index.PairIndexTried = true;
    if (size < 2)
        return false;
    const std::uint32_t pairs = size - 1;
    index.PairStarts = new (std::nothrow) std::uint32_t[FENXI_PAIR_BUCKETS + 1]();
    index.PairPositions = new (std::nothrow) std::uint32_t[pairs];
    if (index.PairStarts == nullptr || index.PairPositions == nullptr) {
        Fenxi_ReleaseSectionIndex(index);
        index.PairIndexTried = true;
        return false;
    }
    std::uint32_t *starts = index.PairStarts;
    for (std::uint32_t i = 0; i < pairs; ++i)
        ++starts[Fenxi_PairKey(data[i], data[i + 1]) + 1];
    for (std::uint32_t key = 0; key < FENXI_PAIR_BUCKETS; ++key)
        starts[key + 1] += starts[key];
    // Place with a moving cursor per bucket, then shift the starts back.
    for (std::uint32_t i = 0; i < pairs; ++i)
        index.PairPositions[starts[Fenxi_PairKey(data[i], data[i + 1])]++] = i;
    for (std::uint32_t key = FENXI_PAIR_BUCKETS; key > 0; --key)
        starts[key] = starts[key - 1];
    starts[0] = 0;
    return true;
}

void Fenxi_ReleaseSectionIndex(FenxiSectionIndex &index) {
    delete[] index.PairStarts;
    delete[] index.PairPositions;
    index.PairStarts = nullptr;
    index.PairPositions = nullptr;
}
