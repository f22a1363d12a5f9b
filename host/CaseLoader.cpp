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
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <unordered_map>

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

bool shapeOfVtk(int type, ShapeType& shape) {
    switch (type) {
    case VtkTetra: shape = ShapeType::Tetrahedron; return true;
    case VtkPyramid: shape = ShapeType::Pyramid; return true;
    case VtkWedge: shape = ShapeType::Wedge; return true;
    case VtkHexahedron: shape = ShapeType::Hexahedron; return true;
    default: return false;
    }
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

// A face by its sorted nodes (3 or 4; the fourth -1 for a triangle).
struct FaceKey {
    std::array<int, 4> n{-1, -1, -1, -1};
    bool operator==(const FaceKey& o) const { return n == o.n; }
};
struct FaceKeyHash {
    std::size_t operator()(const FaceKey& k) const {
        std::uint64_t h = 1469598103934665603ull;
        for (int v : k.n) h = (h ^ static_cast<std::uint64_t>(static_cast<std::uint32_t>(v))) * 1099511628211ull;
        return static_cast<std::size_t>(h);
    }
};
FaceKey keyOf(std::span<const int> nodes) {
    FaceKey k;
    for (std::size_t i = 0; i < nodes.size() && i < 4; ++i) k.n[i] = nodes[i];
    // Insertion sort of at most four nodes (std::sort here trips g++ 12's -Warray-bounds at -O3).
    const std::size_t count = std::min<std::size_t>(nodes.size(), 4);
    for (std::size_t a = 1; a < count; ++a)
        for (std::size_t b = a; b > 0 && k.n[b] < k.n[b - 1]; --b) std::swap(k.n[b], k.n[b - 1]);
    return k;
}

struct FaceRecord {
    int set = -1;
    int element = -1;
    int face = -1;
    int count = 0;
    bool claimed = false;
};

struct DomainBuild {
    std::string name;
    std::string group;  // the block's enclosing group path
    const MeshBlock* block = nullptr;
    std::unique_ptr<DomainGeometryBase> geometry;
    std::unordered_map<FaceKey, FaceRecord, FaceKeyHash> faces;
    std::map<std::string, DomainField> fields;
    double size = 1.0;  // bounding-box diagonal
};

struct BoundaryBuild {
    std::string name;
    std::string type;
    std::size_t domain = 0;
    std::unique_ptr<BoundaryGeometry> geometry;
    struct Flag {
        int set, element, face;
    };
    std::vector<Flag> flags;
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
    throw data::invalid(kClass, "loadCase",
                        _("'%s' block '%s': %s", block.sourceFile, block.path.empty() ? block.name : block.path,
                          problem),
                        ErrError);
}

// Point values of every array of a block (cell-only arrays averaged to the points), mapped
// to variable names and scaled when kinematic. Arrays of other than 1 or 3 components are
// left out with a warning.
std::map<std::string, DomainField> fieldsOf(const MeshBlock& block, const LoadOptions& options,
                                            std::vector<std::string>& warnings) {
    std::map<std::string, DomainField> out;
    const std::size_t np = block.numPoints();
    auto add = [&](const FieldArray& array, std::vector<float> values) {
        const VariableName mapped = mapArrayName(array.name);
        if (out.count(mapped.name) != 0) return;
        const double factor = mapped.factor * (mapped.kinematic && options.density ? *options.density : 1.0);
        if (factor != 1.0)
            for (float& v : values)
                if (!isUndefined(v)) v = static_cast<float>(v * factor);
        out[mapped.name] = DomainField{array.components, std::move(values)};
    };
    auto usable = [&](const FieldArray& array) {
        if (array.components == 1 || array.components == 3) return true;
        warnings.push_back(_("'%s': array '%s' has %d components and is not loaded.", block.sourceFile, array.name,
                             array.components));
        return false;
    };
    for (const FieldArray& array : block.pointData)
        if (usable(array)) add(array, array.values.toFloat());
    for (const FieldArray& array : block.cellData) {
        if (block.findPointData(array.name) != nullptr || !usable(array)) continue;
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
                for (int k = 0; k < nc; ++k)
                    values[p * nc + k] = static_cast<float>(sum[p * nc + k] / count[p]);
        add(array, std::move(values));
    }
    return out;
}

void buildDomain(DomainBuild& d) {
    const MeshBlock& block = *d.block;
    auto geometry = std::make_unique<DomainGeometryBase>();
    geometry->setName(d.name);
    geometry->setDomain(d.name);
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
    geometry->setVertices(std::move(vertices));

    // One element set per cell type, in the order tetrahedra, pyramids, wedges, hexahedra.
    const ShapeType order[] = {ShapeType::Tetrahedron, ShapeType::Pyramid, ShapeType::Wedge, ShapeType::Hexahedron};
    for (const ShapeType shape : order) {
        std::vector<int> conn;
        for (std::size_t c = 0; c < block.numCells(); ++c) {
            ShapeType s;
            const int type = block.cells.types[c];
            if (type == VtkPolyhedron)
                fail(block, _("cell %d is a polyhedron; export the case with decomposed polyhedra "
                              "(foamToVTK -poly-decomp).", static_cast<int>(c)));
            if (!shapeOfVtk(type, s) || s != shape) continue;
            for (std::int64_t p : block.cells.cellPoints(c)) conn.push_back(static_cast<int>(p));
        }
        if (conn.empty()) continue;
        const int per = cell::nodeCount(shape);
        ShapeSet* set = geometry->addFaceSet(setNameOf(shape), shape, static_cast<int>(conn.size() / per));
        set->editConnectivity() = std::move(conn);
    }
    if (!geometry->hasCells()) fail(block, "the block holds no volume cells.");

    // Every cell face by its nodes; faces met once are free (on the domain's boundary).
    for (int s = 0; s < geometry->getNumElementSets(); ++s) {
        const ShapeSet& set = geometry->getElementSet(s);
        const auto localFaces = cell::faces(set.getShapeType());
        for (int e = 0; e < set.size(); ++e) {
            const auto nodes = set.getElement(e);
            for (std::size_t f = 0; f < localFaces.size(); ++f) {
                int fn[4];
                for (int k = 0; k < localFaces[f].count; ++k) fn[k] = nodes[std::size_t(localFaces[f].nodes[std::size_t(k)])];
                FaceRecord& r = d.faces[keyOf(std::span<const int>(fn, std::size_t(localFaces[f].count)))];
                if (r.count++ == 0) r = FaceRecord{s, e, static_cast<int>(f), 1, false};
            }
        }
    }
    d.geometry = std::move(geometry);
}

// The nodes of a cell face in the cell table's order.
std::vector<int> cellFaceNodes(const Geometry& g, const FaceRecord& r) {
    const ShapeSet& set = g.getElementSet(r.set);
    const cell::LocalFace& lf = cell::faces(set.getShapeType())[std::size_t(r.face)];
    const auto nodes = set.getElement(r.element);
    std::vector<int> out(std::size_t(lf.count));
    for (int k = 0; k < lf.count; ++k) out[std::size_t(k)] = nodes[std::size_t(lf.nodes[std::size_t(k)])];
    return out;
}

// Reverses `face` when its right-hand normal points into its cell.
void orientOutward(const Geometry& g, const FaceRecord& r, std::vector<int>& face) {
    const TripletZELVector& v = g.getVertices();
    TripletD normal(0, 0, 0), fc(0, 0, 0), cc(0, 0, 0);
    for (std::size_t i = 0; i < face.size(); ++i) {
        const TripletD a(v[std::size_t(face[i])]), b(v[std::size_t(face[(i + 1) % face.size()])]);
        normal += TripletD(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
        fc += a;
    }
    fc = fc * (1.0 / double(face.size()));
    const auto nodes = g.getElementSet(r.set).getElement(r.element);
    for (int n : nodes) cc += TripletD(v[std::size_t(n)]);
    cc = cc * (1.0 / double(nodes.size()));
    if (normal.dot(fc - cc) < 0) std::reverse(face.begin(), face.end());
}

// A boundary geometry over `faces` (domain node lists, outward ordered).
std::unique_ptr<BoundaryGeometry> makeBoundaryGeometry(const std::string& name, const DomainBuild& d,
                                                       const std::vector<std::vector<int>>& faces,
                                                       std::unordered_map<int, int>& local) {
    auto g = std::make_unique<BoundaryGeometry>();
    g->setName(name);
    g->setDomain(d.name);
    g->addParentDomain(d.name);
    auto interpolant = std::make_unique<VertexInterpolant>(d.name);
    const TripletZELVector& dv = d.geometry->getVertices();
    TripletZELVector vertices;
    std::map<int, std::vector<int>> byCount;  // node count -> connectivity
    for (const auto& face : faces) {
        std::vector<int>& conn = byCount[static_cast<int>(face.size())];
        for (int node : face) {
            auto [it, isNew] = local.try_emplace(node, static_cast<int>(vertices.size()));
            if (isNew) {
                vertices.push_back(dv[std::size_t(node)]);
                interpolant->pushVertex(node);
            }
            conn.push_back(it->second);
        }
    }
    g->setVertices(std::move(vertices));
    for (auto& [count, conn] : byCount) {
        const ShapeType shape = cell::faceTypeForCount(count);
        const std::string setName = count == 3 ? "Triangles" : count == 4 ? "Quadrilaterals" : _("Polygons %d", count);
        ShapeSet* set = g->addFaceSet(setName, shape, static_cast<int>(conn.size()) / count,
                                      shape == ShapeType::Polygon ? count : 0);
        set->editConnectivity() = std::move(conn);
    }
    g->setInterpolant(std::move(interpolant));
    return g;
}

// Grid hash of a domain's boundary nodes, for matching patch points by position.
class NodeMatcher {
public:
    NodeMatcher(const DomainBuild& d) : m_vertices(d.geometry->getVertices()) {
        m_tol = kMatchTolerance * d.size;
        m_cell = 2.0 * m_tol;
        std::set<int> nodes;
        for (const auto& [key, r] : d.faces)
            if (r.count == 1)
                for (int n : key.n)
                    if (n >= 0) nodes.insert(n);
        for (int n : nodes) {
            const TripletD p(m_vertices[std::size_t(n)]);
            if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) m_grid[cellOf(p)].push_back(n);
        }
    }
    // The boundary node at `p`, or -1.
    int find(const TripletD& p) const {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return -1;
        const auto c = cellOf(p);
        int best = -1;
        double bestD = m_tol;
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dz = -1; dz <= 1; ++dz) {
                    const auto it = m_grid.find({c[0] + dx, c[1] + dy, c[2] + dz});
                    if (it == m_grid.end()) continue;
                    for (int n : it->second) {
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
    struct CellHash {
        std::size_t operator()(const Cell& c) const {
            // Unsigned: the products wrap instead of overflowing.
            return std::size_t(std::uint64_t(c[0]) * 73856093u ^ std::uint64_t(c[1]) * 19349663u ^
                               std::uint64_t(c[2]) * 83492791u);
        }
    };
    Cell cellOf(const TripletD& p) const {
        return {static_cast<std::int64_t>(std::floor(p.x / m_cell)), static_cast<std::int64_t>(std::floor(p.y / m_cell)),
                static_cast<std::int64_t>(std::floor(p.z / m_cell))};
    }
    const TripletZELVector& m_vertices;
    double m_tol = 0, m_cell = 1;
    std::unordered_map<Cell, std::vector<int>, CellHash> m_grid;
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
    std::vector<std::string> objects;  // object names, in creation order
    std::vector<std::string> geometries;
    const std::vector<std::string>* variables = nullptr;  // variable objects made, also undone
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
    return created;
}

LoadedCase loadCase(CaseStorage& storage, const CaseData& data, const LoadOptions& options) {
    LoadedCase result;
    ObjectDB& db = *ObjectDB::instance();

    // ---- build everything aside; nothing is registered yet
    std::vector<DomainBuild> domains;
    for (const MeshBlock& block : data.blocks)
        if (block.isVolume()) {
            DomainBuild d;
            d.block = &block;
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
    std::set<std::string> taken;
    auto unique = [&](std::string name) {
        if (name.empty()) name = "Unnamed";
        std::string candidate = name;
        for (int k = 2; taken.count(candidate) != 0 || db.hasObject(candidate); ++k) candidate = _("%s %d", name, k);
        taken.insert(candidate);
        return candidate;
    };
    for (DomainBuild& d : domains) {
        d.name = unique(d.name);
        buildDomain(d);
        d.fields = fieldsOf(*d.block, options, result.warnings);
    }
    std::vector<std::pair<std::string, Geometry*>> existing;
    storage.getGeometries(existing);
    for (const auto& [name, g] : existing)
        for (const DomainBuild& d : domains)
            if (d.name == name)
                throw data::invalid(kClass, "loadCase", _("A domain '%s' is loaded already.", name), ErrError);

    std::vector<NodeMatcher> matchers;
    matchers.reserve(domains.size());
    for (const DomainBuild& d : domains) matchers.emplace_back(d);

    std::vector<BoundaryBuild> boundaries;
    std::vector<std::map<std::string, DomainField>> boundaryFields;
    std::vector<bool> hasPatches(domains.size(), false);
    for (const MeshBlock& patch : data.blocks) {
        if (patch.kind != BlockKind::Surface) continue;
        // Candidates: the volume of the patch's group (foamToVTK: "<region>/boundary/<patch>"),
        // then every domain.
        std::vector<std::size_t> order;
        const std::string group = groupOf(patch);
        for (std::size_t i = 0; i < domains.size(); ++i) {
            const std::string& g = domains[i].group;
            if (group == g || (group.size() > g.size() && group.compare(0, g.size(), g) == 0 &&
                               (g.empty() || group[g.size()] == '/')))
                order.push_back(i);
        }
        for (std::size_t i = 0; i < domains.size(); ++i)
            if (std::find(order.begin(), order.end(), i) == order.end()) order.push_back(i);
        std::size_t missing = 0, di = domains.size();
        std::vector<int> nodes;
        for (std::size_t i : order) {
            nodes = matchPoints(patch, matchers[i], missing);
            if (!nodes.empty() || patch.numPoints() == 0) {
                di = i;
                break;
            }
        }
        if (di == domains.size())
            fail(patch, _("point %d (%g, %g, %g) is not a boundary node of %s.", static_cast<int>(missing),
                          patch.points[3 * missing], patch.points[3 * missing + 1], patch.points[3 * missing + 2],
                          domains.size() == 1 ? "the domain '" + domains[0].name + "'" : std::string("any domain")));
        DomainBuild& d = domains[di];
        hasPatches[di] = true;
        BoundaryBuild b;
        b.name = unique(objectName(patch.name));
        b.type = boundaryTypeForName(patch.name);
        b.domain = di;
        std::vector<std::vector<int>> faces;
        int unmatched = 0;
        for (std::size_t c = 0; c < patch.numCells(); ++c) {
            if (vtkCellDimension(patch.cells.types[c]) != 2) continue;
            std::vector<int> face;
            for (std::int64_t p : patch.cells.cellPoints(c)) face.push_back(nodes[std::size_t(p)]);
            if (face.size() <= 4) {
                const auto it = d.faces.find(keyOf(face));
                if (it != d.faces.end() && it->second.count == 1) {
                    FaceRecord& r = it->second;
                    orientOutward(*d.geometry, r, face);
                    if (!r.claimed) b.flags.push_back({r.set, r.element, r.face});
                    r.claimed = true;
                    faces.push_back(std::move(face));
                    continue;
                }
            }
            ++unmatched;
            faces.push_back(std::move(face));
        }
        if (unmatched > 0)
            result.warnings.push_back(_("Boundary '%s': %d of its faces are not cell faces of domain '%s'; they keep "
                                        "the orientation of '%s' and set no boundary flags.",
                                        b.name, unmatched, d.name, patch.sourceFile));
        std::unordered_map<int, int> local;
        b.geometry = makeBoundaryGeometry(b.name, d, faces, local);
        // The patch's own values, on the boundary's vertices.
        std::vector<std::string> ignored;
        std::map<std::string, DomainField> patchFields = fieldsOf(patch, options, ignored);
        for (auto& [name, field] : patchFields) {
            const std::size_t n = static_cast<std::size_t>(b.geometry->getNumVertices());
            if (field.components == 1) {
                FloatZELVector values(n, UNDEFINED_VALUE);
                for (std::size_t p = 0; p < nodes.size(); ++p) values[std::size_t(local.at(nodes[p]))] = field.values[p];
                auto v = std::make_unique<ScalarVariable>();
                v->setFloatValues(std::move(values));
                v->setName(name);
                v->setDomain(d.name);
                b.geometry->addVariable(std::move(v));
            } else {
                TripletZELVector values(n, TripletF(UNDEFINED_VALUE, UNDEFINED_VALUE, UNDEFINED_VALUE));
                for (std::size_t p = 0; p < nodes.size(); ++p)
                    values[std::size_t(local.at(nodes[p]))] =
                        TripletF(field.values[3 * p], field.values[3 * p + 1], field.values[3 * p + 2]);
                auto v = std::make_unique<VectorVariable>();
                v->setTripletValues(std::move(values));
                v->setName(name);
                v->setDomain(d.name);
                b.geometry->addVariable(std::move(v));
            }
        }
        boundaryFields.push_back(std::move(patchFields));
        boundaries.push_back(std::move(b));
    }

    // Free faces no patch covers: the whole boundary of a lone volume, else a default one.
    for (std::size_t di = 0; di < domains.size(); ++di) {
        DomainBuild& d = domains[di];
        BoundaryBuild b;
        b.domain = di;
        std::vector<std::vector<int>> faces;
        for (auto& [key, r] : d.faces) {
            if (r.count != 1 || r.claimed) continue;
            std::vector<int> face = cellFaceNodes(*d.geometry, r);
            orientOutward(*d.geometry, r, face);
            b.flags.push_back({r.set, r.element, r.face});
            faces.push_back(std::move(face));
        }
        if (faces.empty()) continue;
        // Deterministic order whatever the hash map's.
        std::vector<std::size_t> idx(faces.size());
        for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = i;
        std::sort(idx.begin(), idx.end(), [&](std::size_t a, std::size_t c) {
            const auto& fa = b.flags[a];
            const auto& fc = b.flags[c];
            return std::tie(fa.set, fa.element, fa.face) < std::tie(fc.set, fc.element, fc.face);
        });
        std::vector<std::vector<int>> sortedFaces;
        std::vector<BoundaryBuild::Flag> sortedFlags;
        for (std::size_t i : idx) {
            sortedFaces.push_back(std::move(faces[i]));
            sortedFlags.push_back(b.flags[i]);
        }
        b.flags = std::move(sortedFlags);
        const std::string base = hasPatches[di] ? "Default Boundary" : "Boundary";
        b.name = unique(domains.size() == 1 ? base : d.name + " " + base);
        b.type = hasPatches[di] ? "SYMMETRY" : "WALL";
        std::unordered_map<int, int> local;
        b.geometry = makeBoundaryGeometry(b.name, d, sortedFaces, local);
        boundaries.push_back(std::move(b));
    }

    // Boundary flags on the domain geometries, while they are still ours.
    for (DomainBuild& d : domains) d.geometry->initialiseBoundaryFlags();
    for (const BoundaryBuild& b : boundaries)
        for (const auto& f : b.flags)
            domains[b.domain].geometry->setBoundaryFlag(unsigned(f.set), unsigned(f.element), unsigned(f.face), b.name);

    // ---- commit; any failure from here on undoes what was added
    Rollback rollback{storage, {}, {}, &result.variables};
    for (DomainBuild& d : domains) {
        storage.setGeometry(d.geometry.get());  // the registry owns it once this returns
        d.geometry.release();
        rollback.geometries.push_back(d.name);
        storage.setDomainFields(d.name, std::move(d.fields));
        db.addObject(ObjectFactory::instance()->createObject("DOMAIN", d.name));
        rollback.objects.push_back(d.name);
        result.domains.push_back(d.name);
    }
    for (BoundaryBuild& b : boundaries) {
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
    for (const auto& fields : boundaryFields) declare(fields);
    for (const std::string& name : declareDerivedVariables()) result.variables.push_back(name);

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
    rollback.armed = false;

    for (const std::string& w : result.warnings)
        ErrorProgressReporter::instance()->reportError(ErrorMsg(kClass, "loadCase", w, ErrWarning));
    return result;
}

} // namespace zel::host
