// Variables, interpolants (every kind, unlocated vertices, domain look-up through the
// geometry directory) and the visitors' sums.
#include "GeometryTestSupport.h"
#include "framework/core/Error.h"
#include "framework/geometry/Visitor.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(Variable, ValueSetsAndTypes) {
    EXPECT_EQ(Variable::getVarType("Hybrid"), VarTypeHybrid);
    EXPECT_EQ(Variable::getVarType("Expression"), VarTypeExpression);
    EXPECT_EQ(Variable::getVarType("Local"), VarTypeLocal);
    EXPECT_EQ(Variable::getVarType("hybrid"), VarTypeVertex); // names are exact
    EXPECT_EQ(Variable::getVarType(""), VarTypeVertex);

    const float raw[] = {1, 2, 3};
    ScalarVariable s(raw, 3, VarTypeLocal);
    EXPECT_EQ(s.getGlobalType(), VarTypeLocal);
    EXPECT_EQ(s.getSize(), 3u); // 5 selects the global type
    EXPECT_EQ(s.getSize(VarTypeHybrid), 0u);
    EXPECT_EQ(s.getFloatValues(VarTypeHybrid), nullptr);
    EXPECT_EQ(s.getTripletValues(), nullptr);
    s.resize(5, VarTypeHybrid);
    EXPECT_TRUE(s.hasValues(VarTypeHybrid));
    EXPECT_EQ((*s.getFloatValues(VarTypeHybrid))[4], 0.0f);
    EXPECT_THROW(ScalarVariable(nullptr, 2), internal::nullPointer);

    // Stored under 3 while created as a per-vertex variable: read back with 5 once the
    // global type says 3.
    VectorVariable v(VarTypeVertex);
    v.setName("Force");
    v.setDomain("D");
    v.setTimestep(7);
    v.setGlobalType(VarTypeLocal);
    v.values(VarTypeLocal) = TripletZELVector{{1, 2, 3}, TripletF::undefined()};
    v.values(VarTypeHybrid) = TripletZELVector{{4, 5, 6}};
    ASSERT_NE(v.getTripletValues(), nullptr);
    EXPECT_EQ(v.getSize(), 2u);
    EXPECT_EQ(v.getFloatValues(), nullptr);

    ScalarVariable y(v, 1);
    EXPECT_EQ(y.getName(), "Force Y");
    EXPECT_EQ(y.getDomain(), "D");
    EXPECT_EQ(y.getTimestep(), 7);
    EXPECT_EQ(y.getGlobalType(), VarTypeLocal);
    EXPECT_EQ((*y.getFloatValues())[0], 2.0f);
    EXPECT_EQ((*y.getFloatValues())[1], UNDEFINED_VALUE);
    EXPECT_EQ((*y.getFloatValues(VarTypeHybrid))[0], 5.0f);
    EXPECT_THROW(ScalarVariable(v, 3), internal::badParam);

    auto copy = v.clone("Force 2");
    v.values(VarTypeLocal)[0] = TripletF(9, 9, 9);
    EXPECT_EQ(copy->getName(), "Force 2");
    EXPECT_EQ(copy->getDomain(), "D");
    EXPECT_EQ((*copy->getTripletValues())[0], TripletF(1, 2, 3)); // deep copy
}

// The geometry directory of the tests: domain geometries by name.
class TestDirectory : public GeometryInfo {
public:
    std::vector<Geometry*> getGeometries(bool) const override { return domains; }
    std::vector<Geometry*> domains;
};

class InterpolationTest : public ::testing::Test {
protected:
    void SetUp() override {
        Geometry::setGeometryInfo(&directory);
        for (int d = 0; d < 2; ++d) {
            auto g = std::make_unique<Geometry>();
            g->setName(d == 0 ? "D1" : "D2");
            g->setVertices(TripletZELVector(6, TripletF(0, 0, 0)));
            domains.push_back(std::move(g));
            directory.domains.push_back(domains.back().get());
        }
        // Pressure = 10 * node (+ 100 in D2); velocity only in D1, undefined at node 4.
        for (int d = 0; d < 2; ++d) {
            FloatZELVector p;
            for (int i = 0; i < 6; ++i) p.push_back(float(10 * i + 100 * d));
            test::addScalar(*domains[std::size_t(d)], "Pressure", p);
        }
        auto v = std::make_unique<VectorVariable>();
        v->setName("Velocity");
        for (int i = 0; i < 6; ++i) v->values().push_back(i == 4 ? TripletF::undefined() : TripletF(float(i), 1, 0));
        domains[0]->addVariable(std::move(v));
    }
    void TearDown() override { Geometry::setGeometryInfo(nullptr); }

    // A location of n vertices (positions do not matter) with the given interpolant.
    static std::unique_ptr<Geometry> location(int n, std::unique_ptr<Interpolant> interpolant) {
        auto g = std::make_unique<Geometry>();
        g->setName("Location");
        g->setDomain("D1");
        g->setVertices(TripletZELVector(std::size_t(n), TripletF(0, 0, 0)));
        g->setInterpolant(std::move(interpolant));
        return g;
    }

    static const FloatZELVector& scalars(Geometry& g, const std::string& name) {
        Variable* v = g.getVariable(name);
        EXPECT_NE(v, nullptr);
        return *v->getFloatValues();
    }

    TestDirectory directory;
    std::vector<std::unique_ptr<Geometry>> domains;
};

TEST_F(InterpolationTest, VertexInterpolant) {
    auto vi = std::make_unique<VertexInterpolant>("D1");
    for (int n : {2, 0, 9}) vi->pushVertex(n); // node 9 does not exist
    EXPECT_TRUE(vi->canCalculateFlows());
    auto loc = location(3, std::move(vi));
    const FloatZELVector& p = scalars(*loc, "Pressure");
    EXPECT_EQ(p[0], 20.0f);
    EXPECT_EQ(p[1], 0.0f);
    EXPECT_EQ(p[2], UNDEFINED_VALUE);
    Variable* kept = loc->findVariable("Pressure");
    ASSERT_NE(kept, nullptr); // interpolated once, then held
    EXPECT_EQ(kept->getDomain(), "D1");
    EXPECT_EQ(loc->getVariable("Pressure"), kept);
    EXPECT_EQ(loc->getVariable("Nothing"), nullptr);

    auto& v = static_cast<VertexInterpolant&>(*loc->getInterpolant());
    std::vector<int> nodes = {5, 4, 3};
    v.swapInternalData(nodes);
    EXPECT_EQ(nodes, (std::vector<int>{2, 0, 9}));
    EXPECT_EQ(v.getInternalData(0), 5);
    const TripletZELVector& vel = *loc->getVariable("Velocity")->getTripletValues();
    EXPECT_EQ(vel[0], TripletF(5, 1, 0));
    EXPECT_TRUE(vel[1].isUndefined()); // the source value is undefined
}

TEST_F(InterpolationTest, EdgeInterpolant) {
    auto ei = std::make_unique<EdgeInterpolant>("D1");
    ei->pushVertex(0, 1, 0.25f); // 0.25 * 0 + 0.75 * 10
    ei->pushVertex(3, -1, 1.0f); // B carries no weight
    ei->pushVertex(1, 99, 0.5f); // B does not exist
    ei->pushVertex(4, 3, 0.5f);
    auto loc = location(4, std::move(ei));
    const FloatZELVector& p = scalars(*loc, "Pressure");
    EXPECT_FLOAT_EQ(p[0], 7.5f);
    EXPECT_FLOAT_EQ(p[1], 30.0f);
    EXPECT_EQ(p[2], UNDEFINED_VALUE);
    EXPECT_FLOAT_EQ(p[3], 35.0f);
    const TripletZELVector& vel = *loc->getVariable("Velocity")->getTripletValues();
    EXPECT_EQ(vel[0], TripletF(0.75f, 1, 0));
    EXPECT_TRUE(vel[3].isUndefined()); // node 4 is undefined and has weight

    auto& e = static_cast<EdgeInterpolant&>(*loc->getInterpolant());
    const std::map<std::uint64_t, float> heat = {{0, 1.0f}, {1, 3.0f}, {3, 5.0f}};
    FloatZELVector out;
    e.interpolateFromMap(heat, out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_FLOAT_EQ(out[0], 2.5f);
    EXPECT_FLOAT_EQ(out[1], 5.0f);
    EXPECT_EQ(out[2], UNDEFINED_VALUE);
    EXPECT_EQ(out[3], UNDEFINED_VALUE); // node 4 missing from the map
    const std::map<std::uint64_t, TripletF> normals = {{0, {0, 0, 1}}, {1, {0, 0, 3}}};
    TripletZELVector nout;
    e.interpolateFromMap(normals, nout);
    EXPECT_EQ(nout[0], TripletF(0, 0, 2.5f));

    EdgeInterpolant added("D1");
    added.addData({{2, {3, 4, 0.5f}}});
    ASSERT_EQ(added.getNumVertices(), 3u);
    EXPECT_EQ(added.getInternalData(0).nodeA, -1);
    EXPECT_EQ(added.getInternalData(2).nodeB, 4);
    EXPECT_THROW(added.addData({{-1, {}}}), internal::badParam);
}

TEST_F(InterpolationTest, ExternalInterpolantAcrossDomainsWithUnlocatedPoints) {
    auto xi = std::make_unique<ExternalInterpolant>();
    xi->addDomainName("D1");
    xi->addDomainName("D2");
    const NodeWeight inD1[] = {{0, 0.5f}, {1, 0.25f}, {2, 0.25f}};
    const NodeWeight inD2[] = {{5, 1.0f}};
    xi->pushVertex(0, inD1);
    xi->pushVertex(1, inD2);
    xi->pushVertex(-1, {});
    xi->pushVertex(0, std::span<const NodeWeight>(inD1, 1));
    EXPECT_FALSE(xi->canCalculateFlows());
    EXPECT_EQ(xi->getNumLocated(), 3u);
    EXPECT_EQ(xi->getInternalData(1).source, 1);
    EXPECT_EQ(xi->getInternalData(2).nodes.size(), 0u);
    EXPECT_EQ(xi->getRecords().size(), 5u); // one flat array for all vertices
    auto loc = location(4, std::move(xi));
    const FloatZELVector& p = scalars(*loc, "Pressure");
    EXPECT_FLOAT_EQ(p[0], 0.5f * 0 + 0.25f * 10 + 0.25f * 20);
    EXPECT_FLOAT_EQ(p[1], 150.0f);
    EXPECT_EQ(p[2], UNDEFINED_VALUE);
    EXPECT_FLOAT_EQ(p[3], 0.0f);
    // D2 has no velocity: its vertices are undefined, D1's are interpolated.
    const TripletZELVector& vel = *loc->getVariable("Velocity")->getTripletValues();
    EXPECT_EQ(vel[0], TripletF(0.75f, 1, 0));
    EXPECT_TRUE(vel[1].isUndefined());
    EXPECT_TRUE(vel[2].isUndefined());

    // Without the directory the domains cannot be found.
    Geometry::setGeometryInfo(nullptr);
    EXPECT_EQ(loc->getVariable("Temperature"), nullptr);
}

TEST_F(InterpolationTest, HybridInterpolantPrefersHybridValues) {
    Geometry surface;
    surface.setName("Wall");
    surface.setVertices(TripletZELVector(3, TripletF(0, 0, 0)));
    test::addScalar(surface, "Pressure", {1, 2, 3});
    test::addScalar(surface, "Heat Flux", {1, 2, 3})->values(VarTypeHybrid) = FloatZELVector{10, 20, 30};

    auto hi = std::make_unique<HybridInterpolant>("");
    EXPECT_EQ(hi->addSource(&surface), 0);
    EXPECT_THROW(hi->addSource(nullptr), internal::nullPointer);
    const NodeWeight w[] = {{0, 0.5f}, {2, 0.5f}};
    hi->pushVertex(0, w);
    hi->pushVertex(-1, w); // not projected: its nodes are dropped
    EXPECT_EQ(hi->getInternalData(1).nodes.size(), 0u);
    auto loc = location(2, std::move(hi));
    EXPECT_FLOAT_EQ(scalars(*loc, "Pressure")[0], 2.0f);
    EXPECT_EQ(scalars(*loc, "Pressure")[1], UNDEFINED_VALUE);
    EXPECT_FLOAT_EQ(scalars(*loc, "Heat Flux")[0], 20.0f);
    const auto copy = loc->getInterpolant()->clone();
    EXPECT_EQ(copy->getSource(0), &surface);
}

TEST(Visitors, IntegrationSkipsUndefinedAndHonoursTheFlag) {
    IntegrationVisitor v("T");
    const FloatZELVector w{1, -2, 3, UNDEFINED_VALUE};
    const FloatZELVector values{10, 20, UNDEFINED_VALUE, 40};
    v.doWeightedCalculation(w, &values, false);
    EXPECT_DOUBLE_EQ(v.getIntegral(), 10 - 40);
    EXPECT_DOUBLE_EQ(v.getTotalWeight(), 1 - 2); // vertex 2's value and vertex 3's weight are undefined
    v.doWeightedCalculation(w, &values, true);
    EXPECT_DOUBLE_EQ(v.getIntegral(), -30 + 50);
    EXPECT_DOUBLE_EQ(v.getTotalWeight(), -1 + 3);
    v.doWeightedCalculation(w, nullptr, false);
    EXPECT_DOUBLE_EQ(v.getTotalWeight(), 2 + 2);
    EXPECT_DOUBLE_EQ(v.getAverage(), 20.0 / 4);
    const FloatZELVector shortValues{1};
    EXPECT_THROW(v.doWeightedCalculation(w, &shortValues, false), internal::badParam);
    v.reset();
    EXPECT_EQ(v.getAverage(), double(UNDEFINED_VALUE));
}

TEST(Visitors, AreaLengthVolumeAverages) {
    // A unit square of two triangles with T = x: the area average is 0.5 on either geometry.
    auto square = std::make_unique<Geometry>();
    square->setName("Square");
    square->setVertices(TripletZELVector{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    ShapeSet* tris = square->addFaceSet("tris", ShapeType::Triangle);
    const int t1[3] = {0, 1, 2}, t2[3] = {0, 2, 3};
    tris->addElement(t1);
    tris->addElement(t2);
    AreaVisitor area("X");
    area.visitGeometry(*square);
    area.visitGeometry(*square); // accumulates over geometries
    EXPECT_NEAR(area.getTotalWeight(), 2.0, 1e-6);
    EXPECT_NEAR(area.getAverage(), 0.5, 1e-6);
    const FloatZELVector given{1, 1, 1, 1};
    AreaVisitor withValues("ignored");
    withValues.visitGeometry(*square, &given);
    EXPECT_NEAR(withValues.getIntegral(), 1.0, 1e-6);
    AreaVisitor missing("Nothing");
    test::expectError<data::notFound>(
        [&] { missing.visitGeometry(*square); },
        {.message = "No data exists for variable 'Nothing' specified in object 'Square'."});

    square->setLines(IntZELVector{0, 1, 1, 2});
    LengthVisitor length("Y");
    length.visitGeometry(*square);
    EXPECT_NEAR(length.getTotalWeight(), 2.0, 1e-6);
    EXPECT_NEAR(length.getIntegral(), 0.5, 1e-6); // ∫y over the second segment

    const auto hex =
        test::oneElement({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}, {0, 0, 1}, {2, 0, 1}, {2, 1, 1}, {0, 1, 1}},
                         ShapeType::Hexahedron);
    VolumeVisitor volume("X");
    volume.visitGeometry(*hex);
    EXPECT_NEAR(volume.getTotalWeight(), 2.0, 1e-6);
    EXPECT_NEAR(volume.getAverage(), 1.0, 1e-6);
}

TEST(Visitors, SummationSkipsUndefined) {
    Geometry g;
    g.setVertices(TripletZELVector(4, TripletF(0, 0, 0)));
    test::addScalar(g, "T", {3, UNDEFINED_VALUE, -2, 5});
    auto v = std::make_unique<VectorVariable>();
    v->setName("U");
    v->values() = TripletZELVector{{3, 4, 0}, {0, UNDEFINED_VALUE, 0}, {0, 0, 1}, {0, 0, 0}};
    g.addVariable(std::move(v));

    SummationVisitor sum("T");
    sum.visitGeometry(g);
    EXPECT_DOUBLE_EQ(sum.getSum(), 6.0);
    EXPECT_DOUBLE_EQ(sum.getMin(), -2.0);
    EXPECT_DOUBLE_EQ(sum.getMax(), 5.0);
    EXPECT_EQ(sum.getCount(), 3u);

    SummationVisitor magnitudes("U");
    magnitudes.visitGeometry(g);
    EXPECT_DOUBLE_EQ(magnitudes.getMax(), 5.0);
    EXPECT_EQ(magnitudes.getCount(), 3u);

    SummationVisitor vertices("");
    vertices.visitGeometry(g);
    vertices.visitGeometry(g);
    EXPECT_EQ(vertices.getCount(), 8u);

    SummationVisitor none("T");
    const FloatZELVector allUndefined{UNDEFINED_VALUE};
    none.visitGeometry(g, &allUndefined);
    EXPECT_EQ(none.getCount(), 0u);
    EXPECT_EQ(none.getMin(), double(UNDEFINED_VALUE));
    EXPECT_THROW(SummationVisitor("Nothing").visitGeometry(g), data::notFound);
}

} // namespace
} // namespace zel
