#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "report/ranking.h"

namespace sonivex::test {
namespace {

// The order the exchange sort itself leaves the places in.
std::vector<std::size_t> ExchangeSorted(std::vector<std::int64_t> weights) {
    std::vector<std::size_t> places(weights.size());
    std::iota(places.begin(), places.end(), 0);
    RankHeaviestFirst(
        static_cast<std::int64_t>(weights.size()), [&](std::int64_t i) { return weights[static_cast<std::size_t>(i)]; },
        [&](std::int64_t a, std::int64_t b) {
            std::swap(weights[static_cast<std::size_t>(a)], weights[static_cast<std::size_t>(b)]);
            std::swap(places[static_cast<std::size_t>(a)], places[static_cast<std::size_t>(b)]);
        });
    return places;
}

TEST(RankedOrder, OrdersEqualWeightsAsTheExchangeSortDoes) {
    // The exchange sort is not stable: here the two 1s and the three 2s come out of their first order.
    const std::vector<std::int64_t> weights{1, 2, 1, 3, 2, 2, 5, 1};
    EXPECT_EQ(RankedOrder(weights), ExchangeSorted(weights));
    EXPECT_NE(ExchangeSorted(weights), (std::vector<std::size_t>{6, 3, 1, 4, 5, 0, 2, 7}));

    // Few distinct weights make long runs of equal ones, many make few; lengths from none to a few hundred.
    std::mt19937 random(5);
    for (int round = 0; round < 3000; ++round) {
        const auto length = static_cast<std::size_t>(random() % (round < 2900 ? 24 : 400));
        const int kinds = 1 + static_cast<int>(random() % 9);
        std::vector<std::int64_t> w(length);
        for (std::int64_t& v : w) v = static_cast<std::int64_t>(random() % static_cast<unsigned>(kinds)) - 2;
        ASSERT_EQ(RankedOrder(w), ExchangeSorted(w)) << "round " << round;
    }
}

}  // namespace
}  // namespace sonivex::test
