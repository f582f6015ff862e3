#pragma once
// Owns a library or section filter array for the length of one scan.

template <typename Filter> struct FilterArray {
    Filter *filters = nullptr;
    FilterArray() = default;
    FilterArray(const FilterArray &) = delete;
    FilterArray &operator=(const FilterArray &) = delete;
    ~FilterArray() { delete[] filters; }
};
