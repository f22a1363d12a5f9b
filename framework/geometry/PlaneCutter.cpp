#if defined(__GNUC__) && !defined(__clang__)
// g++ 12 at -O3 reports array-bounds false positives inside std::sort's inlined helpers for
// the in-plane face keys; the warning is issued at the library headers, so it must be
// silenced before they are included.
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
#include "framework/geometry/PlaneCutter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace zel {

namespace {

// The cut polygons of every sign pattern of one cell type. The polygons are the cycles of
// the segments that the cut leaves on the cell's faces: on each face, walking its nodes in
// order, a segment runs from each crossing that enters the positive side to the next one
// that leaves it. A shared face is walked the other way round from the neighbouring cell,
// which pairs the same crossings, so neighbouring polygons stay conforming even on a face
// whose four nodes alternate in sign.
struct CaseTable {
    // For case c: data[offsets[c] ..] holds cycles as (length, local edges...) and ends
    // with a 0.
    std::vector<std::uint32_t> offsets;
    std::vector<std::int8_t> data;
    std::array<std::array<int, 2>, 12> edges{};
};

CaseTable buildCaseTable(ShapeType type) {
    CaseTable table;
    const int n = cell::nodeCount(type);
    const auto faces = cell::faces(type);
    const auto edges = cell::edges(type);
    int edgeOf[8][8];
    for (auto& row : edgeOf) std::fill(std::begin(row), std::end(row), -1);
    for (std::size_t e = 0; e < edges.size(); ++e) {
        edgeOf[edges[e][0]][edges[e][1]] = edgeOf[edges[e][1]][edges[e][0]] = static_cast<int>(e);
        table.edges[e] = {edges[e][0], edges[e][1]};
    }
    const int cases = 1 << n;
    table.offsets.resize(static_cast<std::size_t>(cases) + 1);
    for (int c = 0; c < cases; ++c) {
        table.offsets[static_cast<std::size_t>(c)] = static_cast<std::uint32_t>(table.data.size());
        auto negative = [c](int node) { return ((c >> node) & 1) != 0; };
        int next[12];
        std::fill(std::begin(next), std::end(next), -1);
        for (const auto& f : faces) {
            int crossing[4], up[4], k = 0;
            for (int j = 0; j < f.count; ++j) {
                const int a = f.nodes[static_cast<std::size_t>(j)];
                const int b = f.nodes[static_cast<std::size_t>((j + 1) % f.count)];
                if (negative(a) == negative(b)) continue;
                crossing[k] = edgeOf[a][b];
                up[k] = negative(a) ? 1 : 0;
                ++k;
            }
            for (int i = 0; i < k; ++i) {
                if (!up[i]) continue;
                for (int s = 1; s < k; ++s) {
                    const int j = (i + s) % k;
                    if (!up[j]) {
                        next[crossing[i]] = crossing[j];
                        break;
                    }
                }
            }
        }
        bool used[12] = {};
        for (int e = 0; e < static_cast<int>(edges.size()); ++e) {
            if (next[e] < 0 || used[e]) continue;
            std::vector<std::int8_t> cycle;
            for (int x = e; x >= 0 && !used[x]; x = next[x]) {
                used[x] = true;
                cycle.push_back(static_cast<std::int8_t>(x));
            }
            table.data.push_back(static_cast<std::int8_t>(cycle.size()));
            table.data.insert(table.data.end(), cycle.begin(), cycle.end());
        }
        table.data.push_back(0);
    }
    table.offsets[static_cast<std::size_t>(cases)] = static_cast<std::uint32_t>(table.data.size());
    return table;
}

const CaseTable& caseTable(ShapeType type) {
    static const CaseTable tables[4] = {buildCaseTable(ShapeType::Tetrahedron), buildCaseTable(ShapeType::Pyramid),
                                        buildCaseTable(ShapeType::Wedge), buildCaseTable(ShapeType::Hexahedron)};
    return tables[static_cast<int>(type) - static_cast<int>(ShapeType::Tetrahedron)];
}

// Open-addressing map from a node pair to the vertex made on it. Sized once from the
// number of cut cells, so it never rehashes in the loop.
class EdgeVertexMap {
public:
    explicit EdgeVertexMap(std::size_t expected) {
        std::size_t cap = 64;
        while (cap < expected * 2) cap <<= 1;
        m_keys.assign(cap, kEmpty);
        m_values.resize(cap);
        m_mask = cap - 1;
    }
    // The slot of `key`; `found` tells whether it was already there.
    std::size_t find(std::uint64_t key, bool& found) {
        std::size_t i = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & m_mask;
        for (;;) {
            if (m_keys[i] == key) {
                found = true;
                return i;
            }
            if (m_keys[i] == kEmpty) {
                found = false;
                return i;
            }
            i = (i + 1) & m_mask;
        }
    }
    void insert(std::size_t slot, std::uint64_t key, int value) {
        m_keys[slot] = key;
        m_values[slot] = value;
        if (++m_size * 2 > m_keys.size()) grow();
    }
    int value(std::size_t slot) const { return m_values[slot]; }

private:
    static constexpr std::uint64_t kEmpty = ~std::uint64_t(0);
    void grow() {
        std::vector<std::uint64_t> keys;
        std::vector<int> values;
        keys.swap(m_keys);
        values.swap(m_values);
        m_keys.assign(keys.size() * 2, kEmpty);
        m_values.resize(keys.size() * 2);
        m_mask = m_keys.size() - 1;
        m_size = 0;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == kEmpty) continue;
            bool found;
            const std::size_t slot = find(keys[i], found);
            m_keys[slot] = keys[i];
            m_values[slot] = values[i];
            ++m_size;
        }
    }
    std::vector<std::uint64_t> m_keys;
    std::vector<int> m_values;
    std::size_t m_mask = 0;
    std::size_t m_size = 0;
};

struct CutCell {
    std::uint32_t block;
    std::uint32_t local;
    std::uint32_t signs;    // bit i: node i negative
    std::uint32_t touching; // 1: no node negative, several on the plane
};

// Per node: 0 positive side, 1 negative side, 2 on the plane.
enum : std::uint8_t { kPositive = 0, kNegative = 1, kOnPlane = 2 };

class Cutter {
public:
    Cutter(const MeshView& mesh, const TripletD& normal, PlaneCutResult& out)
        : m_mesh(mesh), m_normal(normal), m_out(out), m_map(16) {}

    void run(double d) {
        classifyNodes(d);
        findCutCells();
        m_map = EdgeVertexMap(m_cells.size() * 3 + 16);
        m_out.vertices.reserve(m_cells.size() * 2);
        m_out.edges.reserve(m_cells.size() * 2);
        for (const CutCell& c : m_cells) cutCell(c);
        removeDuplicateInPlaneFaces();
        if (m_dropped) compactVertices();
    }

private:
    void classifyNodes(double d) {
        const auto v = m_mesh.vertices;
        m_dist.resize(v.size());
        m_code.resize(v.size());
        const double nx = m_normal.x, ny = m_normal.y, nz = m_normal.z;
        // A node counts as on the plane when its distance is within the rounding of the
        // float coordinates that went into it.
        const double eps = 4.0 * FLT_EPSILON;
        const double ad = std::fabs(d);
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double x = v[i].x, y = v[i].y, z = v[i].z;
            const double dist = nx * x + ny * y + nz * z - d;
            const double tol = eps * (std::fabs(nx * x) + std::fabs(ny * y) + std::fabs(nz * z) + ad);
            if (std::fabs(dist) <= tol) {
                m_dist[i] = 0.0f;
                m_code[i] = kOnPlane;
            } else {
                m_dist[i] = static_cast<float>(dist);
                m_code[i] = dist < 0.0 ? kNegative : kPositive;
            }
        }
    }

    void findCutCells() {
        for (std::size_t b = 0; b < m_mesh.blocks.size(); ++b) {
            const ElementBlockView& block = m_mesh.blocks[b];
            if (!cell::isVolume(block.type) || block.nodesPerElement != cell::nodeCount(block.type)) continue;
            const int n = block.nodesPerElement;
            const std::uint32_t all = (1u << n) - 1u;
            const int* conn = block.connectivity.data();
            const std::int64_t count = block.size();
            const std::uint8_t* code = m_code.data();
            for (std::int64_t e = 0; e < count; ++e, conn += n) {
                std::uint32_t neg = 0, any = 0;
                for (int j = 0; j < n; ++j) {
                    const std::uint32_t c = code[conn[j]];
                    neg |= (c & 1u) << j;
                    any |= c;
                }
                if (neg == all) continue;
                if (neg == 0) {
                    if (!(any & kOnPlane)) continue;
                    int onPlane = 0;
                    for (int j = 0; j < n; ++j) onPlane += code[conn[j]] == kOnPlane;
                    if (onPlane < 3) continue;
                    m_cells.push_back({static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(e), 0u, 1u});
                    continue;
                }
                m_cells.push_back({static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(e), neg, 0u});
            }
        }
    }

    static bool lexLess(const TripletF& p, const TripletF& q) {
        if (p.x != q.x) return p.x < q.x;
        if (p.y != q.y) return p.y < q.y;
        return p.z < q.z;
    }

    int vertexOnNode(int node) {
        const std::uint64_t key = (std::uint64_t(std::uint32_t(node)) << 32) | std::uint32_t(node);
        bool found;
        const std::size_t slot = m_map.find(key, found);
        if (found) return m_map.value(slot);
        const int id = static_cast<int>(m_out.vertices.size());
        m_out.vertices.push_back(m_mesh.vertices[static_cast<std::size_t>(node)]);
        m_out.edges.push_back({node, node, 1.0f});
        m_map.insert(slot, key, id);
        return id;
    }

    int vertexOnEdge(int a, int b) {
        if (m_dist[static_cast<std::size_t>(a)] == 0.0f) return vertexOnNode(a);
        if (m_dist[static_cast<std::size_t>(b)] == 0.0f) return vertexOnNode(b);
        if (a > b) std::swap(a, b);
        const std::uint64_t key = (std::uint64_t(std::uint32_t(a)) << 32) | std::uint32_t(b);
        bool found;
        const std::size_t slot = m_map.find(key, found);
        if (found) return m_map.value(slot);
        // The point and its weights from the end with the smaller coordinates, not the smaller
        // number: the same edge in another numbering (a piece of a decomposed case) then gives
        // the same point and values to the last bit.
        if (lexLess(m_mesh.vertices[static_cast<std::size_t>(b)], m_mesh.vertices[static_cast<std::size_t>(a)]))
            std::swap(a, b);
        const double da = m_dist[static_cast<std::size_t>(a)], db = m_dist[static_cast<std::size_t>(b)];
        const double w = db / (db - da); // weight of a
        const TripletF& pa = m_mesh.vertices[static_cast<std::size_t>(a)];
        const TripletF& pb = m_mesh.vertices[static_cast<std::size_t>(b)];
        const int id = static_cast<int>(m_out.vertices.size());
        m_out.vertices.push_back({static_cast<float>(w * pa.x + (1.0 - w) * pb.x),
                                  static_cast<float>(w * pa.y + (1.0 - w) * pb.y),
                                  static_cast<float>(w * pa.z + (1.0 - w) * pb.z)});
        m_out.edges.push_back({a, b, static_cast<float>(w)});
        m_map.insert(slot, key, id);
        return id;
    }

    // Appends the polygon ids[0..n) if it has an area, oriented with the normal.
    void emit(int* ids, int n) {
        // Consecutive repeats come from several cut edges ending in one node on the plane.
        int m = 0;
        for (int i = 0; i < n; ++i)
            if (m == 0 || ids[i] != ids[m - 1]) ids[m++] = ids[i];
        while (m > 1 && ids[m - 1] == ids[0]) --m;
        if (m < 3) {
            m_dropped = true;
            return;
        }
        // Newell's normal, relative to the first vertex for precision.
        const TripletF& o = m_out.vertices[static_cast<std::size_t>(ids[0])];
        double nx = 0, ny = 0, nz = 0, perimeter = 0;
        double px = 0, py = 0, pz = 0;
        for (int i = 1; i <= m; ++i) {
            const TripletF& q = m_out.vertices[static_cast<std::size_t>(ids[i % m])];
            const double qx = double(q.x) - o.x, qy = double(q.y) - o.y, qz = double(q.z) - o.z;
            nx += py * qz - pz * qy;
            ny += pz * qx - px * qz;
            nz += px * qy - py * qx;
            perimeter += std::sqrt((qx - px) * (qx - px) + (qy - py) * (qy - py) + (qz - pz) * (qz - pz));
            px = qx;
            py = qy;
            pz = qz;
        }
        const double twiceArea = std::sqrt(nx * nx + ny * ny + nz * nz);
        // Zero area, or an area at the rounding level of the cut points.
        if (!(twiceArea > 1e-9 * perimeter * perimeter)) {
            m_dropped = true;
            return;
        }
        if (nx * m_normal.x + ny * m_normal.y + nz * m_normal.z < 0.0) std::reverse(ids + 1, ids + m);
        m_out.area += 0.5 * twiceArea;
        if (m > 6) {
            // Only cells so warped that the cut is not convex: a fan of triangles.
            for (int i = 1; i + 1 < m; ++i) {
                const int tri[3] = {ids[0], ids[i], ids[i + 1]};
                m_out.faces[0].insert(m_out.faces[0].end(), tri, tri + 3);
            }
            ++m_polygons;
            return;
        }
        auto& list = m_out.faces[static_cast<std::size_t>(m - 3)];
        const int offset = static_cast<int>(list.size());
        list.insert(list.end(), ids, ids + m);
        bool allNodes = true;
        for (int i = 0; i < m && allNodes; ++i) {
            const auto& e = m_out.edges[static_cast<std::size_t>(ids[i])];
            allNodes = e.nodeA == e.nodeB;
        }
        if (allNodes) m_inPlane.push_back({m, offset, 0.5 * twiceArea});
        ++m_polygons;
    }

    void cutCell(const CutCell& c) {
        const ElementBlockView& block = m_mesh.blocks[c.block];
        const int* nodes = block.element(c.local);
        int ids[12];
        const std::size_t before = m_polygons;
        if (c.touching) {
            // No node below the plane: only a face lying in it is cut.
            for (const auto& f : cell::faces(block.type)) {
                bool inPlane = true;
                for (int j = 0; j < f.count && inPlane; ++j)
                    inPlane = m_code[static_cast<std::size_t>(nodes[f.nodes[static_cast<std::size_t>(j)]])] == kOnPlane;
                if (!inPlane) continue;
                for (int j = 0; j < f.count; ++j) ids[j] = vertexOnNode(nodes[f.nodes[static_cast<std::size_t>(j)]]);
                emit(ids, f.count);
            }
        } else {
            const CaseTable& table = caseTable(block.type);
            const std::int8_t* p = table.data.data() + table.offsets[c.signs];
            while (const int len = *p++) {
                for (int i = 0; i < len; ++i) {
                    const auto& e = table.edges[static_cast<std::size_t>(p[i])];
                    ids[i] = vertexOnEdge(nodes[e[0]], nodes[e[1]]);
                }
                p += len;
                emit(ids, len);
            }
        }
        if (m_polygons != before) ++m_out.cutCells;
    }

    // A face lying in the plane is cut both from the cell below (its polygon) and, when
    // there is one, from the cell above (a touching cell): keep one.
    void removeDuplicateInPlaneFaces() {
        if (m_inPlane.size() < 2) return;
        struct Key {
            std::array<int, 6> ids;
            std::size_t entry;
        };
        std::vector<Key> keys;
        keys.reserve(m_inPlane.size());
        for (std::size_t i = 0; i < m_inPlane.size(); ++i) {
            const InPlane& f = m_inPlane[i];
            Key k{{-1, -1, -1, -1, -1, -1}, i};
            const int* ids = m_out.faces[static_cast<std::size_t>(f.count - 3)].data() + f.offset;
            std::copy(ids, ids + f.count, k.ids.begin());
            std::sort(k.ids.begin(), k.ids.begin() + f.count);
            keys.push_back(k);
        }
        std::sort(keys.begin(), keys.end(),
                  [](const Key& a, const Key& b) { return a.ids != b.ids ? a.ids < b.ids : a.entry < b.entry; });
        std::vector<char> drop(m_inPlane.size(), 0);
        bool any = false;
        for (std::size_t i = 1; i < keys.size(); ++i)
            if (keys[i].ids == keys[i - 1].ids) {
                drop[keys[i].entry] = 1;
                any = true;
            }
        if (!any) return;
        // Remove the dropped polygons from their lists (marking them first keeps offsets).
        for (std::size_t i = 0; i < m_inPlane.size(); ++i) {
            if (!drop[i]) continue;
            const InPlane& f = m_inPlane[i];
            int* ids = m_out.faces[static_cast<std::size_t>(f.count - 3)].data() + f.offset;
            ids[0] = -1;
            m_out.area -= f.area;
            --m_out.cutCells;
        }
        for (std::size_t k = 0; k < m_out.faces.size(); ++k) {
            auto& list = m_out.faces[k];
            const std::size_t n = k + 3;
            std::size_t w = 0;
            for (std::size_t r = 0; r < list.size(); r += n) {
                if (list[r] < 0) continue;
                if (w != r)
                    std::copy(list.begin() + std::ptrdiff_t(r), list.begin() + std::ptrdiff_t(r + n),
                              list.begin() + std::ptrdiff_t(w));
                w += n;
            }
            list.resize(w);
        }
        m_dropped = true;
    }

    // Drops vertices that no polygon uses (those of dropped degenerate polygons).
    void compactVertices() {
        std::vector<int> newId(m_out.vertices.size(), -1);
        for (const auto& list : m_out.faces)
            for (int v : list) newId[static_cast<std::size_t>(v)] = 0;
        int next = 0;
        for (std::size_t i = 0; i < newId.size(); ++i) {
            if (newId[i] < 0) continue;
            newId[i] = next;
            m_out.vertices[static_cast<std::size_t>(next)] = m_out.vertices[i];
            m_out.edges[static_cast<std::size_t>(next)] = m_out.edges[i];
            ++next;
        }
        m_out.vertices.resize(static_cast<std::size_t>(next));
        m_out.edges.resize(static_cast<std::size_t>(next));
        for (auto& list : m_out.faces)
            for (int& v : list) v = newId[static_cast<std::size_t>(v)];
    }

    struct InPlane {
        int count;
        int offset;
        double area;
    };

    const MeshView& m_mesh;
    TripletD m_normal;
    PlaneCutResult& m_out;
    EdgeVertexMap m_map;
    std::vector<float> m_dist;
    std::vector<std::uint8_t> m_code;
    std::vector<CutCell> m_cells;
    std::vector<InPlane> m_inPlane;
    std::size_t m_polygons = 0;
    bool m_dropped = false;
};

} // namespace

void PlaneCutter::cut(const MeshView& mesh, const TripletD& normal, double d, PlaneCutResult& out) {
    out = PlaneCutResult{};
    Cutter cutter(mesh, normal, out);
    cutter.run(d);
}

} // namespace zel
