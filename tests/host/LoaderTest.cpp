// Loading cases into the library: domains, boundaries from patches or free faces, boundary
// flags, outward orientation, variables from the name table, derived boundary quantities,
// and the all-or-nothing rule.
#include "tests/host/HostTestSupport.h"

#include "framework/core/Error.h"
#include "framework/core/Undefined.h"
#include "host/CaseLoader.h"
#include "host/NameTable.h"

#include <cmath>

namespace zel::host::test {
namespace {

// A patch over the face x = `x` of the cube case (n by n quads), with its own points in an
// order unlike the volume's; `inward` gives its faces the inward orientation.
MeshBlock facePatch(const std::string& name, int n, float x, bool inward, const char* array = nullptr,
                    float value = 0.0f) {
    MeshBlock b;
    b.name = name;
    b.path = "boundary/" + name;
    b.sourceFile = name + ".vtp";
    std::vector<float> pts, data;
    // Points numbered z-major, reversed: a different order from the volume.
    for (int k = n; k >= 0; --k)
        for (int j = n; j >= 0; --j) {
            pts.insert(pts.end(), {x, float(j) / float(n), float(k) / float(n)});
            data.push_back(value);
        }
    auto id = [&](int j, int k) { return (n - j) + (n + 1) * (n - k); };
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j) {
            b.cells.types.push_back(VtkQuad);
            // (j,k) (j+1,k) (j+1,k+1) (j,k+1) has its normal along +x.
            std::vector<int> q{id(j, k), id(j + 1, k), id(j + 1, k + 1), id(j, k + 1)};
            if (inward != (x < 0.5f)) std::reverse(q.begin(), q.end());
            for (int v : q) b.cells.connectivity.push_back(v);
            b.cells.offsets.push_back(std::int64_t(b.cells.connectivity.size()));
        }
    b.points = RealArray(pts);
    if (array != nullptr) b.pointData.push_back({array, 1, RealArray(data)});
    validateBlock(b);
    return b;
}

// Σ area vector and Σ a·x over a geometry's vertices: 0 and 3·volume for a closed surface
// with outward normals.
void expectClosedOutward(Geometry& g, double volume) {
    const TripletZELVector& a = g.getVertexAreaVectors();
    const TripletZELVector& v = g.getVertices();
    TripletD sum(0, 0, 0);
    double flux = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += TripletD(a[i]);
        flux += TripletD(a[i]).dot(TripletD(v[i]));
    }
    EXPECT_NEAR(sum.length(), 0.0, 1e-5);
    EXPECT_NEAR(flux, 3.0 * volume, 1e-5);
}

int flaggedFaces(const DomainGeometryBase& d) {
    int n = 0;
    for (int s = 0; s < d.getNumElementSets(); ++s)
        for (int e = 0; e < d.getElementSet(s).size(); ++e) {
            const unsigned char flags = static_cast<unsigned char>(d.getBoundaryFlags(unsigned(s), unsigned(e)));
            for (int f = 0; f < 8; ++f) n += (flags >> f) & 1;
        }
    return n;
}

TEST_F(HostTest, VolumeAloneHasOneOutwardBoundaryOfItsFreeFaces) {
    const LoadedCase c = host->loadCase(cubeCase(2), {});
    ASSERT_EQ(c.domains, std::vector<std::string>{"cube"});
    ASSERT_EQ(c.boundaries, std::vector<std::string>{"Boundary"});
    DomainGeometryBase* d = domain("cube");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(flaggedFaces(*d), 24);
    EXPECT_EQ(d->getBoundaries().size(), 1u);
    EXPECT_EQ(d->getBoundaries()[0].second, DomainGeometryBase::BoundaryWall);

    Geometry* b = boundaryGeometry("Boundary");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->getNumVertices(), 26); // the cube's surface nodes
    ASSERT_NE(b->getVariable("Area"), nullptr);
    double area = 0;
    for (float w : b->getVertexAreas()) area += w;
    EXPECT_NEAR(area, 6.0, 1e-5);
    expectClosedOutward(*b, 1.0);
    // Every vertex sits on its domain node.
    auto* vi = dynamic_cast<const VertexInterpolant*>(b->getInterpolant());
    ASSERT_NE(vi, nullptr);
    for (int i = 0; i < b->getNumVertices(); ++i)
        EXPECT_EQ(b->getVertices()[std::size_t(i)], d->getVertices()[std::size_t(vi->getInternalData(std::size_t(i)))]);

    // A uniform flow through a closed surface: no net mass flow, and none through any vertex
    // other than by the area vector.
    host->runSession("> calculate massFlow, Boundary\n> calculate areaAve, Pressure, Boundary\n", "test");
    EXPECT_NEAR(result("massFlow, Boundary"), 0.0, 1e-5);
    // p = 1 + 2x + 3y - z over the cube's surface: mean 1 + 1 + 1.5 - 0.5.
    EXPECT_NEAR(result("areaAve, Pressure, Boundary"), 3.0, 1e-5);
    EXPECT_EQ(host->errorCount(), 0u) << reports();
}

TEST_F(HostTest, VariablesFollowTheNameTableAndCellDataIsAveragedToVertices) {
    host->loadCase(cubeCase(2), withDensity(1000.0));
    for (const char* v : {"Pressure", "Velocity", "Velocity X", "Velocity Y", "Velocity Z", "c", "X", "Density",
                          "Mass Flow", "Force", "Force Y"})
        EXPECT_TRUE(ObjectDB::instance()->hasObject(v)) << v;
    auto at = [&](const char* name, std::size_t vertex) {
        Variable* v = host->storage().getVariable(name, "cube");
        return v != nullptr ? (*v->getFloatValues())[vertex] : NAN;
    };
    EXPECT_FLOAT_EQ(at("Pressure", 26), 1000.0f * 5.0f); // kinematic pressure times ρ: vertex 26 is (1, 1, 1)
    EXPECT_FLOAT_EQ(at("c", 0), 0.0f);                   // a corner: cell 0 alone
    EXPECT_FLOAT_EQ(at("c", 13), 3.5f);                  // the centre: all eight cells
    EXPECT_FLOAT_EQ(at("c", 1), 0.5f);                   // an edge midpoint: cells 0 and 1
    EXPECT_FLOAT_EQ(at("Velocity X", 5), 1.0f);
    EXPECT_FLOAT_EQ(at("X", 2), 1.0f);
    EXPECT_FLOAT_EQ(at("Density", 0), 1000.0f);

    EXPECT_EQ(mapArrayName("alpha.water").name, "water.Volume Fraction");
    EXPECT_EQ(mapArrayName("alpha.water").phase, "water");
    EXPECT_EQ(mapArrayName("wallShearStress").name, "Wall Shear");
    EXPECT_TRUE(mapArrayName("wallShearStress").kinematic);
    EXPECT_FALSE(mapArrayName("U").kinematic);
    EXPECT_EQ(mapArrayName("a/b:c").name, "a_b_c");
    EXPECT_EQ(dimensionsText({1, -1, -2, 0}), "1, -1, -2, 0, 0, 0, 0, 0, 0, 0");
}

TEST_F(HostTest, PatchesBecomeOutwardBoundariesWithFlagsTypesAndTheirOwnValues) {
    CaseData data = cubeCase(2);
    data.blocks.push_back(facePatch("velocity-inlet", 2, 0.0f, true, "p", 7.0f));
    data.blocks.push_back(facePatch("outlet", 2, 1.0f, true));
    const LoadedCase c = host->loadCase(data, {});
    EXPECT_EQ(c.boundaries, (std::vector<std::string>{"velocity-inlet", "outlet", "Default Boundary"}));
    DomainGeometryBase* d = domain("cube");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(flaggedFaces(*d), 24);
    ASSERT_EQ(d->getBoundaries().size(), 3u);
    EXPECT_EQ(d->getBoundaries()[0].second, DomainGeometryBase::BoundaryInlet);
    EXPECT_EQ(d->getBoundaries()[1].second, DomainGeometryBase::BoundaryOutlet);
    EXPECT_EQ(d->getBoundaries()[2].second, DomainGeometryBase::BoundarySymmetry);

    // Faces given inward were turned outward: the inlet's normals point to -x.
    Geometry* in = boundaryGeometry("velocity-inlet");
    ASSERT_NE(in, nullptr);
    for (const TripletF& a : in->getVertexAreaVectors()) EXPECT_LE(a.x, 0.0f);
    host->runSession("> calculate massFlow, velocity-inlet\n"
                     "> calculate massFlow, outlet\n"
                     "> calculate massFlow, Default Boundary\n"
                     "> calculate areaAve, Pressure, velocity-inlet\n"
                     "> calculate areaAve, Pressure, outlet\n",
                     "test");
    EXPECT_NEAR(result("massFlow, velocity-inlet"), -1.0, 1e-5);
    EXPECT_NEAR(result("massFlow, outlet"), 1.0, 1e-5);
    EXPECT_NEAR(result("massFlow, Default Boundary"), 0.0, 1e-5);
    // The inlet carries its own pressure; the outlet takes the volume's: 1 + 2 + 1.5 - 0.5.
    EXPECT_NEAR(result("areaAve, Pressure, velocity-inlet"), 7.0, 1e-5);
    EXPECT_NEAR(result("areaAve, Pressure, outlet"), 4.0, 1e-5);

    // A session sets a boundary's type.
    host->runSession("BOUNDARY: outlet\n  Boundary Type = OPENING\nEND\n", "test");
    EXPECT_EQ(d->getBoundaries()[1].second, DomainGeometryBase::BoundaryOpening);
    EXPECT_EQ(host->errorCount(), 0u) << reports();
}

TEST_F(HostTest, WallForceIsPressurePlusShearAndMomentumFlowAddsTheFlux) {
    CaseData data = cubeCase(2);
    // The wall y = 0 as a patch: the cube's x-face patch turned about z.
    MeshBlock wall = facePatch("wall", 2, 0.0f, false);
    std::vector<float>& pts = wall.points.f32Storage();
    for (std::size_t i = 0; i < pts.size(); i += 3) std::swap(pts[i], pts[i + 1]);
    std::vector<float> tau;
    for (std::size_t i = 0; i < wall.numPoints(); ++i) tau.insert(tau.end(), {0.5f, 0.0f, 0.25f});
    wall.pointData.push_back({"wallShearStress", 3, RealArray(tau)});
    validateBlock(wall);
    data.blocks.push_back(std::move(wall));
    host->loadCase(data, withDensity(2.0));
    host->runSession("> calculate force, wall, X\n> calculate force, wall, Y\n> calculate force, wall, Z\n", "test");
    // ∫p dA over y = 0 with p = 2 (1 + 2x - z): 3, pushing the wall to -y; the shear is the
    // file's wall-on-fluid stress turned around, times the density: -2 (0.5, 0, 0.25).
    EXPECT_NEAR(result("force, wall, X"), -1.0, 1e-5);
    EXPECT_NEAR(result("force, wall, Y"), -3.0, 1e-5);
    EXPECT_NEAR(result("force, wall, Z"), -0.5, 1e-5);

    Geometry* g = boundaryGeometry("wall");
    ASSERT_NE(g, nullptr);
    auto* force = dynamic_cast<VectorVariable*>(g->getVariable("Force"));
    auto* momentum = dynamic_cast<VectorVariable*>(g->getVariable("momentum flow"));
    ASSERT_NE(force, nullptr);
    ASSERT_NE(momentum, nullptr);
    // U = (1, 0, 0) is tangential to the wall: no flux, so momentum flow = force.
    for (std::size_t i = 0; i < force->getTripletValues()->size(); ++i)
        EXPECT_EQ((*force->getTripletValues())[i], (*momentum->getTripletValues())[i]);
    auto* fy = g->getVariable("Force Y");
    ASSERT_NE(fy, nullptr);
    double sum = 0;
    for (float v : *fy->getFloatValues()) sum += v;
    EXPECT_NEAR(sum, -3.0, 1e-5);
    EXPECT_EQ(host->errorCount(), 0u) << reports();
}

TEST_F(HostTest, AFaultyCaseLoadsNothing) {
    // A patch point that is no boundary node (the cube's centre).
    CaseData data = cubeCase(2);
    MeshBlock bad = facePatch("inlet", 2, 0.0f, false);
    std::fill_n(bad.points.f32Storage().begin(), 3, 0.5f);
    data.blocks.push_back(std::move(bad));
    try {
        host->loadCase(data, {});
        ADD_FAILURE() << "no error";
    } catch (const data::invalid& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("inlet.vtp"), std::string::npos) << what;
        EXPECT_NE(what.find("point 0 (0.5, 0.5, 0.5) is not a boundary node of the domain 'cube'"), std::string::npos)
            << what;
    }
    EXPECT_EQ(host->storage().getNumGeoms(), 0);
    EXPECT_EQ(ObjectDB::instance()->getTopObjects().size(), 1u); // the CALCULATOR

    // No volume at all.
    CaseData surfaceOnly;
    surfaceOnly.sourceFile = "patch.vtp";
    surfaceOnly.blocks.push_back(facePatch("p", 1, 0.0f, false));
    EXPECT_THROW(host->loadCase(surfaceOnly, {}), data::invalid);

    // A faulty second case leaves the first as it was; a good one gets names of its own.
    host->loadCase(cubeCase(1), {});
    const std::size_t objects = ObjectDB::instance()->getAllObjects().size();
    EXPECT_THROW(host->loadCase(data, {}), data::invalid);
    EXPECT_EQ(host->storage().getNumGeoms(), 1);
    EXPECT_EQ(ObjectDB::instance()->getAllObjects().size(), objects);
    EXPECT_EQ(domain("cube")->getElementSet(0).size(), 1);
    const LoadedCase second = host->loadCase(cubeCase(2), {});
    EXPECT_EQ(second.domains, std::vector<std::string>{"cube 2"});
    EXPECT_EQ(second.boundaries, std::vector<std::string>{"Boundary 2"});
    EXPECT_EQ(host->storage().getNumGeoms(), 2);
}

TEST_F(HostTest, BoundaryTypesFromPatchNames) {
    EXPECT_EQ(boundaryTypeForName("velocity-inlet-5"), "INLET");
    EXPECT_EQ(boundaryTypeForName("pressure-outlet-7"), "OUTLET");
    EXPECT_EQ(boundaryTypeForName("wall-4"), "WALL");
    EXPECT_EQ(boundaryTypeForName("frontAndBack"), "SYMMETRY");
    EXPECT_EQ(boundaryTypeForName("symmetryPlane"), "SYMMETRY");
    EXPECT_EQ(boundaryTypeForName("cyclic_half0"), "PERIODIC");
    EXPECT_EQ(boundaryTypeForName("Opening"), "OPENING");
    EXPECT_EQ(boundaryTypeForName("hull"), "WALL");
}

TEST_F(HostTest, VolumeFractionsMakePhasesWhoseMassFlowsAddUp) {
    CaseData data = cubeCase(2);
    MeshBlock& b = data.blocks[0];
    b.pointData.push_back({"alpha.water", 1, RealArray(std::vector<float>(b.numPoints(), 0.25f))});
    b.pointData.push_back({"alpha.air", 1, RealArray(std::vector<float>(b.numPoints(), 0.75f))});
    data.blocks.push_back(facePatch("outlet", 2, 1.0f, false));
    host->loadCase(data, {});
    EXPECT_EQ(host->storage().getAllPhases(), (std::vector<std::string>{"air", "water"}));
    EXPECT_TRUE(ObjectDB::instance()->hasObject("water.Volume Fraction"));
    host->runSession("> calculate massFlow, outlet, water\n"
                     "> calculate massFlow, outlet, air\n"
                     "> calculate massFlow, outlet\n"
                     "PLANE: Cut\n  Option = YZ Plane\n  X = 0.3 [m]\nEND\n"
                     "> calculate massFlow, Cut, water\n",
                     "test");
    EXPECT_NEAR(result("massFlow, outlet, water"), 0.25, 1e-5);
    EXPECT_NEAR(result("massFlow, outlet, air"), 0.75, 1e-5);
    EXPECT_NEAR(result("massFlow, outlet"), 1.0, 1e-5);
    EXPECT_NEAR(result("massFlow, Cut, water"), 0.25, 1e-5);
    EXPECT_EQ(host->errorCount(), 0u) << reports();
}

} // namespace
} // namespace zel::host::test
