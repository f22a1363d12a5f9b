#include "locators/PolylineChains.h"

#include "locators/AxisSweep.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <deque>
#include <limits>

namespace zel {

namespace {

constexpr int kNone = -1;

// A chain whose direction can be turned in constant time: the items are kept in `items`,
// read from the back when `reversed` is set.
class Chain {
public:
    Chain() = default;
    explicit Chain(const VertexChain& vertices) : m_items(vertices.begin(), vertices.end()) {}
    Chain(int a, int b) : m_items{a, b} {}

    std::size_t size() const { return m_items.size(); }
    int front() const { return m_reversed ? m_items.back() : m_items.front(); }
    int back() const { return m_reversed ? m_items.front() : m_items.back(); }
    // Item i counted from the front.
    int at(std::size_t i) const { return m_reversed ? m_items[m_items.size() - 1 - i] : m_items[i]; }
    void pushFront(int v) { m_reversed ? m_items.push_back(v) : m_items.push_front(v); }
    void pushBack(int v) { m_reversed ? m_items.push_front(v) : m_items.push_back(v); }
    void popFront() { m_reversed ? m_items.pop_back() : m_items.pop_front(); }
    void popBack() { m_reversed ? m_items.pop_front() : m_items.pop_back(); }
    void reverse() { m_reversed = !m_reversed; }
    void clear() { m_items.clear(); }

    VertexChain toVector() const
    {
        VertexChain out(size());
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = at(i);
        return out;
    }

private:
    std::deque<int> m_items;
    bool m_reversed = false;
};

// Puts `other` in front of `chain` (atFront) or after it, reversed first when `reverse` is
// set, without its item next to `chain` when `dropShared` is set; `other` is emptied. The
// shorter of the two is copied into the longer, so that a chain's items move O(log n) times.
void join(Chain& chain, Chain& other, bool atFront, bool reverse, bool dropShared)
{
    if (reverse) other.reverse();
    if (dropShared) atFront ? other.popBack() : other.popFront();
    const std::size_t n = other.size(), m = chain.size();
    if (n <= m) {
        if (atFront)
            for (std::size_t i = n; i-- > 0;) chain.pushFront(other.at(i));
        else
            for (std::size_t i = 0; i < n; ++i) chain.pushBack(other.at(i));
        other.clear();
    } else {
        if (atFront)
            for (std::size_t i = 0; i < m; ++i) other.pushBack(chain.at(i));
        else
            for (std::size_t i = m; i-- > 0;) other.pushFront(chain.at(i));
        chain = std::move(other);
        other = Chain();
    }
}

// For every vertex, the chains that have it at an end (a chain whose two ends are one vertex
// is listed twice). Vertices are numbered densely through `ids`, the sorted vertex indices.
class EndIndex {
public:
    explicit EndIndex(std::vector<int> ids) : m_ids(std::move(ids)), m_ends(m_ids.size()) {}

    void attach(const Chain& chain, int id)
    {
        slot(chain.front()).push_back(id);
        slot(chain.back()).push_back(id);
    }
    void detach(const Chain& chain, int id)
    {
        for (int v : {chain.front(), chain.back()}) {
            std::vector<int>& s = slot(v);
            const auto it = std::find(s.begin(), s.end(), id);
            assert(it != s.end());
            s.erase(it);
        }
    }
    // The lowest chain id other than `except` with an end at u or v; kNone when there is none.
    int first(int u, int v, int except) const
    {
        int best = std::numeric_limits<int>::max();
        for (int w : {u, v})
            for (int id : m_ends[dense(w)])
                if (id != except) best = std::min(best, id);
        return best == std::numeric_limits<int>::max() ? kNone : best;
    }

private:
    std::size_t dense(int v) const
    {
        const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), v);
        assert(it != m_ids.end() && *it == v);
        return std::size_t(it - m_ids.begin());
    }
    std::vector<int>& slot(int v) { return m_ends[dense(v)]; }

    std::vector<int> m_ids;
    std::vector<std::vector<int>> m_ends;  // small lists: rarely more than one chain per vertex
};

} // namespace

std::vector<VertexChain> chainEdgesByIndex(std::span<const Edge> edges)
{
    std::vector<int> ids;
    ids.reserve(2 * edges.size());
    for (const Edge& e : edges) ids.insert(ids.end(), {e[0], e[1]});
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    EndIndex ends(std::move(ids));

    // Chains by creation (list order); a chain absorbed into another is left empty.
    std::vector<Chain> chains;
    std::vector<char> alive;
    for (const Edge& e : edges) {
        const int a = e[0], b = e[1];
        const int k = ends.first(a, b, kNone);
        if (k == kNone) {
            chains.emplace_back(a, b);
            alive.push_back(1);
            ends.attach(chains.back(), int(chains.size() - 1));
            continue;
        }
        Chain& c = chains[std::size_t(k)];
        ends.detach(c, k);
        if (a == c.front())
            c.pushFront(b);
        else if (b == c.front())
            c.pushFront(a);
        else if (a == c.back())
            c.pushBack(b);
        else
            c.pushBack(a);
        ends.attach(c, k);

        for (int k2; (k2 = ends.first(c.front(), c.back(), k)) != kNone;) {
            Chain& c2 = chains[std::size_t(k2)];
            ends.detach(c, k);
            ends.detach(c2, k2);
            if (c2.front() == c.front())
                join(c, c2, true, true, true);
            else if (c2.back() == c.front())
                join(c, c2, true, false, true);
            else if (c2.front() == c.back())
                join(c, c2, false, false, true);
            else
                join(c, c2, false, true, true);
            alive[std::size_t(k2)] = 0;
            ends.attach(c, k);
        }
    }

    std::vector<VertexChain> out;
    for (std::size_t k = 0; k < chains.size(); ++k)
        if (alive[k]) out.push_back(chains[k].toVector());
    return out;
}

void joinChainsByPosition(std::vector<VertexChain>& list, std::span<const TripletF> positions, double tolerance)
{
    const std::size_t n = list.size();
    std::vector<Chain> chains;
    chains.reserve(n);
    for (const VertexChain& c : list) chains.emplace_back(c);
    std::vector<char> alive(n, 1);

    // Every vertex that is a chain's end now is an end of one of the chains of the list as
    // given (joins keep every vertex; closing repeats the front), so the ends as given,
    // resolved to the chain that absorbed theirs, index every end there will be.
    struct EndRecord {
        int vertex;
        int chain;
    };
    std::vector<EndRecord> records;
    TripletZELVector recordPositions;
    records.reserve(2 * n);
    recordPositions.reserve(2 * n);
    for (std::size_t k = 0; k < n; ++k)
        for (int v : {chains[k].front(), chains[k].back()}) {
            records.push_back({v, int(k)});
            recordPositions.push_back(positions[std::size_t(v)]);
        }
    const AxisSweep sweep(recordPositions.span());
    std::vector<int> absorbedBy(n, kNone);
    auto owner = [&](int k) {
        while (absorbedBy[std::size_t(k)] != kNone) k = absorbedBy[std::size_t(k)];
        return k;
    };
    auto coincident = [&](int u, int v) {
        const TripletD d = TripletD(positions[std::size_t(u)]) - TripletD(positions[std::size_t(v)]);
        return d.length() < tolerance;
    };

    for (std::size_t i = 0; i < n; ++i) {
        if (!alive[i]) continue;
        Chain& c1 = chains[i];
        while (true) {
            if (c1.front() != c1.back() && coincident(c1.back(), c1.front())) c1.pushBack(c1.front());

            // The first later chain with an end on one of c1's ends. Earlier chains have none:
            // they were compared with c1, and with every chain c1 has absorbed since.
            int best = kNone;
            for (int end : {c1.front(), c1.back()}) {
                sweep.forEachCandidate(positions[std::size_t(end)], tolerance, [&](std::uint32_t r) {
                    const EndRecord& record = records[r];
                    const int j = owner(record.chain);
                    if (std::size_t(j) <= i || (best != kNone && j >= best)) return;
                    const Chain& c2 = chains[std::size_t(j)];
                    if ((c2.front() == record.vertex || c2.back() == record.vertex) && coincident(end, record.vertex))
                        best = j;
                });
            }
            if (best == kNone) break;
            Chain& c2 = chains[std::size_t(best)];
            if (coincident(c1.front(), c2.front()))
                join(c1, c2, true, true, false);
            else if (coincident(c1.front(), c2.back()))
                join(c1, c2, true, false, false);
            else if (coincident(c1.back(), c2.front()))
                join(c1, c2, false, false, false);
            else
                join(c1, c2, false, true, false);
            alive[std::size_t(best)] = 0;
            absorbedBy[std::size_t(best)] = int(i);
        }
    }

    std::vector<VertexChain> out;
    for (std::size_t k = 0; k < n; ++k)
        if (alive[k]) out.push_back(chains[k].toVector());
    list.swap(out);
}

} // namespace zel
