#include "host/LoadDeckWriter.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/units/UnitsConverter.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <unordered_map>
#include <vector>

namespace zel::host {
namespace {

const char* const kClass = "LoadDeckWriter";

// A node of the deck by what it lies on: a vertex of the surface, a point of a mesh edge
// (numerator k over the edge's denominator, counted from its lower vertex) or a point
// inside one face. Equal keys from neighbouring faces are one node.
struct NodeKey {
    int kind; // 0 vertex, 1 edge, 2 face
    int a, b, c;
    bool operator==(const NodeKey&) const = default;
};
struct NodeKeyHash {
    std::size_t operator()(const NodeKey& k) const {
        std::size_t h = std::size_t(k.kind);
        for (int v : {k.a, k.b, k.c}) h = h * 0x9E3779B97F4A7C15ull + std::size_t(unsigned(v));
        return h;
    }
};

class DeckBuilder {
public:
    explicit DeckBuilder(const Geometry& surface) : m_surface(surface) {}

    int vertex(int v) { return add({0, v, 0, 0}, point(v)); }
    // The point k/K of the way along the edge from v to w, the same from either face.
    int edge(int v, int w, int k, int denominator) {
        if (k == 0) return vertex(v);
        if (k == denominator) return vertex(w);
        if (v > w) {
            std::swap(v, w);
            k = denominator - k;
        }
        const TripletD p = point(v) + (point(w) - point(v)) * (double(k) / denominator);
        return add({1, v, w, k * (kLattice / denominator)}, p);
    }
    int inside(int face, int index, const TripletD& p) { return add({2, face, index, 0}, p); }

    void element(const std::array<int, 8>& nodes) { m_elements.push_back(nodes); }
    TripletD point(int v) const { return TripletD(m_surface.getVertices()[std::size_t(v)]); }

    const std::vector<TripletD>& nodes() const { return m_points; }
    const std::vector<std::array<int, 8>>& elements() const { return m_elements; }

    // Edge points are keyed on a common lattice so that the same point reached with other
    // denominators (a split of 2 and the quarter points of a triangle) is one node.
    static constexpr int kLattice = 720720; // divisible by every denominator up to 16

private:
    int add(const NodeKey& key, const TripletD& p) {
        const auto [it, added] = m_index.emplace(key, int(m_points.size()) + 1);
        if (added) m_points.push_back(p);
        return it->second;
    }
    const Geometry& m_surface;
    std::unordered_map<NodeKey, int, NodeKeyHash> m_index;
    std::vector<TripletD> m_points;
    std::vector<std::array<int, 8>> m_elements;
};

// The s × s 8-node quadrilaterals of the quadrilateral (v0, v1, v2, v3), face number f.
void splitQuad(DeckBuilder& deck, const std::array<int, 4>& v, int f, int s) {
    const int m = 2 * s; // lattice points per side
    const TripletD p[4] = {deck.point(v[0]), deck.point(v[1]), deck.point(v[2]), deck.point(v[3])};
    auto node = [&](int i, int j) { // lattice point (i, j), i along v0-v1, j along v0-v3
        if (j == 0) return deck.edge(v[0], v[1], i, m);
        if (i == m) return deck.edge(v[1], v[2], j, m);
        if (j == m) return deck.edge(v[3], v[2], i, m);
        if (i == 0) return deck.edge(v[0], v[3], j, m);
        const double u = double(i) / m, w = double(j) / m;
        const TripletD q = p[0] * ((1 - u) * (1 - w)) + p[1] * (u * (1 - w)) + p[2] * (u * w) + p[3] * ((1 - u) * w);
        return deck.inside(f, i + (m + 1) * j, q);
    };
    for (int b = 0; b < s; ++b)
        for (int a = 0; a < s; ++a) {
            const int i = 2 * a, j = 2 * b;
            deck.element({node(i, j), node(i + 2, j), node(i + 2, j + 2), node(i, j + 2), node(i + 1, j),
                          node(i + 2, j + 1), node(i + 1, j + 2), node(i, j + 1)});
        }
}

// One 8-node quadrilateral per corner of the polygon `v`, face number f: corner, the
// midpoint of its next edge, the centroid, the midpoint of its previous edge.
void splitPolygon(DeckBuilder& deck, const std::vector<int>& v, int f) {
    const std::size_t n = v.size();
    TripletD c(0, 0, 0);
    for (int k : v) c += deck.point(k);
    c = c / double(n);
    const int centre = deck.inside(f, 0, c);
    for (std::size_t i = 0; i < n; ++i) {
        const int here = v[i], next = v[(i + 1) % n], prev = v[(i + n - 1) % n];
        const TripletD toNext = (deck.point(here) + deck.point(next)) * 0.5;
        const TripletD toPrev = (deck.point(prev) + deck.point(here)) * 0.5;
        deck.element({deck.vertex(here), deck.edge(here, next, 1, 2), centre, deck.edge(prev, here, 1, 2),
                      deck.edge(here, next, 1, 4), deck.inside(f, 1 + int(i), (toNext + c) * 0.5),
                      deck.inside(f, 1 + int((i + n - 1) % n), (toPrev + c) * 0.5), deck.edge(prev, here, 3, 4)});
    }
}

} // namespace

LoadDeckCounts writeLoadDeck(const Geometry& surface, const std::filesystem::path& file,
                             const LoadDeckOptions& options) {
    if (options.split < 1 || options.split > 8)
        throw data::invalid(kClass, "writeLoadDeck", _("The split must lie in 1..8, not %d.", options.split), ErrError);
    double scale = 1.0;
    const UnitsConverter& units = *UnitsConverter::instance();
    if (!units.areCompatible(options.units, "m"))
        throw data::invalid(kClass, "writeLoadDeck", _("'%s' is not a unit of length.", options.units), ErrError);
    units.convertUnits("m", options.units, 1.0, scale);

    DeckBuilder deck(surface);
    int face = 0;
    for (int s = 0; s < surface.getNumElementSets(); ++s) {
        const ShapeSet& set = surface.getElementSet(s);
        if (!set.isFaceSet()) continue;
        for (int e = 0; e < set.size(); ++e, ++face) {
            const std::span<const int> nodes = set.getElement(e);
            if (nodes.size() == 4)
                splitQuad(deck, {nodes[0], nodes[1], nodes[2], nodes[3]}, face, options.split);
            else
                splitPolygon(deck, std::vector<int>(nodes.begin(), nodes.end()), face);
        }
    }
    if (deck.elements().empty())
        throw data::invalid(kClass, "writeLoadDeck", _("Surface '%s' has no faces.", surface.getName()), ErrError);

    const std::filesystem::path scratch = file.string() + ".tmp";
    {
        std::FILE* out = std::fopen(scratch.string().c_str(), "wb");
        if (out == nullptr)
            throw data::error(kClass, "writeLoadDeck", _("Cannot write '%s'.", file.string()), ErrError);
        const std::size_t nn = deck.nodes().size(), ne = deck.elements().size();
        std::fprintf(out, "/COM, surface '%s', %zu nodes, %zu elements, lengths in %s\n", surface.getName().c_str(), nn,
                     ne, options.units.c_str());
        std::fprintf(out, "NUMOFF,NODE,%9zu\nNUMOFF,ELEM,%9zu\n", nn, ne);
        std::fprintf(out, "ET,%9d,%s\n", options.typeNumber, options.elementType.c_str());
        std::fprintf(out, "NBLOCK,6,SOLID,%10zu,%10zu\n(3i9,6e21.13e3)\n", nn, nn);
        for (std::size_t i = 0; i < nn; ++i) {
            const TripletD& p = deck.nodes()[i];
            std::fprintf(out, "%9zu%9d%9d%21.13E%21.13E%21.13E\n", i + 1, 0, 0, p.x * scale, p.y * scale, p.z * scale);
        }
        std::fprintf(out, "N,R5.3,LOC,       -1,\n");
        std::fprintf(out, "EBLOCK,19,SOLID,%10zu,%10zu\n(19i9)\n", ne, ne);
        const int count = options.midSideNodes ? 8 : 4;
        for (std::size_t e = 0; e < ne; ++e) {
            std::fprintf(out, "%9d%9d%9d%9d%9d%9d%9d%9d%9d%9d%9zu", 1, options.typeNumber, 1, 1, 0, 0, 0, 0, count, 0,
                         e + 1);
            for (int k = 0; k < count; ++k) std::fprintf(out, "%9d", deck.elements()[e][std::size_t(k)]);
            std::fprintf(out, "\n");
        }
        std::fprintf(out, "       -1\n");
        const bool failed = std::ferror(out) != 0;
        if (std::fclose(out) != 0 || failed) {
            std::filesystem::remove(scratch);
            throw data::error(kClass, "writeLoadDeck", _("Cannot write '%s'.", file.string()), ErrError);
        }
    }
    std::error_code ec;
    std::filesystem::rename(scratch, file, ec);
    if (ec) {
        std::filesystem::remove(scratch, ec);
        throw data::error(kClass, "writeLoadDeck", _("Cannot write '%s'.", file.string()), ErrError);
    }
    return {deck.nodes().size(), deck.elements().size()};
}

} // namespace zel::host
