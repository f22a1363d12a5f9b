// The flat boundary build of the loader against brute-force twins: free faces of a shuffled
// mixed mesh with non-conforming and repeated cells, the owner of every boundary face, and a
// patch's cell values per face.
#include "tests/host/HostTestSupport.h"

#include "framework/geometry/CellTopology.h"
#include "framework/geometry/Interpolant.h"
#include "host/BoundaryGeometry.h"
#include "host/CaseLoader.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <set>

namespace zel::host::test {
namespace {

// A mesh of n^3 hexahedra of the unit cube whose cells are hexahedra, two wedges or six
// tetrahedra at random (so quads meet triangles: non-conforming faces that stay free), plus
// twelve copies of one hexahedron (a face of 13 cells, more than the small-bucket path takes)
// and a pair of identical tetrahedra. Node numbers and cell order are shuffled.
CaseData mixedCase(int n, unsigned seed) {
    std::mt19937 rng(seed);
    const int np = (n + 1) * (n + 1) * (n + 1);
    std::vector<int> perm(static_cast<std::size_t>(np));
    std::iota(perm.begin(), perm.end(), 0);
    std::shuffle(perm.begin(), perm.end(), rng);
    auto id = [&](int i, int j, int k) { return perm[std::size_t(i + (n + 1) * (j + (n + 1) * k))]; };
    std::vector<float> pts(static_cast<std::size_t>(np) * 3);
    for (int k = 0; k <= n; ++k)
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const std::size_t p = std::size_t(id(i, j, k));
                pts[3 * p] = float(i) / float(n);
                pts[3 * p + 1] = float(j) / float(n);
                pts[3 * p + 2] = float(k) / float(n);
            }
    std::vector<std::pair<int, std::vector<int>>> cells;
    std::uniform_int_distribution<int> kind(0, 2);
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int h[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                  id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                switch (kind(rng)) {
                case 0: cells.push_back({VtkHexahedron, std::vector<int>(h, h + 8)}); break;
                case 1:
                    cells.push_back({VtkWedge, {h[0], h[1], h[2], h[4], h[5], h[6]}});
                    cells.push_back({VtkWedge, {h[0], h[2], h[3], h[4], h[6], h[7]}});
                    break;
                default:
                    static const int tets[6][4] = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                                                   {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};
                    for (const auto& t : tets) cells.push_back({VtkTetra, {h[t[0]], h[t[1]], h[t[2]], h[t[3]]}});
                }
            }
    for (int copy = 0; copy < 12; ++copy) cells.push_back(cells.front());
    const std::vector<int> tet{id(0, 0, 0), id(1, 0, 0), id(0, 1, 0), id(0, 0, 1)};
    cells.push_back({VtkTetra, tet});
    cells.push_back({VtkTetra, tet});
    std::shuffle(cells.begin(), cells.end(), rng);

    CaseData data;
    data.sourceFile = "mixed.vtu";
    MeshBlock b;
    b.name = b.path = "mixed";
    b.sourceFile = "mixed.vtu";
    b.points = RealArray(pts);
    for (const auto& [type, nodes] : cells) {
        b.cells.types.push_back(std::uint8_t(type));
        for (int v : nodes) b.cells.connectivity.push_back(v);
        b.cells.offsets.push_back(std::int64_t(b.cells.connectivity.size()));
    }
    validateBlock(b);
    data.blocks.push_back(std::move(b));
    return data;
}

std::vector<int> sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Nodes of a cell face of a domain, by global element id and local face.
std::vector<int> cellFace(const Geometry& d, std::int64_t cellId, int face) {
    const Geometry::CellRef ref = d.getElement(cellId);
    const ShapeSet& set = d.getElementSet(ref.set);
    const cell::LocalFace& lf = cell::faces(set.getShapeType())[std::size_t(face)];
    std::vector<int> out;
    for (int k = 0; k < lf.count; ++k)
        out.push_back(set.getElement(ref.element)[std::size_t(lf.nodes[std::size_t(k)])]);
    return out;
}

TEST_F(HostTest, FreeFacesAndTheirOwnersMatchABruteForceTwin) {
    for (unsigned seed : {1u, 2u, 3u}) {
        restartHost();
        host->loadCase(mixedCase(4, seed), {});
        DomainGeometryBase* d = domain("mixed");
        ASSERT_NE(d, nullptr);
        // Twin: every cell face by its sorted nodes; faces of exactly one cell are free.
        std::map<std::vector<int>, std::vector<std::pair<std::int64_t, int>>> byNodes;
        d->forEachCell([&](std::int64_t id, const ShapeSet& set, int, std::span<const int>) {
            for (std::size_t f = 0; f < cell::faces(set.getShapeType()).size(); ++f)
                byNodes[sorted(cellFace(*d, id, int(f)))].push_back({id, int(f)});
        });
        std::set<std::pair<std::int64_t, int>> expected;
        for (const auto& [nodes, users] : byNodes)
            if (users.size() == 1) expected.insert(users.front());

        auto* b = dynamic_cast<BoundaryGeometry*>(boundaryGeometry("Boundary"));
        ASSERT_NE(b, nullptr);
        const auto owners = b->getFaceOwners();
        ASSERT_EQ(std::int64_t(owners.size()), b->getNumElements());
        std::set<std::pair<std::int64_t, int>> found;
        const auto* vi = dynamic_cast<const VertexInterpolant*>(b->getInterpolant());
        ASSERT_NE(vi, nullptr);
        const TripletZELVector& v = d->getVertices();
        for (std::int64_t i = 0; i < b->getNumElements(); ++i) {
            const BoundaryFaceOwner& o = owners[std::size_t(i)];
            found.insert({o.cell, o.face});
            // The face is its owner's cell face, turned away from the cell.
            const Geometry::CellRef ref = b->getElement(i);
            std::vector<int> nodes;
            for (int local : b->getElementSet(ref.set).getElement(ref.element))
                nodes.push_back(vi->getInternalData(std::size_t(local)));
            ASSERT_EQ(sorted(nodes), sorted(cellFace(*d, o.cell, o.face))) << "face " << i;
            TripletD normal(0, 0, 0), fc(0, 0, 0), cc(0, 0, 0);
            for (std::size_t k = 0; k < nodes.size(); ++k) {
                const TripletD a(v[std::size_t(nodes[k])]), c(v[std::size_t(nodes[(k + 1) % nodes.size()])]);
                normal += a.cross(c);
                fc += a * (1.0 / double(nodes.size()));
            }
            const Geometry::CellRef cellRef = d->getElement(o.cell);
            const auto cellNodes = d->getElementSet(cellRef.set).getElement(cellRef.element);
            for (int c : cellNodes) cc += TripletD(v[std::size_t(c)]) * (1.0 / double(cellNodes.size()));
            EXPECT_GT(normal.dot(fc - cc), 0.0) << "face " << i;
        }
        EXPECT_EQ(found, expected) << "seed " << seed;
        // Every free face is flagged on its cell, and nothing else is.
        std::size_t flagged = 0;
        for (int s = 0; s < d->getNumElementSets(); ++s)
            for (int e = 0; e < d->getElementSet(s).size(); ++e)
                for (int f = 0; f < 8; ++f)
                    if ((static_cast<unsigned char>(d->getBoundaryFlags(unsigned(s), unsigned(e))) >> f) & 1u) {
                        ++flagged;
                        EXPECT_EQ(expected.count({d->getElementOffsets()[std::size_t(s)] + e, f}), 1u);
                    }
        EXPECT_EQ(flagged, expected.size());
    }
}

// The x = 1 side of cubeCase(n) as a patch with its own point numbers (reversed), an unused
// point, cell values T = y + 10 z of each face's centre, and one extra quad over four cell
// faces, which is no cell face.
MeshBlock sidePatch(int n) {
    MeshBlock b;
    b.name = "hot-wall";
    b.path = "boundary/hot-wall";
    b.sourceFile = "hot-wall.vtp";
    std::vector<float> pts;
    auto id = [&](int j, int k) { return (n + 1) * (n + 1) - 1 - (j + (n + 1) * k); };
    pts.resize(std::size_t((n + 1) * (n + 1) + 1) * 3);
    for (int k = 0; k <= n; ++k)
        for (int j = 0; j <= n; ++j) {
            const std::size_t p = std::size_t(id(j, k));
            pts[3 * p] = 1.0f;
            pts[3 * p + 1] = float(j) / float(n);
            pts[3 * p + 2] = float(k) / float(n);
        }
    pts[pts.size() - 3] = 1.0f; // the unused point: a boundary node that no face of the patch uses
    std::vector<float> t;
    auto quad = [&](int j0, int k0, int j1, int k1) {
        b.cells.types.push_back(VtkQuad);
        for (int q : {id(j0, k0), id(j1, k0), id(j1, k1), id(j0, k1)}) b.cells.connectivity.push_back(q);
        b.cells.offsets.push_back(std::int64_t(b.cells.connectivity.size()));
        t.push_back(0.5f * float(j0 + j1) / float(n) + 10.0f * 0.5f * float(k0 + k1) / float(n));
    };
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j) quad(j, k, j + 1, k + 1);
    quad(0, 0, 2, 2);
    b.points = RealArray(pts);
    b.cellData.push_back({"T", 1, RealArray(t)});
    validateBlock(b);
    return b;
}

TEST_F(HostTest, PatchFacesKeepTheirOwnerCellsAndCellValues) {
    const int n = 3;
    CaseData data = cubeCase(n);
    data.blocks.push_back(sidePatch(n));
    host->loadCase(std::move(data), {});
    DomainGeometryBase* d = domain("cube");
    ASSERT_NE(d, nullptr);
    auto* b = dynamic_cast<BoundaryGeometry*>(boundaryGeometry("hot-wall"));
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->getNumElements(), n * n + 1);
    const auto owners = b->getFaceOwners();
    ASSERT_EQ(owners.size(), std::size_t(n * n + 1));
    const auto fields = b->getFaceFields();
    ASSERT_EQ(fields.count("Temperature"), 1u);
    const DomainField& temperature = fields.at("Temperature");
    ASSERT_EQ(temperature.values.size(), owners.size());
    int unowned = 0;
    for (std::size_t i = 0; i < owners.size(); ++i) {
        // The face's value is the patch's value of that face: y + 10 z of its centre.
        const Geometry::CellRef ref = b->getElement(std::int64_t(i));
        TripletD centre(0, 0, 0);
        for (int local : b->getElementSet(ref.set).getElement(ref.element))
            centre += TripletD(b->getVertices()[std::size_t(local)]) * 0.25;
        EXPECT_NEAR(temperature.values[i], centre.y + 10.0 * centre.z, 1e-5) << "face " << i;
        if (owners[i].cell < 0) {
            ++unowned;
            continue;
        }
        // The owner is the cell of the last layer under the face, and its +x face (1).
        EXPECT_EQ(owners[i].face, 1);
        const Geometry::CellRef cell = d->getElement(owners[i].cell);
        const int ci = cell.element % n, cj = (cell.element / n) % n, ck = cell.element / (n * n);
        EXPECT_EQ(ci, n - 1);
        EXPECT_NEAR(centre.y, (cj + 0.5) / n, 1e-6);
        EXPECT_NEAR(centre.z, (ck + 0.5) / n, 1e-6);
    }
    EXPECT_EQ(unowned, 1);
    // The unused patch point is no vertex of the boundary; the free faces no patch covers
    // form the default boundary, whose faces have no patch values.
    EXPECT_EQ(b->getNumVertices(), (n + 1) * (n + 1));
    auto* rest = dynamic_cast<BoundaryGeometry*>(boundaryGeometry("Default Boundary"));
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(rest->getNumElements(), 5 * n * n);
    EXPECT_TRUE(rest->getFaceFields().empty());
    // A copy of the mesh keeps both.
    const std::unique_ptr<Geometry> copy = b->clone(true, false);
    auto* copied = dynamic_cast<BoundaryGeometry*>(copy.get());
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->getFaceOwners().size(), owners.size());
    EXPECT_EQ(copied->getFaceFields().count("Temperature"), 1u);
}

TEST_F(HostTest, LoadPhasesAreTimedAndAConsumedCaseLoadsAsACopiedOne) {
    std::vector<std::string> phases;
    LoadOptions options;
    options.timing = [&](const char* phase, double seconds) {
        phases.emplace_back(phase);
        EXPECT_GE(seconds, 0.0);
    };
    CaseData data = cubeCase(2);
    const LoadedCase copied = host->loadCase(data, options);
    EXPECT_EQ(phases, (std::vector<std::string>{"domain build", "fields", "boundary build", "register"}));
    const std::vector<float> area(boundaryGeometry("Boundary")->getVertexAreas().begin(),
                                  boundaryGeometry("Boundary")->getVertexAreas().end());

    restartHost();
    const LoadedCase consumed = loadCase(host->storage(), std::move(data), {});
    EXPECT_EQ(consumed.variables, copied.variables);
    EXPECT_TRUE(data.blocks.front().cells.connectivity.empty()); // dropped once copied
    EXPECT_EQ(data.blocks.front().pointData.front().name, "p");  // names stay
    const FloatZELVector& again = boundaryGeometry("Boundary")->getVertexAreas();
    EXPECT_TRUE(std::equal(area.begin(), area.end(), again.begin(), again.end()));
    Variable* p = host->storage().getVariable("Pressure", "cube");
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ((*p->getFloatValues())[26], 5.0f);
}

} // namespace
} // namespace zel::host::test
