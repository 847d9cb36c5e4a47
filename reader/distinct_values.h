// Counts the distinct values of a stream of numbers: a bit per value for the small ones that nearly every value
// is (grown only as far as the largest seen), a hash set for the rest.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

namespace sonivex {

class DistinctValues {
public:
    // Adds a value; true when it had not been added since the last Clear().
    bool Insert(std::int64_t value) {
        if (value < 0 || value >= kBitLimit) return rest_.insert(value).second;
        const auto index = static_cast<std::size_t>(value >> 6);
        const std::uint64_t bit = std::uint64_t{1} << (value & 63);
        if (index >= bits_.size()) bits_.resize(index + 1, 0);
        if ((bits_[index] & bit) != 0) return false;
        bits_[index] |= bit;
        return true;
    }

    void Clear() {
        bits_.assign(bits_.size(), 0);
        rest_.clear();
    }

private:
    static constexpr std::int64_t kBitLimit = std::int64_t{1} << 22;  // half a megabyte of bits at most
    std::vector<std::uint64_t> bits_;
    std::unordered_set<std::int64_t> rest_;
};

}  // namespace sonivex
