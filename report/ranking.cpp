#include "ranking.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <list>

namespace sonivex {

// Why this gives the exchange sort's order. Pass a of the sort exchanges place a with the places of the
// ascending run of ever heavier weights that starts there: the heaviest remaining weight (the first place that
// holds it) comes to place a, and every other weight of the run moves on to the place of the next one. Seen
// from the places whose weights are w or heavier, the lighter places do nothing to them, and while heavier
// weights are ranked, a weight w moves only when it stands first: it then goes to the place of the first
// heavier weight after it, behind the other w's before that. So, taking those places in their first order,
// the w's form a queue: each heavier weight met turns it by one (its first goes last), each w met joins it at
// the end; what the queue holds after the last heavier weight is the order in which the w's are ranked.
std::vector<std::size_t> RankedOrder(const std::vector<std::int64_t>& weights) {
    const std::size_t n = weights.size();
    std::vector<std::int64_t> distinct = weights;
    std::sort(distinct.begin(), distinct.end(), std::greater<>());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    const auto rankOf = [&distinct](std::int64_t w) {
        return static_cast<std::size_t>(std::lower_bound(distinct.begin(), distinct.end(), w, std::greater<>()) -
                                        distinct.begin());
    };

    // For every place, how many heavier weights stand before it (a Fenwick tree over the ranks, 0 heaviest).
    std::vector<std::size_t> rank(n), heavierBefore(n);
    std::vector<std::size_t> tree(distinct.size() + 1, 0);
    std::vector<std::vector<std::size_t>> places(distinct.size());  // the places of each weight, in order
    for (std::size_t i = 0; i < n; ++i) {
        rank[i] = rankOf(weights[i]);
        std::size_t heavier = 0;
        for (std::size_t r = rank[i]; r > 0; r -= r & (~r + 1)) heavier += tree[r];
        heavierBefore[i] = heavier;
        for (std::size_t r = rank[i] + 1; r <= distinct.size(); r += r & (~r + 1)) ++tree[r];
        places[rank[i]].push_back(i);
    }

    std::vector<std::size_t> order;
    order.reserve(n);
    std::size_t heavierInAll = 0;
    std::list<std::size_t> queue;
    // Turns the queue by `turns` heavier weights, the shorter way round.
    const auto turn = [&queue](std::size_t turns) {
        const std::size_t size = queue.size();
        const std::size_t forward = turns % size;
        if (forward == 0) return;
        if (forward <= size - forward) {
            const auto last = std::next(queue.begin(), static_cast<std::ptrdiff_t>(forward));
            queue.splice(queue.end(), queue, queue.begin(), last);
        } else {
            const auto first = std::prev(queue.end(), static_cast<std::ptrdiff_t>(size - forward));
            queue.splice(queue.begin(), queue, first, queue.end());
        }
    };
    for (const std::vector<std::size_t>& same : places) {
        queue.clear();
        std::size_t heavierMet = 0;  // the heavier weights before the place that joined last
        for (const std::size_t place : same) {
            if (!queue.empty()) turn(heavierBefore[place] - heavierMet);
            queue.push_back(place);
            heavierMet = heavierBefore[place];
        }
        turn(heavierInAll - heavierMet);  // the heavier weights after the last place of this weight
        order.insert(order.end(), queue.begin(), queue.end());
        heavierInAll += same.size();
    }
    return order;
}

}  // namespace sonivex
