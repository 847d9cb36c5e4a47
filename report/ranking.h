// The ranking that the report's instrument and group tables and the style's dealing of programs and drum
// notes share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonivex {

// Orders places 0 to count - 1 heaviest first, in place, by an exchange sort: each place a is exchanged at once
// with every later place that is heavier than a is at that moment. Its order of equal weights is part of the
// report (and of what a style does to a song), so every ranking goes through here or through RankedOrder.
// weight(i) gives the weight at place i; exchange(a, b) swaps everything that stands at the two places.
template <typename Weight, typename Exchange>
void RankHeaviestFirst(std::int64_t count, Weight weight, Exchange exchange) {
    for (std::int64_t a = 0; a < count; ++a) {
        for (std::int64_t b = a; b < count; ++b) {
            if (weight(a) < weight(b)) exchange(a, b);
        }
    }
}

// The order in which RankHeaviestFirst leaves places with these weights: element i is the place whose weight
// ends at place i. The same order, equal weights included, without comparing every pair of places, for
// rankings as long as a song's tracks.
std::vector<std::size_t> RankedOrder(const std::vector<std::int64_t>& weights);

}  // namespace sonivex
