#include "host/CaseLoader.h"

#include "domain/DomainGeometryBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/CellTopology.h"
#include "framework/geometry/Interpolant.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "host/BoundaryGeometry.h"
#include "host/NameTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>

namespace zel::host {
namespace {

constexpr const char* kClass = "CaseLoader";
// Patch points match domain nodes within this fraction of the domain's bounding-box diagonal.
constexpr double kMatchTolerance = 1e-5;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Object names may not hold '/', ':', '=', '#'.
std::string objectName(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '/' || c == ':' || c == '=' || c == '#' || c == '\\') c = '_';
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

const char* setNameOf(ShapeType shape) {
    switch (shape) {
    case ShapeType::Tetrahedron: return "Tetrahedra";
    case ShapeType::Pyramid: return "Pyramids";
    case ShapeType::Wedge: return "Wedges";
    case ShapeType::Hexahedron: return "Hexahedra";
    default: return "Cells";
    }
}

// Wall time of one phase, handed to LoadOptions::timing when it is set.
class PhaseClock {
public:
    explicit PhaseClock(const LoadOptions& options) : m_options(options) {}
    void lap(const char* phase) {
        const auto now = std::chrono::steady_clock::now();
        if (m_options.timing) m_options.timing(phase, std::chrono::duration<double>(now - m_start).count());
        m_start = now;
    }

private:
    const LoadOptions& m_options;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// A face by its sorted nodes (3 or 4; the fourth -1 for a triangle): 16 bytes compared as a
// whole, the key of both the free-face search and the patch matching.
struct FaceKey {
    std::array<int, 4> n{-1, -1, -1, -1};
    bool operator==(const FaceKey& o) const { return n == o.n; }
    bool operator<(const FaceKey& o) const { return n < o.n; }
};
FaceKey keyOf(const int* nodes, std::size_t count) {
    // A sorting network of min/max pairs: no branches to mispredict on the hot path.
    auto order = [](int& a, int& b) {
        const int lo = std::min(a, b), hi = std::max(a, b);
        a = lo;
        b = hi;
    };
    int a = nodes[0], b = count > 1 ? nodes[1] : -1, c = count > 2 ? nodes[2] : -1, d = count > 3 ? nodes[3] : -1;
    if (count >= 4) {
        order(a, b);
        order(c, d);
        order(a, c);
        order(b, d);
        order(b, c);
    } else if (count == 3) {
        order(a, b);
        order(b, c);
        order(a, b);
    } else if (count == 2) {
        order(a, b);
    }
    return FaceKey{{a, b, c, d}};
}

// Face `face` of element `element` of a domain's element set `set`.
struct CellFace {
    int set = -1;
    int element = -1;
    int face = -1;
};

// The free faces of a domain: the cell faces that belong to exactly one cell, in (set,
// element, face) order, with their keys sorted for the patch look-up and a mark per face that
// a patch covers.
struct FreeFaces {
    std::vector<CellFace> faces;
    std::vector<std::pair<FaceKey, int>> byKey; // key -> index into faces, sorted by key
    std::vector<char> claimed;                  // per face

    // The index of the free face with that key, or -1.
    int find(const FaceKey& key) const {
        const auto it =
            std::lower_bound(byKey.begin(), byKey.end(), key,
                             [](const std::pair<FaceKey, int>& e, const FaceKey& k) { return e.first < k; });
        return it != byKey.end() && it->first == key ? it->second : -1;
    }
};

struct DomainBuild {
    std::string name;
    std::string group; // the block's enclosing group path
    std::size_t blockIndex = 0;
    const MeshBlock* block = nullptr;
    std::unique_ptr<DomainGeometryBase> geometry;
    FreeFaces free;
    std::map<std::string, DomainField> fields;
    double size = 1.0; // bounding-box diagonal
    // The cell temperature per global element id (element sets in order), for the boundary
    // faces' "Wall Adjacent Temperature"; empty when the block has no cell temperatures.
    std::vector<float> cellTemperature;
};

// Faces given as node lists: face i has nodes[offsets[i] .. offsets[i+1]) (domain nodes), its
// owning cell face, and the patch cell it came from (-1 for free faces).
struct FaceList {
    std::vector<int> offsets{0};
    std::vector<int> nodes;
    std::vector<CellFace> owners;
    std::vector<std::int64_t> sources;

    std::size_t size() const { return owners.size(); }
    std::span<int> face(std::size_t i) {
        return std::span<int>(nodes).subspan(std::size_t(offsets[i]), std::size_t(offsets[i + 1] - offsets[i]));
    }
    void close(const CellFace& owner, std::int64_t source) {
        offsets.push_back(static_cast<int>(nodes.size()));
        owners.push_back(owner);
        sources.push_back(source);
    }
};

struct BoundaryBuild {
    std::string name;
    std::string type;
    std::size_t domain = 0;
    std::unique_ptr<BoundaryGeometry> geometry;
    std::vector<CellFace> flags; // the cell faces this boundary flags
};

// "VTK/elbow_200.vtm" -> "elbow": the file name without its folder, extension and time index.
std::string caseStem(const std::string& file) {
    std::string stem = std::filesystem::path(file).stem().string();
    const auto underscore = stem.rfind('_');
    if (underscore != std::string::npos && underscore + 1 < stem.size() &&
        stem.find_first_not_of("0123456789", underscore + 1) == std::string::npos)
        stem.erase(underscore);
    return stem.empty() ? std::string("Domain") : stem;
}

std::string groupOf(const MeshBlock& block) {
    const auto slash = block.path.rfind('/');
    return slash == std::string::npos ? std::string() : block.path.substr(0, slash);
}

[[noreturn]] void fail(const MeshBlock& block, const std::string& problem) {
    throw data::invalid(
        kClass, "loadCase",
        _("'%s' block '%s': %s", block.sourceFile, block.path.empty() ? block.name : block.path, problem), ErrError);
}

// The variable name and scale of a file array: mapped through the name table, kinematic
// arrays times the density.
double scaleOf(const VariableName& mapped, const LoadOptions& options) {
    return mapped.factor * (mapped.kinematic && options.density ? *options.density : 1.0);
}
void scale(std::vector<float>& values, double factor) {
    if (factor == 1.0) return;
    for (float& v : values)
        if (!isUndefined(v)) v = static_cast<float>(v * factor);
}
bool usableArray(const MeshBlock& block, const FieldArray& array, std::vector<std::string>* warnings) {
    const VariableName mapped = mapArrayName(array.name);
    if (mapped.components != 0 && array.components != mapped.components) {
        if (warnings != nullptr)
            warnings->push_back(_("'%s': array '%s' has %d components where '%s' has %d; it is not loaded.",
                                  block.sourceFile, array.name, array.components, mapped.name, mapped.components));
        return false;
    }
    if (array.components == 1 || array.components == 3) return true;
    if (warnings != nullptr)
        warnings->push_back(
            _("'%s': array '%s' has %d components and is not loaded.", block.sourceFile, array.name, array.components));
    return false;
}

// Point values of every array of a block (cell-only arrays averaged to the points), mapped
// to variable names and scaled when kinematic. Arrays of other than 1 or 3 components are
// left out with a warning.
std::map<std::string, DomainField> fieldsOf(const MeshBlock& block, const LoadOptions& options,
                                            std::vector<std::string>* warnings) {
    std::map<std::string, DomainField> out;
    const std::size_t np = block.numPoints();
    auto add = [&](const FieldArray& array, std::vector<float> values) {
        const VariableName mapped = mapArrayName(array.name);
        if (out.count(mapped.name) != 0) return;
        scale(values, scaleOf(mapped, options));
        out[mapped.name] = DomainField{array.components, std::move(values)};
    };
    for (const FieldArray& array : block.pointData)
        if (usableArray(block, array, warnings)) add(array, array.values.toFloat());
    for (const FieldArray& array : block.cellData) {
        if (block.findPointData(array.name) != nullptr || !usableArray(block, array, warnings)) continue;
        const int nc = array.components;
        std::vector<double> sum(np * std::size_t(nc), 0.0);
        std::vector<int> count(np, 0);
        for (std::size_t c = 0; c < block.numCells(); ++c)
            for (std::int64_t p : block.cells.cellPoints(c)) {
                ++count[std::size_t(p)];
                for (int k = 0; k < nc; ++k) sum[std::size_t(p) * nc + k] += array.value(c, k);
            }
        std::vector<float> values(np * std::size_t(nc), UNDEFINED_VALUE);
        for (std::size_t p = 0; p < np; ++p)
            if (count[p] > 0)
                for (int k = 0; k < nc; ++k) values[p * nc + k] = static_cast<float>(sum[p * nc + k] / count[p]);
        add(array, std::move(values));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Domain build: vertices, one element set per cell type, the free faces.

void buildVertices(DomainBuild& d, DomainGeometryBase& geometry) {
    const MeshBlock& block = *d.block;
    TripletZELVector vertices(block.numPoints());
    TripletF lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const TripletF p(static_cast<float>(block.points[3 * i]), static_cast<float>(block.points[3 * i + 1]),
                         static_cast<float>(block.points[3 * i + 2]));
        vertices[i] = p;
        lo = TripletF(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = TripletF(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    d.size = vertices.empty() ? 1.0 : std::max(double((hi - lo).length()), 1e-30);
    geometry.setVertices(std::move(vertices));
}

// One element set per cell type, in the order tetrahedra, pyramids, wedges, hexahedra; other
// cells (faces, lines, prisms of more sides) are left out. Counted first, then filled in place.
void buildElementSets(const MeshBlock& block, DomainGeometryBase& geometry) {
    constexpr ShapeType kOrder[] = {ShapeType::Tetrahedron, ShapeType::Pyramid, ShapeType::Wedge,
                                    ShapeType::Hexahedron};
    auto slotOf = [](int type) {
        switch (type) {
        case VtkTetra: return 0;
        case VtkPyramid: return 1;
        case VtkWedge: return 2;
        case VtkHexahedron: return 3;
        default: return -1;
        }
    };
    std::array<std::size_t, 4> counts{};
    const std::size_t nc = block.numCells();
    for (std::size_t c = 0; c < nc; ++c) {
        const int type = block.cells.types[c];
        if (type == VtkPolyhedron)
            fail(block, _("cell %d is a polyhedron; export the case with decomposed polyhedra "
                          "(foamToVTK -poly-decomp).",
                          static_cast<int>(c)));
        const int slot = slotOf(type);
        if (slot >= 0) ++counts[std::size_t(slot)];
    }
    if (counts[0] + counts[1] + counts[2] + counts[3] > std::size_t(std::numeric_limits<int>::max()) / 8)
        fail(block, "the block holds more volume cells than a domain can (268 million).");
    std::array<int*, 4> fill{};
    for (std::size_t slot = 0; slot < 4; ++slot) {
        if (counts[slot] == 0) continue;
        const ShapeType shape = kOrder[slot];
        ShapeSet* set = geometry.addFaceSet(setNameOf(shape), shape, static_cast<int>(counts[slot]));
        fill[slot] = set->editConnectivity().data();
    }
    for (std::size_t c = 0; c < nc; ++c) {
        const int slot = slotOf(block.cells.types[c]);
        if (slot < 0) continue;
        for (std::int64_t p : block.cells.cellPoints(c)) *fill[std::size_t(slot)]++ = static_cast<int>(p);
    }
    if (!geometry.hasCells()) fail(block, "the block holds no volume cells.");
}

// The cell values of a scalar array in the order of the domain's global element ids (the
// element sets of buildElementSets: cells by type, each type in block order).
std::vector<float> cellValuesInElementOrder(const MeshBlock& block, const FieldArray& array) {
    std::vector<float> out;
    for (const int type : {VtkTetra, VtkPyramid, VtkWedge, VtkHexahedron})
        for (std::size_t c = 0; c < block.numCells(); ++c)
            if (block.cells.types[c] == type) out.push_back(static_cast<float>(array.value(c)));
    return out;
}

// The block's cell temperatures per global element id, or none.
std::vector<float> cellTemperatureOf(const MeshBlock& block) {
    for (const FieldArray& array : block.cellData)
        if (array.components == 1 && mapArrayName(array.name).name == "Temperature")
            return cellValuesInElementOrder(block, array);
    return {};
}

// The nodes of a cell face in the cell table's order; returns their count.
int cellFaceNodes(const Geometry& g, const CellFace& f, int* out) {
    const ShapeSet& set = g.getElementSet(f.set);
    const cell::LocalFace& lf = cell::faces(set.getShapeType())[std::size_t(f.face)];
    const auto nodes = set.getElement(f.element);
    for (int k = 0; k < lf.count; ++k) out[k] = nodes[std::size_t(lf.nodes[std::size_t(k)])];
    return lf.count;
}

// The free faces of a domain without a node per face: every cell face is put in the bucket
// of its smallest node (a counting sort of half-face numbers cell * 8 + face into one array),
// then faces with equal keys, which can only share a bucket, are found bucket by bucket.
FreeFaces findFreeFaces(const DomainGeometryBase& g) {
    const int numSets = g.getNumElementSets();
    const std::size_t numNodes = std::size_t(g.getNumVertices());
    std::vector<std::uint32_t> setBase(std::size_t(numSets) + 1, 0);
    for (int s = 0; s < numSets; ++s)
        setBase[std::size_t(s) + 1] = setBase[std::size_t(s)] + std::uint32_t(g.getElementSet(s).size());

    // Calls f(halfFace, nodes, count) for every cell face.
    auto forEachFace = [&](auto&& f) {
        for (int s = 0; s < numSets; ++s) {
            const ShapeSet& set = g.getElementSet(s);
            const auto localFaces = cell::faces(set.getShapeType());
            const int per = set.getNodesPerElement();
            const int* conn = set.getConnectivity().data();
            for (int e = 0; e < set.size(); ++e, conn += per) {
                const std::uint32_t cellBits = (setBase[std::size_t(s)] + std::uint32_t(e)) << 3;
                for (std::size_t lf = 0; lf < localFaces.size(); ++lf) {
                    int fn[4] = {0, 0, 0, 0};
                    const int count = localFaces[lf].count;
                    for (int k = 0; k < count; ++k) fn[k] = conn[localFaces[lf].nodes[std::size_t(k)]];
                    f(cellBits | std::uint32_t(lf), fn, count);
                }
            }
        }
    };
    auto smallest = [](const int* fn, int count) {
        int m = fn[0];
        for (int k = 1; k < count; ++k) m = std::min(m, fn[k]);
        return std::size_t(m);
    };
    // Bucket b holds entries [start[b], start[b + 1]).
    std::vector<std::uint32_t> start(numNodes + 1, 0);
    forEachFace([&](std::uint32_t, const int* fn, int count) { ++start[smallest(fn, count) + 1]; });
    for (std::size_t b = 0; b < numNodes; ++b) start[b + 1] += start[b];
    std::vector<std::uint32_t> entries(start[numNodes]);
    forEachFace([&](std::uint32_t half, const int* fn, int count) { entries[start[smallest(fn, count)]++] = half; });
    // Filling moved each start to its bucket's end: bucket b is now [start[b - 1], start[b]).

    auto cellFaceOf = [&](std::uint32_t half) {
        const std::uint32_t cellIndex = half >> 3;
        int s = 0;
        while (setBase[std::size_t(s) + 1] <= cellIndex) ++s;
        return CellFace{s, int(cellIndex - setBase[std::size_t(s)]), int(half & 7u)};
    };
    auto keyOfHalf = [&](std::uint32_t half) {
        int fn[4];
        const int count = cellFaceNodes(g, cellFaceOf(half), fn);
        return keyOf(fn, std::size_t(count));
    };
    // Within a bucket every key starts with the bucket's node: the other three (the last -1
    // for a triangle) are packed into 64 + 32 bits.
    struct Packed {
        std::uint64_t hi;
        std::uint32_t lo;
        bool operator==(const Packed& o) const { return hi == o.hi && lo == o.lo; }
        bool operator<(const Packed& o) const { return hi < o.hi || (hi == o.hi && lo < o.lo); }
    };
    auto packedOf = [&](std::uint32_t half) {
        const FaceKey k = keyOfHalf(half);
        return Packed{std::uint64_t(std::uint32_t(k.n[1])) << 32 | std::uint32_t(k.n[2]), std::uint32_t(k.n[3])};
    };
    std::vector<std::uint32_t> freeHalves;
    constexpr std::uint32_t kSmallBucket = 32;
    std::array<Packed, kSmallBucket> keys{};
    std::array<bool, kSmallBucket> shared{};
    std::vector<std::pair<Packed, std::uint32_t>> bucket;
    std::uint32_t begin = 0;
    for (std::size_t b = 0; b < numNodes; ++b) {
        const std::uint32_t end = start[b];
        const std::uint32_t k = end - begin;
        if (k == 1) {
            freeHalves.push_back(entries[begin]);
        } else if (k <= kSmallBucket) {
            // A node's faces are few (6 in a hexahedral mesh): pairwise comparison.
            for (std::uint32_t i = 0; i < k; ++i) {
                keys[i] = packedOf(entries[begin + i]);
                shared[i] = false;
            }
            for (std::uint32_t i = 0; i < k; ++i)
                for (std::uint32_t j = i + 1; j < k; ++j)
                    if (keys[i] == keys[j]) shared[i] = shared[j] = true;
            for (std::uint32_t i = 0; i < k; ++i)
                if (!shared[i]) freeHalves.push_back(entries[begin + i]);
        } else {
            bucket.clear();
            for (std::uint32_t i = begin; i < end; ++i) bucket.emplace_back(packedOf(entries[i]), entries[i]);
            std::sort(bucket.begin(), bucket.end(), [](const auto& a, const auto& c) { return a.first < c.first; });
            for (std::size_t i = 0; i < bucket.size();) {
                std::size_t j = i + 1;
                while (j < bucket.size() && bucket[j].first == bucket[i].first) ++j;
                if (j == i + 1) freeHalves.push_back(bucket[i].second);
                i = j;
            }
        }
        begin = end;
    }
    // Released in bulk before the (small) results are made.
    std::vector<std::uint32_t>().swap(entries);
    std::vector<std::uint32_t>().swap(start);

    std::sort(freeHalves.begin(), freeHalves.end());
    FreeFaces out;
    out.faces.reserve(freeHalves.size());
    out.byKey.reserve(freeHalves.size());
    for (std::uint32_t half : freeHalves) {
        out.byKey.emplace_back(keyOfHalf(half), static_cast<int>(out.faces.size()));
        out.faces.push_back(cellFaceOf(half));
    }
    std::sort(out.byKey.begin(), out.byKey.end(), [](const auto& a, const auto& c) { return a.first < c.first; });
    out.claimed.assign(out.faces.size(), 0);
    return out;
}

void buildDomain(DomainBuild& d) {
    auto geometry = std::make_unique<DomainGeometryBase>();
    geometry->setName(d.name);
    geometry->setDomain(d.name);
    buildVertices(d, *geometry);
    buildElementSets(*d.block, *geometry);
    d.free = findFreeFaces(*geometry);
    d.geometry = std::move(geometry);
}

// ---------------------------------------------------------------------------------------------
// Boundary build.

// Reverses `face` when its right-hand normal points into the cell of `owner`.
void orientOutward(const Geometry& g, const CellFace& owner, std::span<int> face) {
    const TripletZELVector& v = g.getVertices();
    TripletD normal(0, 0, 0), fc(0, 0, 0), cc(0, 0, 0);
    for (std::size_t i = 0; i < face.size(); ++i) {
        const TripletD a(v[std::size_t(face[i])]), b(v[std::size_t(face[(i + 1) % face.size()])]);
        normal += TripletD(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
        fc += a;
    }
    fc = fc * (1.0 / double(face.size()));
    const auto nodes = g.getElementSet(owner.set).getElement(owner.element);
    for (int n : nodes) cc += TripletD(v[std::size_t(n)]);
    cc = cc * (1.0 / double(nodes.size()));
    if (normal.dot(fc - cc) < 0) std::reverse(face.begin(), face.end());
}

// Local vertex numbers of a boundary: domain node -> vertex, in order of first use. One
// array of the domain's size, reset between boundaries by the nodes that were used.
class LocalNumbering {
public:
    explicit LocalNumbering(std::size_t numNodes) : m_local(numNodes, -1) {}
    int add(int node) {
        int& local = m_local[std::size_t(node)];
        if (local < 0) {
            local = static_cast<int>(m_nodes.size());
            m_nodes.push_back(node);
        }
        return local;
    }
    // The vertex of a domain node, or -1.
    int of(int node) const { return m_local[std::size_t(node)]; }
    // The domain node of every vertex.
    const std::vector<int>& nodes() const { return m_nodes; }
    void reset() {
        for (int n : m_nodes) m_local[std::size_t(n)] = -1;
        m_nodes.clear();
    }

private:
    std::vector<int> m_local;
    std::vector<int> m_nodes;
};

// A boundary geometry over `faces` (outward ordered): vertices numbered in order of first use,
// one face set per node count (triangles, quadrilaterals, then polygons by size), each keeping
// the faces' order; the faces' owners in the geometry's face order. `numbering` is left
// filled for the caller to map point values (then reset); order[i] is the FaceList index of
// the geometry's face i.
std::unique_ptr<BoundaryGeometry> makeBoundaryGeometry(const std::string& name, const DomainBuild& d, FaceList& faces,
                                                       LocalNumbering& numbering, std::vector<std::size_t>& order) {
    auto g = std::make_unique<BoundaryGeometry>();
    g->setName(name);
    g->setDomain(d.name);
    std::map<int, std::size_t> perCount; // node count -> faces
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const std::span<int> face = faces.face(i);
        ++perCount[static_cast<int>(face.size())];
        for (int& node : face) node = numbering.add(node); // now local
    }
    const TripletZELVector& dv = d.geometry->getVertices();
    std::vector<int> domainNodes = numbering.nodes();
    TripletZELVector vertices(domainNodes.size());
    for (std::size_t i = 0; i < domainNodes.size(); ++i) vertices[i] = dv[std::size_t(domainNodes[i])];
    g->setVertices(std::move(vertices));

    order.clear();
    order.reserve(faces.size());
    std::vector<BoundaryFaceOwner> owners;
    owners.reserve(faces.size());
    const auto offsets = d.geometry->getElementOffsets();
    for (const auto& [count, n] : perCount) {
        const ShapeType shape = cell::faceTypeForCount(count);
        const std::string setName = count == 3 ? "Triangles" : count == 4 ? "Quadrilaterals" : _("Polygons %d", count);
        ShapeSet* set = g->addFaceSet(setName, shape, static_cast<int>(n), shape == ShapeType::Polygon ? count : 0);
        int* conn = set->editConnectivity().data();
        for (std::size_t i = 0; i < faces.size(); ++i) {
            const std::span<int> face = faces.face(i);
            if (static_cast<int>(face.size()) != count) continue;
            conn = std::copy(face.begin(), face.end(), conn);
            order.push_back(i);
            const CellFace& o = faces.owners[i];
            owners.push_back(o.set < 0 ? BoundaryFaceOwner{}
                                       : BoundaryFaceOwner{offsets[std::size_t(o.set)] + o.element, o.face});
        }
    }
    g->setFaceOwners(std::move(owners));
    auto interpolant = std::make_unique<VertexInterpolant>(d.name);
    interpolant->swapInternalData(domainNodes);
    g->setInterpolant(std::move(interpolant));
    return g;
}

// Grid hash of a domain's boundary nodes, for matching patch points by position: the nodes
// sorted by grid cell into one array, and an open-addressing table from cell to its run.
class NodeMatcher {
public:
    explicit NodeMatcher(const DomainBuild& d) : m_vertices(d.geometry->getVertices()) {
        m_tol = kMatchTolerance * d.size;
        m_cell = 2.0 * m_tol;
        std::vector<int> nodes;
        int fn[4];
        for (const CellFace& f : d.free.faces) {
            const int count = cellFaceNodes(*d.geometry, f, fn);
            nodes.insert(nodes.end(), fn, fn + count);
        }
        std::sort(nodes.begin(), nodes.end());
        nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
        std::vector<std::pair<Cell, int>> byCell;
        byCell.reserve(nodes.size());
        for (int n : nodes) {
            const TripletD p(m_vertices[std::size_t(n)]);
            if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) byCell.emplace_back(cellOf(p), n);
        }
        std::sort(byCell.begin(), byCell.end());
        m_nodes.resize(byCell.size());
        std::size_t slots = 16;
        while (slots < 2 * byCell.size()) slots *= 2;
        m_table.assign(slots, -1);
        for (std::size_t i = 0; i < byCell.size(); ++i) {
            m_nodes[i] = byCell[i].second;
            if (i > 0 && byCell[i].first == byCell[i - 1].first) {
                ++m_runs.back().end;
                continue;
            }
            m_runs.push_back(Run{byCell[i].first, std::uint32_t(i), std::uint32_t(i + 1)});
            std::size_t s = hashOf(byCell[i].first) & (slots - 1);
            while (m_table[s] >= 0) s = (s + 1) & (slots - 1);
            m_table[s] = static_cast<std::int32_t>(m_runs.size() - 1);
        }
    }
    // The boundary node at `p`, or -1: the nearest within the tolerance (of equals, the last
    // met in the order of the neighbour cells and of the node numbers).
    int find(const TripletD& p) const {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return -1;
        const auto c = cellOf(p);
        int best = -1;
        double bestD = m_tol;
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy)
                for (std::int64_t dz = -1; dz <= 1; ++dz) {
                    const Run* run = findRun({c[0] + dx, c[1] + dy, c[2] + dz});
                    if (run == nullptr) continue;
                    for (std::uint32_t i = run->begin; i < run->end; ++i) {
                        const int n = m_nodes[i];
                        const double dist = (TripletD(m_vertices[std::size_t(n)]) - p).length();
                        if (dist <= bestD) {
                            bestD = dist;
                            best = n;
                        }
                    }
                }
        return best;
    }

private:
    using Cell = std::array<std::int64_t, 3>;
    struct Run {
        Cell cell;
        std::uint32_t begin, end; // into m_nodes
    };
    static std::size_t hashOf(const Cell& c) {
        // Unsigned: the products wrap instead of overflowing.
        return std::size_t(std::uint64_t(c[0]) * 73856093u ^ std::uint64_t(c[1]) * 19349663u ^
                           std::uint64_t(c[2]) * 83492791u);
    }
    const Run* findRun(const Cell& c) const {
        const std::size_t mask = m_table.size() - 1;
        for (std::size_t s = hashOf(c) & mask; m_table[s] >= 0; s = (s + 1) & mask) {
            const Run& r = m_runs[std::size_t(m_table[s])];
            if (r.cell == c) return &r;
        }
        return nullptr;
    }
    Cell cellOf(const TripletD& p) const {
        return {static_cast<std::int64_t>(std::floor(p.x / m_cell)),
                static_cast<std::int64_t>(std::floor(p.y / m_cell)),
                static_cast<std::int64_t>(std::floor(p.z / m_cell))};
    }
    const TripletZELVector& m_vertices;
    double m_tol = 0, m_cell = 1;
    std::vector<int> m_nodes; // boundary nodes by cell, ascending within a cell
    std::vector<Run> m_runs;
    std::vector<std::int32_t> m_table; // index into m_runs, -1 empty
};

// The domain nodes of a patch's points, or an empty list when some point is not a boundary
// node of the domain (`missing` is then its index).
std::vector<int> matchPoints(const MeshBlock& patch, const NodeMatcher& matcher, std::size_t& missing) {
    std::vector<int> nodes(patch.numPoints());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i] = matcher.find(TripletD(patch.points[3 * i], patch.points[3 * i + 1], patch.points[3 * i + 2]));
        if (nodes[i] < 0) {
            missing = i;
            return {};
        }
    }
    return nodes;
}

void addVariableObject(const std::string& name, bool vector, const std::array<int, 4>& dims,
                       std::vector<std::string>& created) {
    ObjectDB& db = *ObjectDB::instance();
    if (OKLObject* existing = db.getObjectByName(name)) {
        if (!existing->isA("variable"))
            throw data::invalid(kClass, "loadCase",
                                _("The variable '%s' cannot be declared: an object '%s' of type %s exists.", name, name,
                                  existing->getType()),
                                ErrError);
        return;
    }
    auto object = ObjectFactory::instance()->createObject(vector ? "VECTOR VARIABLE" : "SCALAR VARIABLE", name);
    object->setParameter("Boundary Values", "Conservative");
    object->setParameter("Variable Dimensions", dimensionsText(dims));
    db.addObject(std::move(object));
    created.push_back(name);
    if (!vector) return;
    static const char* const kComponents[] = {" X", " Y", " Z"};
    for (int k = 0; k < 3; ++k) {
        const std::string component = name + kComponents[k];
        if (db.getObjectByName(component) != nullptr) continue;
        auto c = ObjectFactory::instance()->createObject("SCALAR VARIABLE", component);
        c->setParameter("Recipe", "Vector Component");
        c->setParameter("Variable", name);
        c->setParameter("Component Index", std::to_string(k + 1));
        c->setParameter("Boundary Values", "Conservative");
        c->setParameter("Variable Dimensions", dimensionsText(dims));
        db.addObject(std::move(c));
        created.push_back(component);
    }
}

// Undoes a partly committed load.
struct Rollback {
    CaseStorage& storage;
    std::vector<std::string> objects; // object names, in creation order
    std::vector<std::string> geometries;
    const std::vector<std::string>* variables = nullptr; // variable objects made, also undone
    bool armed = true;
    ~Rollback() {
        if (!armed) return;
        try {
            undo();
        } catch (const std::exception&) {
            // Already unwinding from the load's own failure, which is the one to report.
        }
    }
    void undo() {
        ObjectDB& db = *ObjectDB::instance();
        if (variables != nullptr)
            for (auto it = variables->rbegin(); it != variables->rend(); ++it)
                if (OKLObject* o = db.getTopObjectByName(*it)) db.deleteObject(o);
        for (auto it = objects.rbegin(); it != objects.rend(); ++it)
            if (OKLObject* o = db.getTopObjectByName(*it)) db.deleteObject(o);
        for (const std::string& g : geometries) {
            storage.clearGeometry(g);
            storage.removeDomain(g);
        }
    }
};

// Unique object names: not used earlier in this load nor by an object of the database.
class NameAllocator {
public:
    std::string operator()(std::string name) {
        if (name.empty()) name = "Unnamed";
        std::string candidate = name;
        for (int k = 2; m_taken.count(candidate) != 0 || ObjectDB::instance()->hasObject(candidate); ++k)
            candidate = _("%s %d", name, k);
        m_taken.insert(candidate);
        return candidate;
    }

private:
    std::set<std::string> m_taken;
};

// One DomainBuild per volume block, named (not yet uniquely).
std::vector<DomainBuild> planDomains(const CaseData& data) {
    std::vector<DomainBuild> domains;
    for (std::size_t i = 0; i < data.blocks.size(); ++i) {
        const MeshBlock& block = data.blocks[i];
        if (!block.isVolume()) continue;
        DomainBuild d;
        d.block = &block;
        d.blockIndex = i;
        d.group = groupOf(block);
        std::string name = block.name;
        if (name.empty() || name == "internal") {
            const auto slash = d.group.rfind('/');
            name = d.group.empty() ? caseStem(data.sourceFile)
                                   : d.group.substr(slash == std::string::npos ? 0 : slash + 1);
        }
        d.name = objectName(name);
        domains.push_back(std::move(d));
    }
    if (domains.empty())
        throw data::invalid(kClass, "loadCase", _("'%s' holds no volume mesh.", data.sourceFile), ErrError);
    return domains;
}

void checkNotLoaded(CaseStorage& storage, const std::vector<DomainBuild>& domains) {
    std::vector<std::pair<std::string, Geometry*>> existing;
    storage.getGeometries(existing);
    for (const auto& [name, g] : existing)
        for (const DomainBuild& d : domains)
            if (d.name == name)
                throw data::invalid(kClass, "loadCase", _("A domain '%s' is loaded already.", name), ErrError);
}

// The domain a patch lies on: the volume of the patch's group first (foamToVTK:
// "<region>/boundary/<patch>"), then every domain; the first all of whose boundary nodes
// hold the patch's points. `nodes` gets the domain node of every patch point.
std::size_t domainOfPatch(const MeshBlock& patch, const std::vector<DomainBuild>& domains,
                          const std::vector<NodeMatcher>& matchers, std::vector<int>& nodes) {
    std::vector<std::size_t> order;
    const std::string group = groupOf(patch);
    for (std::size_t i = 0; i < domains.size(); ++i) {
        const std::string& g = domains[i].group;
        if (group == g ||
            (group.size() > g.size() && group.compare(0, g.size(), g) == 0 && (g.empty() || group[g.size()] == '/')))
            order.push_back(i);
    }
    for (std::size_t i = 0; i < domains.size(); ++i)
        if (std::find(order.begin(), order.end(), i) == order.end()) order.push_back(i);
    std::size_t missing = 0;
    for (std::size_t i : order) {
        nodes = matchPoints(patch, matchers[i], missing);
        if (!nodes.empty() || patch.numPoints() == 0) return i;
    }
    fail(patch, _("point %d (%g, %g, %g) is not a boundary node of %s.", static_cast<int>(missing),
                  patch.points[3 * missing], patch.points[3 * missing + 1], patch.points[3 * missing + 2],
                  domains.size() == 1 ? "the domain '" + domains[0].name + "'" : std::string("any domain")));
}

// The patch's point values on the boundary's vertices, as the geometry's own variables.
void addPatchPointValues(BoundaryGeometry& g, const std::string& domain,
                         const std::map<std::string, DomainField>& fields, const std::vector<int>& nodes,
                         const LocalNumbering& numbering) {
    const std::size_t n = static_cast<std::size_t>(g.getNumVertices());
    for (const auto& [name, field] : fields) {
        // A patch point that no face uses is no vertex of the boundary and is left out.
        if (field.components == 1) {
            FloatZELVector values(n, UNDEFINED_VALUE);
            for (std::size_t p = 0; p < nodes.size(); ++p)
                if (const int v = numbering.of(nodes[p]); v >= 0) values[std::size_t(v)] = field.values[p];
            auto variable = std::make_unique<ScalarVariable>();
            variable->setFloatValues(std::move(values));
            variable->setName(name);
            variable->setDomain(domain);
            g.addVariable(std::move(variable));
        } else {
            TripletZELVector values(n, TripletF(UNDEFINED_VALUE, UNDEFINED_VALUE, UNDEFINED_VALUE));
            for (std::size_t p = 0; p < nodes.size(); ++p)
                if (const int v = numbering.of(nodes[p]); v >= 0)
                    values[std::size_t(v)] =
                        TripletF(field.values[3 * p], field.values[3 * p + 1], field.values[3 * p + 2]);
            auto variable = std::make_unique<VectorVariable>();
            variable->setTripletValues(std::move(values));
            variable->setName(name);
            variable->setDomain(domain);
            g.addVariable(std::move(variable));
        }
    }
}

// The patch's cell arrays with one tuple per boundary face (in the geometry's face order),
// mapped to variable names and scaled as the point arrays are.
std::map<std::string, DomainField> faceFieldsOf(const MeshBlock& patch, const LoadOptions& options,
                                                const FaceList& faces, const std::vector<std::size_t>& order) {
    std::map<std::string, DomainField> out;
    for (const FieldArray& array : patch.cellData) {
        if (!usableArray(patch, array, nullptr)) continue;
        const VariableName mapped = mapArrayName(array.name);
        if (out.count(mapped.name) != 0) continue;
        const int nc = array.components;
        std::vector<float> values(order.size() * std::size_t(nc));
        for (std::size_t i = 0; i < order.size(); ++i)
            for (int k = 0; k < nc; ++k)
                values[i * std::size_t(nc) + std::size_t(k)] =
                    static_cast<float>(array.value(std::size_t(faces.sources[order[i]]), k));
        scale(values, scaleOf(mapped, options));
        out[mapped.name] = DomainField{nc, std::move(values)};
    }
    return out;
}

// "Wall Adjacent Temperature" of a boundary's faces: the temperature of the cell that owns
// each face (undefined for a face no cell owns); nothing when the domain has no cell
// temperatures.
void addAdjacentTemperature(const DomainBuild& d, const BoundaryGeometry& g,
                            std::map<std::string, DomainField>& fields) {
    if (d.cellTemperature.empty()) return;
    const auto owners = g.getFaceOwners();
    std::vector<float> values(owners.size(), UNDEFINED_VALUE);
    for (std::size_t i = 0; i < owners.size(); ++i)
        if (owners[i].cell >= 0) values[i] = d.cellTemperature[std::size_t(owners[i].cell)];
    fields["Wall Adjacent Temperature"] = DomainField{1, std::move(values)};
}

struct Boundaries {
    std::vector<BoundaryBuild> builds;
    std::vector<std::map<std::string, DomainField>> patchFields; // point arrays of each patch
};

// A boundary per surface block: its faces on the domain's nodes, outward where they are cell
// faces of the domain (which they then flag), the patch's own values.
void buildPatchBoundaries(const CaseData& data, std::vector<DomainBuild>& domains,
                          std::vector<LocalNumbering>& numberings, NameAllocator& unique, const LoadOptions& options,
                          Boundaries& out, std::vector<std::string>& warnings, std::vector<bool>& hasPatches) {
    std::vector<NodeMatcher> matchers;
    matchers.reserve(domains.size());
    for (const DomainBuild& d : domains) matchers.emplace_back(d);
    std::vector<int> nodes;
    std::vector<std::size_t> order;
    for (const MeshBlock& patch : data.blocks) {
        if (patch.kind != BlockKind::Surface) continue;
        const std::size_t di = domainOfPatch(patch, domains, matchers, nodes);
        DomainBuild& d = domains[di];
        hasPatches[di] = true;
        BoundaryBuild b;
        b.name = unique(objectName(patch.name));
        b.type = boundaryTypeForName(patch.name);
        b.domain = di;
        FaceList faces;
        int unmatched = 0;
        for (std::size_t c = 0; c < patch.numCells(); ++c) {
            if (vtkCellDimension(patch.cells.types[c]) != 2) continue;
            const std::size_t first = faces.nodes.size();
            for (std::int64_t p : patch.cells.cellPoints(c)) faces.nodes.push_back(nodes[std::size_t(p)]);
            const std::span<int> face = std::span<int>(faces.nodes).subspan(first);
            const int found = face.size() <= 4 ? d.free.find(keyOf(face.data(), face.size())) : -1;
            if (found < 0) {
                ++unmatched;
                faces.close(CellFace{}, std::int64_t(c));
                continue;
            }
            const CellFace& owner = d.free.faces[std::size_t(found)];
            orientOutward(*d.geometry, owner, face);
            if (d.free.claimed[std::size_t(found)] == 0) b.flags.push_back(owner);
            d.free.claimed[std::size_t(found)] = 1;
            faces.close(owner, std::int64_t(c));
        }
        if (unmatched > 0)
            warnings.push_back(_("Boundary '%s': %d of its faces are not cell faces of domain '%s'; they keep "
                                 "the orientation of '%s' and set no boundary flags.",
                                 b.name, unmatched, d.name, patch.sourceFile));
        LocalNumbering& numbering = numberings[di];
        b.geometry = makeBoundaryGeometry(b.name, d, faces, numbering, order);
        std::map<std::string, DomainField> pointFields = fieldsOf(patch, options, nullptr);
        addPatchPointValues(*b.geometry, d.name, pointFields, nodes, numbering);
        numbering.reset();
        std::map<std::string, DomainField> faceFields = faceFieldsOf(patch, options, faces, order);
        addAdjacentTemperature(d, *b.geometry, faceFields);
        b.geometry->setFlowSource(options.boundaryFlows);
        b.geometry->setFaceFields(std::move(faceFields));
        out.patchFields.push_back(std::move(pointFields));
        out.builds.push_back(std::move(b));
    }
}

// The key of a free face for matching it with the same face of another process's piece: its
// domain's name and its points' coordinates in sorted order, hashed (FNV-1a over the bits; a
// collision between two different faces of a case is about N^2 / 2^64 likely).
std::uint64_t sharedFaceKey(const DomainBuild& d, const CellFace& f) {
    int fn[4];
    const int count = cellFaceNodes(*d.geometry, f, fn);
    const TripletZELVector& v = d.geometry->getVertices();
    std::array<std::array<float, 3>, 4> pts{};
    for (int i = 0; i < count; ++i) {
        const auto& p = v[std::size_t(fn[i])];
        pts[std::size_t(i)] = {p.x, p.y, p.z};
    }
    for (int i = 1; i < count; ++i) // at most four: an insertion sort
        for (int j = i; j > 0 && pts[std::size_t(j)] < pts[std::size_t(j - 1)]; --j)
            std::swap(pts[std::size_t(j)], pts[std::size_t(j - 1)]);
    std::uint64_t h = 14695981039346656037ull;
    auto mix = [&](const void* bytes, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(bytes);
        for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    };
    mix(d.name.data(), d.name.size());
    for (int i = 0; i < count; ++i)
        for (float c : pts[std::size_t(i)]) {
            const float z = c == 0.0f ? 0.0f : c; // -0 and +0 are one coordinate
            mix(&z, sizeof z);
        }
    return h;
}

// Free faces that are faces of another process's piece are no boundary: marked as claimed
// (by no boundary) before the default boundaries take the rest. One call of `shared` per load,
// whatever this process holds.
void dropSharedFaces(std::vector<DomainBuild>& domains,
                     const std::function<std::vector<char>(std::span<const std::uint64_t>)>& shared) {
    std::vector<std::uint64_t> keys;
    for (const DomainBuild& d : domains)
        for (std::size_t i = 0; i < d.free.faces.size(); ++i)
            if (d.free.claimed[i] == 0) keys.push_back(sharedFaceKey(d, d.free.faces[i]));
    const std::vector<char> isShared = shared(keys);
    std::size_t k = 0;
    for (DomainBuild& d : domains)
        for (std::size_t i = 0; i < d.free.faces.size(); ++i)
            if (d.free.claimed[i] == 0 && isShared.at(k++) != 0) d.free.claimed[i] = 2;
}

// Free faces no patch covers: the whole boundary of a lone volume, else a default one; in
// (element set, element, face) order.
void buildDefaultBoundaries(std::vector<DomainBuild>& domains, std::vector<LocalNumbering>& numberings,
                            const std::vector<bool>& hasPatches, NameAllocator& unique, Boundaries& out) {
    std::vector<std::size_t> order;
    for (std::size_t di = 0; di < domains.size(); ++di) {
        DomainBuild& d = domains[di];
        BoundaryBuild b;
        b.domain = di;
        FaceList faces;
        int fn[4];
        for (std::size_t i = 0; i < d.free.faces.size(); ++i) {
            if (d.free.claimed[i] != 0) continue;
            const CellFace& f = d.free.faces[i];
            const int count = cellFaceNodes(*d.geometry, f, fn);
            faces.nodes.insert(faces.nodes.end(), fn, fn + count);
            orientOutward(*d.geometry, f, std::span<int>(faces.nodes).last(std::size_t(count)));
            b.flags.push_back(f);
            faces.close(f, -1);
        }
        if (faces.size() == 0) continue;
        const std::string base = hasPatches[di] ? "Default Boundary" : "Boundary";
        b.name = unique(domains.size() == 1 ? base : d.name + " " + base);
        b.type = hasPatches[di] ? "SYMMETRY" : "WALL";
        b.geometry = makeBoundaryGeometry(b.name, d, faces, numberings[di], order);
        numberings[di].reset();
        std::map<std::string, DomainField> faceFields;
        addAdjacentTemperature(d, *b.geometry, faceFields);
        b.geometry->setFaceFields(std::move(faceFields));
        out.builds.push_back(std::move(b));
    }
}

// Boundary flags on the domain geometries, while they are still ours.
void flagBoundaryFaces(std::vector<DomainBuild>& domains, const Boundaries& boundaries) {
    for (DomainBuild& d : domains) d.geometry->initialiseBoundaryFlags();
    for (const BoundaryBuild& b : boundaries.builds)
        for (const CellFace& f : b.flags)
            domains[b.domain].geometry->setBoundaryFlag(unsigned(f.set), unsigned(f.element), unsigned(f.face), b.name);
}

// The boundary heat variables (BoundaryGeometry.h) that a case can make: "Heat Flux" and
// "Heat Flow" with a wall heat flux, "Wall Adjacent Temperature" with cell temperatures, the
// coefficient with a solver's one or with both and wall temperatures.
struct HeatVariables {
    bool flux = false, adjacent = false, coefficient = false;

    void declare(std::vector<std::string>& created) const {
        if (flux) {
            addVariableObject("Heat Flux", false, {1, 0, -3, 0}, created);
            addVariableObject("Heat Flow", false, {1, 2, -3, 0}, created);
        }
        if (adjacent) addVariableObject("Wall Adjacent Temperature", false, {0, 0, 0, 1}, created);
        if (coefficient) addVariableObject("Wall Heat Transfer Coefficient", false, {1, 0, -3, -1}, created);
    }
};

HeatVariables heatVariablesOf(const std::vector<DomainBuild>& domains, const Boundaries& boundaries) {
    bool flux = false, adjacent = false, temperature = false, coefficient = false;
    auto scan = [&](const std::map<std::string, DomainField>& fields) {
        flux = flux || fields.count("Heat Flux") != 0;
        temperature = temperature || fields.count("Temperature") != 0;
        coefficient = coefficient || fields.count("Wall Heat Transfer Coefficient") != 0;
    };
    for (const DomainBuild& d : domains) scan(d.fields);
    for (const auto& fields : boundaries.patchFields) scan(fields);
    for (const BoundaryBuild& b : boundaries.builds) {
        scan(b.geometry->getFaceFields());
        adjacent = adjacent || b.geometry->getFaceFields().count("Wall Adjacent Temperature") != 0;
    }
    return HeatVariables{flux, adjacent, coefficient || (flux && adjacent && temperature)};
}

// Registers the built domains and boundaries and declares the variable objects; undone by
// `rollback` when anything fails.
void commit(CaseStorage& storage, const CaseData& data, std::vector<DomainBuild>& domains, Boundaries& boundaries,
            const LoadOptions& options, Rollback& rollback, LoadedCase& result) {
    ObjectDB& db = *ObjectDB::instance();
    const HeatVariables heat = heatVariablesOf(domains, boundaries);
    for (DomainBuild& d : domains) {
        storage.setGeometry(d.geometry.get()); // the registry owns it once this returns
        d.geometry.release();
        rollback.geometries.push_back(d.name);
        storage.setDomainFields(d.name, std::move(d.fields));
        db.addObject(ObjectFactory::instance()->createObject("DOMAIN", d.name));
        rollback.objects.push_back(d.name);
        result.domains.push_back(d.name);
    }
    for (BoundaryBuild& b : boundaries.builds) {
        auto object = ObjectFactory::instance()->createObject("BOUNDARY", b.name);
        object->setParameter("Domain List", domains[b.domain].name);
        object->setParameter("Boundary Type", b.type);
        object->setParameter("Case Name", data.sourceFile);
        auto* geometric = dynamic_cast<GeometricOKLObject*>(object.get());
        if (geometric == nullptr)
            throw internal::error(kClass, "loadCase", "BOUNDARY objects are not geometric objects.", ErrError);
        geometric->setGeometry(domains[b.domain].name, std::unique_ptr<Geometry>(b.geometry.release()));
        db.addObject(std::move(object));
        rollback.objects.push_back(b.name);
        result.boundaries.push_back(b.name);
    }

    // Variable objects: the solver arrays of every domain and patch, then the derived ones.
    auto declare = [&](const std::map<std::string, DomainField>& fields) {
        for (const auto& [name, field] : fields) {
            std::array<int, 4> dims{0, 0, 0, 0};
            for (const VariableName& row : nameTable())
                if (row.name == name) dims = row.dimensions;
            addVariableObject(name, field.components == 3, dims, result.variables);
        }
    };
    for (const DomainBuild& d : domains)
        if (const auto* fields = storage.findDomainFields(d.name)) declare(*fields);
    for (const auto& fields : boundaries.patchFields) declare(fields);
    for (const std::string& name : declareDerivedVariables()) result.variables.push_back(name);
    heat.declare(result.variables);

    // Phases from the volume fractions.
    std::set<std::string> phases;
    for (const DomainBuild& d : domains)
        for (const FieldArray& a : d.block->pointData) {
            const VariableName m = mapArrayName(a.name);
            if (!m.phase.empty()) phases.insert(m.phase);
        }
    if (!phases.empty()) storage.setPhases(std::vector<std::string>(phases.begin(), phases.end()));
    if (options.density) storage.setDensity(*options.density);

    for (const DomainBuild& d : domains)
        dynamic_cast<DomainGeometryBase*>(storage.getGeometry(d.name))->addBoundaryTypes();
}

// What a load may drop from the case data as soon as it has made its own copy: the bulk
// arrays of a volume block (array names stay, for the phases).
void releaseBulk(MeshBlock& block) {
    block.points = RealArray();
    block.cells = CellArrays();
    for (auto* arrays : {&block.pointData, &block.cellData})
        for (FieldArray& a : *arrays) a.values = RealArray();
}

LoadedCase load(CaseStorage& storage, const CaseData& data, const LoadOptions& options,
                const std::function<void(std::size_t block)>& doneWithBlock) {
    LoadedCase result;
    PhaseClock clock(options);

    // ---- build everything aside; nothing is registered yet
    std::vector<DomainBuild> domains = planDomains(data);
    NameAllocator unique;
    for (DomainBuild& d : domains) {
        d.name = unique(d.name);
        buildDomain(d);
    }
    clock.lap("domain build");
    for (DomainBuild& d : domains) {
        d.fields = fieldsOf(*d.block, options, &result.warnings);
        d.cellTemperature = cellTemperatureOf(*d.block);
        if (doneWithBlock) doneWithBlock(d.blockIndex);
    }
    clock.lap("fields");
    checkNotLoaded(storage, domains);

    std::vector<LocalNumbering> numberings;
    numberings.reserve(domains.size());
    for (const DomainBuild& d : domains) numberings.emplace_back(std::size_t(d.geometry->getNumVertices()));
    Boundaries boundaries;
    std::vector<bool> hasPatches(domains.size(), false);
    buildPatchBoundaries(data, domains, numberings, unique, options, boundaries, result.warnings, hasPatches);
    if (options.sharedFaces) dropSharedFaces(domains, options.sharedFaces);
    buildDefaultBoundaries(domains, numberings, hasPatches, unique, boundaries);
    flagBoundaryFaces(domains, boundaries);
    clock.lap("boundary build");

    // ---- commit; any failure from here on undoes what was added
    Rollback rollback{storage, {}, {}, &result.variables};
    commit(storage, data, domains, boundaries, options, rollback, result);
    rollback.armed = false;
    clock.lap("register");

    for (const std::string& w : result.warnings)
        ErrorProgressReporter::instance()->reportError(ErrorMsg(kClass, "loadCase", w, ErrWarning));
    return result;
}

} // namespace

std::string boundaryTypeForName(const std::string& patchName) {
    const std::string n = lower(patchName);
    auto has = [&](const char* word) { return n.find(word) != std::string::npos; };
    if (has("inlet") || has("inflow")) return "INLET";
    if (has("outlet") || has("outflow")) return "OUTLET";
    if (has("opening")) return "OPENING";
    if (has("sym")) return "SYMMETRY";
    if (has("periodic") || has("cyclic")) return "PERIODIC";
    if (has("wall")) return "WALL";
    if (has("empty") || has("front") || has("back")) return "SYMMETRY";
    return "WALL";
}

std::vector<std::string> declareDerivedVariables() {
    std::vector<std::string> created;
    addVariableObject("X", false, {0, 1, 0, 0}, created);
    addVariableObject("Y", false, {0, 1, 0, 0}, created);
    addVariableObject("Z", false, {0, 1, 0, 0}, created);
    addVariableObject("Density", false, {1, -3, 0, 0}, created);
    addVariableObject("Area", false, {0, 2, 0, 0}, created);
    addVariableObject("Normal", true, {0, 0, 0, 0}, created);
    addVariableObject("Mass Flow", false, {1, 0, -1, 0}, created);
    addVariableObject("Force", true, {1, 1, -2, 0}, created);
    addVariableObject("momentum flow", true, {1, 1, -2, 0}, created);
    addVariableObject("Pressure Force", true, {1, 1, -2, 0}, created);
    addVariableObject("Viscous Force", true, {1, 1, -2, 0}, created);
    return created;
}

LoadedCase loadCase(CaseStorage& storage, const CaseData& data, const LoadOptions& options) {
    return load(storage, data, options, {});
}

LoadedCase loadCase(CaseStorage& storage, CaseData&& data, const LoadOptions& options) {
    return load(storage, data, options, [&data](std::size_t block) { releaseBulk(data.blocks[block]); });
}

} // namespace zel::host
