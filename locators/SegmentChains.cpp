#include "locators/SegmentChains.h"

#include "locators/AxisSweep.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <deque>
#include <limits>
#include <numeric>

namespace zel {

namespace {

constexpr int kNone = -1;

// The chains, their items in two flat arrays: one node per item, holding its vertex and its
// (at most two) neighbours in no particular order, so that a chain is a path of nodes that
// reads the same from either end, known by its end nodes. Pushing an item, dropping an end,
// turning a chain round and joining two chains then take constant time.
struct Chain {
    int head = kNone; // the front's node
    int tail = kNone; // the back's node
};

class ChainItems {
public:
    explicit ChainItems(std::size_t items) {
        m_vertex.reserve(items);
        m_links.reserve(items);
    }

    int front(const Chain& c) const { return m_vertex[std::size_t(c.head)]; }
    int back(const Chain& c) const { return m_vertex[std::size_t(c.tail)]; }

    void pushFront(Chain& c, int vertex) {
        const int n = static_cast<int>(m_vertex.size());
        m_vertex.push_back(vertex);
        m_links.push_back({kNone, kNone});
        if (c.head == kNone)
            c.tail = n;
        else
            connect(n, c.head);
        c.head = n;
    }
    void pushBack(Chain& c, int vertex) {
        std::swap(c.head, c.tail);
        pushFront(c, vertex);
        std::swap(c.head, c.tail);
    }
    Chain make(std::span<const int> vertices) {
        Chain c;
        for (int v : vertices) pushBack(c, v);
        return c;
    }
    // Puts `other` in front of `chain` (atFront) or after it, turned round first when
    // `reverse` is set, without its item next to `chain` when `dropShared` is set (`other`
    // then has at least two). `other` is used up.
    void join(Chain& chain, Chain other, bool atFront, bool reverse, bool dropShared) {
        if (reverse) std::swap(other.head, other.tail);
        if (dropShared) {
            int& end = atFront ? other.tail : other.head;
            const int inner = next(end, kNone);
            disconnect(end, inner);
            end = inner;
        }
        if (atFront) {
            connect(other.tail, chain.head);
            chain.head = other.head;
        } else {
            connect(chain.tail, other.head);
            chain.tail = other.tail;
        }
    }
    VertexChain toVector(const Chain& c) const {
        VertexChain out;
        for (int node = c.head, from = kNone; node != kNone;) {
            out.push_back(m_vertex[std::size_t(node)]);
            const int to = next(node, from);
            from = node;
            node = to;
        }
        return out;
    }

private:
    // The neighbour of `node` that is not `from` (for an end node and kNone: its only one).
    int next(int node, int from) const {
        const auto& l = m_links[std::size_t(node)];
        return l[0] != from ? l[0] : l[1];
    }
    int& slot(int node, int holding) {
        auto& l = m_links[std::size_t(node)];
        assert(l[0] == holding || l[1] == holding);
        return l[0] == holding ? l[0] : l[1];
    }
    void connect(int a, int b) {
        slot(a, kNone) = b;
        slot(b, kNone) = a;
    }
    void disconnect(int a, int b) {
        slot(a, b) = kNone;
        slot(b, a) = kNone;
    }

    std::vector<int> m_vertex;
    std::vector<std::array<int, 2>> m_links;
};

// For every vertex (numbered densely), the chains that have it at an end (a chain whose two
// ends are one vertex is listed twice).
class EndIndex {
public:
    explicit EndIndex(std::size_t vertices) : m_ends(vertices) {}

    // The chain `id`, whose ends are the vertices u and v, enters or leaves the index.
    void attach(int u, int v, int id) {
        m_ends[std::size_t(u)].push_back(id);
        m_ends[std::size_t(v)].push_back(id);
    }
    void detach(int u, int v, int id) {
        for (int w : {u, v}) {
            std::vector<int>& s = m_ends[std::size_t(w)];
            const auto it = std::find(s.begin(), s.end(), id);
            assert(it != s.end());
            s.erase(it);
        }
    }
    // The lowest chain id other than `except` with an end at u or v; kNone when there is none.
    int first(int u, int v, int except) const {
        int best = std::numeric_limits<int>::max();
        for (int w : {u, v})
            for (int id : m_ends[std::size_t(w)])
                if (id != except) best = std::min(best, id);
        return best == std::numeric_limits<int>::max() ? kNone : best;
    }

private:
    std::vector<std::vector<int>> m_ends; // small lists: rarely more than one chain per vertex
};

// For every vertex, the segments that use it, ascending (compressed rows).
struct Adjacency {
    std::vector<std::uint32_t> offsets; // #V + 1
    std::vector<std::uint32_t> segments;

    Adjacency(const std::vector<Edge>& edges, std::size_t vertexCount) : offsets(vertexCount + 1, 0) {
        for (const Edge& e : edges) {
            ++offsets[std::size_t(e[0]) + 1];
            if (e[1] != e[0]) ++offsets[std::size_t(e[1]) + 1];
        }
        std::partial_sum(offsets.begin(), offsets.end(), offsets.begin());
        segments.resize(offsets.back());
        std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
        for (std::size_t k = 0; k < edges.size(); ++k) {
            segments[fill[std::size_t(edges[k][0])]++] = std::uint32_t(k);
            if (edges[k][1] != edges[k][0]) segments[fill[std::size_t(edges[k][1])]++] = std::uint32_t(k);
        }
    }
    std::span<const std::uint32_t> of(int vertex) const {
        return std::span<const std::uint32_t>(segments).subspan(
            offsets[std::size_t(vertex)], offsets[std::size_t(vertex) + 1] - offsets[std::size_t(vertex)]);
    }
};

} // namespace

void chainSegments(IntZELVector& lines) {
    constexpr std::size_t none = std::size_t(-1);
    const std::size_t count = lines.size() / 2;
    if (count == 0) return;
    std::vector<Edge> edges(count);
    int maxVertex = -1;
    for (std::size_t k = 0; k < count; ++k) {
        edges[k] = Edge(lines[2 * k], lines[2 * k + 1]);
        maxVertex = std::max({maxVertex, edges[k][0], edges[k][1]});
    }
    const Adjacency adjacency(edges, std::size_t(maxVertex) + 1);
    std::vector<char> used(count, 0);

    // The first unused segment at or after `from` that shares a vertex with segment `end`.
    // A pass over all segments in order adds each one that touches the current end, so the
    // next one added is exactly this; between the two nothing touches the end.
    auto nextTouching = [&](std::size_t end, std::size_t from) {
        std::size_t best = none;
        for (int side = 0; side < 2; ++side) {
            for (std::uint32_t k : adjacency.of(edges[end][side])) {
                if (k >= best) break; // ascending: nothing lower follows in this list
                if (k < from || used[k]) continue;
                best = k;
                break;
            }
        }
        return best;
    };
    // Passes over the segments, growing one end of the chain, until a pass adds nothing.
    auto grow = [&](std::deque<std::size_t>& chain, bool atTail) {
        for (bool added = true; added;) {
            added = false;
            for (std::size_t from = 0;;) {
                const std::size_t end = atTail ? chain.back() : chain.front();
                const std::size_t k = nextTouching(end, from);
                if (k == none) break;
                used[k] = 1;
                if (atTail)
                    chain.push_back(k);
                else
                    chain.push_front(k);
                added = true;
                from = k + 1;
            }
        }
    };

    IntZELVector chained;
    chained.reserve(lines.size());
    std::size_t first = 0;
    while (true) {
        while (first < count && used[first]) ++first;
        if (first == count) break;
        std::deque<std::size_t> chain{first};
        used[first] = 1;
        grow(chain, true);
        grow(chain, false);
        for (std::size_t k : chain) {
            chained.push_back(edges[k][0]);
            chained.push_back(edges[k][1]);
        }
    }
    lines.swap(chained);
}

std::vector<VertexChain> chainEdgesByIndex(std::span<const Edge> edges) {
    // The chains are made of dense vertex numbers (positions in `ids`), mapped back at the end.
    std::vector<int> ids;
    ids.reserve(2 * edges.size());
    for (const Edge& e : edges) ids.insert(ids.end(), {e[0], e[1]});
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    auto dense = [&](int v) { return static_cast<int>(std::lower_bound(ids.begin(), ids.end(), v) - ids.begin()); };
    EndIndex ends(ids.size());

    // Chains by creation (list order); a chain absorbed into another is marked dead.
    ChainItems items(2 * edges.size());
    std::vector<Chain> chains;
    std::vector<char> alive;
    auto attach = [&](int k) {
        const Chain& c = chains[std::size_t(k)];
        ends.attach(items.front(c), items.back(c), k);
    };
    auto detach = [&](int k) {
        const Chain& c = chains[std::size_t(k)];
        ends.detach(items.front(c), items.back(c), k);
    };
    for (const Edge& e : edges) {
        const int a = dense(e[0]), b = dense(e[1]);
        const int k = ends.first(a, b, kNone);
        if (k == kNone) {
            const int pair[2] = {a, b};
            chains.push_back(items.make(pair));
            alive.push_back(1);
            attach(static_cast<int>(chains.size() - 1));
            continue;
        }
        Chain& c = chains[std::size_t(k)];
        detach(k);
        if (a == items.front(c))
            items.pushFront(c, b);
        else if (b == items.front(c))
            items.pushFront(c, a);
        else if (a == items.back(c))
            items.pushBack(c, b);
        else
            items.pushBack(c, a);
        attach(k);

        for (int k2; (k2 = ends.first(items.front(c), items.back(c), k)) != kNone;) {
            const Chain c2 = chains[std::size_t(k2)];
            detach(k);
            detach(k2);
            if (items.front(c2) == items.front(c))
                items.join(c, c2, true, true, true);
            else if (items.back(c2) == items.front(c))
                items.join(c, c2, true, false, true);
            else if (items.front(c2) == items.back(c))
                items.join(c, c2, false, false, true);
            else
                items.join(c, c2, false, true, true);
            alive[std::size_t(k2)] = 0;
            attach(k);
        }
    }

    std::vector<VertexChain> out;
    for (std::size_t k = 0; k < chains.size(); ++k) {
        if (!alive[k]) continue;
        out.push_back(items.toVector(chains[k]));
        for (int& v : out.back()) v = ids[std::size_t(v)];
    }
    return out;
}

void joinChainsByPosition(std::vector<VertexChain>& list, std::span<const TripletF> positions, double tolerance) {
    const std::size_t n = list.size();
    std::size_t total = 0;
    for (const VertexChain& c : list) total += c.size();
    ChainItems items(total + n); // closing adds one item to a chain at most once
    std::vector<Chain> chains;
    chains.reserve(n);
    for (const VertexChain& c : list) chains.push_back(items.make(c));
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
        for (int v : {items.front(chains[k]), items.back(chains[k])}) {
            records.push_back({v, int(k)});
            recordPositions.push_back(positions[std::size_t(v)]);
        }
    const AxisSweep sweep(recordPositions.span());
    // A chain is absorbed only by the one being extended, which no later chain absorbs, so
    // one step leads to the owner.
    std::vector<int> absorbedBy(n, kNone);
    auto owner = [&](int k) { return absorbedBy[std::size_t(k)] != kNone ? absorbedBy[std::size_t(k)] : k; };
    auto coincident = [&](int u, int v) {
        const TripletD d = TripletD(positions[std::size_t(u)]) - TripletD(positions[std::size_t(v)]);
        return d.length() < tolerance;
    };

    for (std::size_t i = 0; i < n; ++i) {
        if (!alive[i]) continue;
        Chain& c1 = chains[i];
        while (true) {
            if (items.front(c1) != items.back(c1) && coincident(items.back(c1), items.front(c1)))
                items.pushBack(c1, items.front(c1));

            // The first later chain with an end on one of c1's ends. Earlier chains have none:
            // they were compared with c1, and with every chain c1 has absorbed since.
            int best = kNone;
            for (int end : {items.front(c1), items.back(c1)}) {
                sweep.forEachCandidate(positions[std::size_t(end)], tolerance, [&](std::uint32_t r) {
                    const EndRecord& record = records[r];
                    const int j = owner(record.chain);
                    if (std::size_t(j) <= i || (best != kNone && j >= best)) return;
                    const Chain& c2 = chains[std::size_t(j)];
                    if ((items.front(c2) == record.vertex || items.back(c2) == record.vertex) &&
                        coincident(end, record.vertex))
                        best = j;
                });
            }
            if (best == kNone) break;
            const Chain c2 = chains[std::size_t(best)];
            if (coincident(items.front(c1), items.front(c2)))
                items.join(c1, c2, true, true, false);
            else if (coincident(items.front(c1), items.back(c2)))
                items.join(c1, c2, true, false, false);
            else if (coincident(items.back(c1), items.front(c2)))
                items.join(c1, c2, false, false, false);
            else
                items.join(c1, c2, false, true, false);
            alive[std::size_t(best)] = 0;
            absorbedBy[std::size_t(best)] = int(i);
        }
    }

    std::vector<VertexChain> out;
    for (std::size_t k = 0; k < n; ++k)
        if (alive[k]) out.push_back(items.toVector(chains[k]));
    list.swap(out);
}

} // namespace zel
