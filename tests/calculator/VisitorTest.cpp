// The mass-flow and force visitors through the calculator: uniform flows and force
// distributions against the hand calculation, and the fluid rule on single- and multiphase
// domains.
#include "tests/calculator/CalcTestSupport.h"

#include "calculator/ForceVisitor.h"
#include "calculator/MassflowVisitor.h"
#include "framework/core/Error.h"
#include "framework/core/Undefined.h"

#include <algorithm>
#include <deque>

namespace zel::test {
namespace {

class VisitorTest : public CalcTest {
protected:
    void SetUp() override {
        CalcTest::SetUp();
        addVariableObject("Pressure");
    }
    // A boundary "name" of quadrilaterals in domain `domain`, whose flows the storage computes.
    Patch& addBoundary(const std::string& name, const std::string& domain, ShapeType type = ShapeType::Quadrilateral,
                       bool flip = false) {
        Patch patch = makePatch(type, name);
        if (flip) { // reverse every face: the normal turns round
            for (int s = 0; s < patch.geometry->getNumElementSets(); ++s) {
                ShapeSet& set = patch.geometry->getElementSet(s);
                for (int e = 0; e < set.size(); ++e) {
                    std::span<int> nodes = set.editElement(e);
                    std::reverse(nodes.begin(), nodes.end());
                }
            }
            patch.normal = -patch.normal;
        }
        addScalar(*patch.geometry, "Pressure", linearField);
        setVertexInterpolant(*patch.geometry, domain);
        storage->flowGeometry[patch.geometry->getInterpolant()] = patch.geometry.get();
        geometries.push_back(patch.geometry.get());
        patches.push_back(std::move(patch));
        return patches.back();
    }
    GeometricOKLObject* locate(const std::string& type, const std::string& name) {
        GeometricOKLObject* location = addLocation(type, name, nullptr);
        for (Patch& p : patches)
            if (p.geometry) {
                const std::string slot = p.geometry->getInterpolant()->getDomains()[0];
                location->setGeometry(slot, std::move(p.geometry));
            }
        return location;
    }
    // ρ U·n A of one patch for a phase's flow.
    double flowThrough(const Patch& p, const std::string& phase) {
        const CalcStorage::Flow& f = storage->flows.at(phase);
        return f.density * f.velocity.dot(p.normal) * p.area;
    }
    // Adds the per-vertex mass flow of a phase as variable `name` to every patch geometry,
    // scaled by `scale`.
    void addMassFlowVariable(const std::string& name, const std::string& phase, double scale = 1.0) {
        const CalcStorage::Flow& f = storage->flows.at(phase);
        for (Geometry* g : geometries) {
            const TripletZELVector& a = g->getVertexAreaVectors();
            auto v = std::make_unique<ScalarVariable>();
            for (const TripletF& ai : a) v->values().push_back(float(scale * f.density * f.velocity.dot(toD(ai))));
            v->setName(name);
            g->addVariable(std::move(v));
        }
    }

    std::deque<Patch> patches;         // references to its entries stay valid as it grows
    std::vector<Geometry*> geometries; // owned by the location
};

TEST_F(VisitorTest, MassFlowOfAUniformFlowIsDensityTimesNormalVelocityTimesArea) {
    storage->domainPhases["D1"] = {"Water"};
    storage->flows["Water"] = {997.0, {0.4, -1.2, 2.5}};
    for (const ShapeType type : {ShapeType::Triangle, ShapeType::Pentagon, ShapeType::Polygon}) {
        SCOPED_TRACE(static_cast<int>(type));
        ObjectDB::instance()->clear();
        addVariableObject("Pressure");
        patches.clear();
        geometries.clear();
        Patch& patch = addBoundary("Inlet", "D1", type);
        const double expected = flowThrough(patch, "Water");
        locate("BOUNDARY", "Inlet");
        const Quantity q = eval("massFlow", {"Inlet"});
        expectClose(q.getValue(), expected);
        EXPECT_EQ(q.getUnits(), "kg s^-1");
        // "All Fluids" and the phase itself mean the same here.
        EXPECT_EQ(eval("massFlow", {"Inlet", "All Fluids"}).getValue(), q.getValue());
        EXPECT_EQ(eval("massFlow", {"Inlet", "Water"}).getValue(), q.getValue());
        // A linear field weighted by a uniform flow averages as over the area.
        expectClose(eval("massFlowAve", {"Pressure", "Inlet"}).getValue(), linearField(patch.centroid));
        expectClose(eval("massFlowInt", {"Pressure", "Inlet"}).getValue(), expected * linearField(patch.centroid));
        EXPECT_EQ(reportCount(), 0u) << lastReport();
    }
    // Each visit asked the storage for the domain's one phase.
    EXPECT_EQ(storage->massFlowCalls.back(), "Water");
}

TEST_F(VisitorTest, AbsoluteMassFlowAverageWeightsByTheSizeOfTheFlow) {
    storage->domainPhases["D1"] = {"Water"};
    storage->domainPhases["D2"] = {"Water"};
    storage->flows["Water"] = {2.0, {0.0, 0.0, 3.0}};
    Patch& in = addBoundary("In", "D1", ShapeType::Quadrilateral);
    Patch& out = addBoundary("Out", "D2", ShapeType::Hexagon, /*flip=*/true);
    const double fin = flowThrough(in, "Water"), fout = flowThrough(out, "Water");
    const double ain = linearField(in.centroid) * in.area, aout = linearField(out.centroid) * out.area;
    locate("BOUNDARY", "Both");
    ASSERT_LT(fin * fout, 0.0); // the flows have opposite signs
    expectClose(eval("massFlow", {"Both"}).getValue(), fin + fout, std::abs(fin));
    expectClose(eval("massFlowAveAbs", {"Pressure", "Both"}).getValue(), (ain + aout) / (in.area + out.area));
    const double signedAverage = (std::abs(fin) * ain / in.area - std::abs(fout) * aout / out.area) / (fin + fout);
    expectClose(eval("massFlowAve", {"Pressure", "Both"}).getValue(), signedAverage, std::abs(signedAverage) * 4);
}

TEST_F(VisitorTest, MultiphaseMassFlowSumsThePhasesUnlessOneIsNamed) {
    storage->domainPhases["D1"] = {"Water", "Air"};
    storage->flows["Water"] = {1000.0, {0.0, 1.0, 2.0}};
    storage->flows["Air"] = {1.2, {3.0, 0.0, 1.0}};
    Patch& patch = addBoundary("Inlet", "D1");
    const double water = flowThrough(patch, "Water"), air = flowThrough(patch, "Air");
    locate("BOUNDARY", "Inlet");
    expectClose(eval("massFlow", {"Inlet"}).getValue(), water + air);
    expectClose(eval("massFlow", {"Inlet", "Air"}).getValue(), air);
    EXPECT_EQ(storage->massFlowCalls.back(), "Air");

    // A stored per-phase mass flow is preferred when its object exists (prefixed names in a
    // multiphase domain); the unprefixed variable is not the phase's.
    addMassFlowVariable("Water.Mass Flow", "Water", 2.0);
    addMassFlowVariable("Mass Flow", "Water", 5.0);
    addVariableObject("Water.Mass Flow", "1, 0, -1, 0, 0, 0, 0, 0, 0, 0");
    addVariableObject("Mass Flow", "1, 0, -1, 0, 0, 0, 0, 0, 0, 0");
    storage->massFlowCalls.clear();
    expectClose(eval("massFlow", {"Inlet"}).getValue(), 2.0 * water + air);
    EXPECT_EQ(storage->massFlowCalls, std::vector<std::string>{"Air"});
    EXPECT_EQ(reportCount(), 0u) << lastReport();
}

TEST_F(VisitorTest, SinglePhaseDomainsUseUnprefixedNamesForTheirPhaseOnly) {
    storage->domainPhases["D1"] = {"Water"};
    storage->flows["Water"] = {1.0, {0.0, 0.0, 1.0}};
    storage->flows["Oil"] = {1.0, {0.0, 0.0, 1.0}};
    Patch& patch = addBoundary("Inlet", "D1");
    const double water = flowThrough(patch, "Water");
    locate("BOUNDARY", "Inlet");
    addMassFlowVariable("Mass Flow", "Water", 3.0);
    addMassFlowVariable("Oil.Mass Flow", "Oil", 7.0);
    addVariableObject("Mass Flow", "1, 0, -1, 0, 0, 0, 0, 0, 0, 0");
    // The object is needed for a stored mass flow to be taken.
    expectClose(eval("massFlow", {"Inlet", "Oil"}).getValue(), water);
    addVariableObject("Oil.Mass Flow", "1, 0, -1, 0, 0, 0, 0, 0, 0, 0");
    expectClose(eval("massFlow", {"Inlet"}).getValue(), 3.0 * water);
    expectClose(eval("massFlow", {"Inlet", "Water"}).getValue(), 3.0 * water);
    expectClose(eval("massFlow", {"Inlet", "Oil"}).getValue(), 7.0 * water);

    // No phase and no fluid: nothing to sum.
    storage->domainPhases["D1"].clear();
    EXPECT_EQ(eval("massFlow", {"Inlet"}).getValue(), 0.0f);
    EXPECT_EQ(reportCount(), 0u) << lastReport();
}

TEST_F(VisitorTest, MassFlowThatCannotBeCalculatedIsReported) {
    storage->domainPhases["D1"] = {"Water"};
    Patch patch = makePatch(ShapeType::Quadrilateral, "Cut");
    addScalar(*patch.geometry, "Pressure", linearField);
    auto interpolant = std::make_unique<ExternalInterpolant>();
    interpolant->addDomainName("D1");
    patch.geometry->setInterpolant(std::move(interpolant));
    addLocation("PLANE", "Cut", std::move(patch.geometry));
    EXPECT_TRUE(eval("massFlowAve", {"Pressure", "Cut"}).isUndefined());
    expectLastReport(
        {.message = "Mass flow of fluid 'Water' is not available in domain 'D1'\nand cannot be calculated on geometry "
                    "'Cut'.",
         .className = "MassflowVisitor",
         .family = "data::error"});
    EXPECT_TRUE(eval("massFlowAve", {"Temperature", "Cut"}).isUndefined());
    EXPECT_EQ(lastReport(), "No data exists for variable 'Temperature' specified in object 'Cut'.");
}

// A force distribution t per unit area on a patch: F_i = t a_i.
TripletZELVector uniformTraction(const Geometry& g, const Vec3& t) {
    TripletZELVector f;
    for (float a : g.getVertexAreas()) f.push_back(toF(t * double(a)));
    return f;
}

TEST_F(VisitorTest, ForceAndTorqueOfAUniformForceDistributionMatchTheHandCalculation) {
    storage->domainPhases["D1"] = {"Water"};
    const Vec3 t{3.0, -2.0, 0.5};
    Patch& patch = addBoundary("Wall", "D1", ShapeType::Triangle);
    addVector(*geometries[0], "Force", uniformTraction(*geometries[0], t));
    locate("BOUNDARY", "Wall");
    addVariableObject("Force", "1, 1, -2, 0, 0, 0, 0, 0, 0, 0", "VECTOR VARIABLE");
    addObject("COORD FRAME", "Frame",
              {{"Origin Point", "1, 2, 3 [m]"}, {"Z Axis Point", "1, 2, 5 [m]"}, {"X Axis Point", "2, 2, 3 [m]"}});

    const Vec3 total = t * patch.area;
    const Quantity fx = eval("force", {"Wall", "X"});
    expectClose(fx.getValue(), total.x, total.length());
    EXPECT_EQ(fx.getUnits(), "kg m s^-2");
    expectClose(eval("force", {"Wall", "0, 3, 4"}).getValue(), (total.y * 3 + total.z * 4) / 5, total.length());
    // Moment about the frame's origin, projected on its z axis: A (c - o) x t · z.
    const Vec3 origin{1, 2, 3};
    const Vec3 moment = (patch.centroid - origin).cross(t) * patch.area;
    const Quantity tz = eval("torque", {"Wall", "Frame Z"});
    expectClose(tz.getValue(), moment.z, moment.length());
    EXPECT_EQ(tz.getUnits(), "kg m^2 s^-2");
    expectClose(eval("torque", {"Wall", "Frame X"}).getValue(), moment.x, moment.length());
    EXPECT_EQ(reportCount(), 0u) << lastReport();

    // The visitor itself: sums in x, y, z order; a zero axis stays zero, so the projection is 0.
    ForceVisitor visitor(toF(origin), "");
    dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName("Wall"))->acceptVisitor(visitor);
    const TripletF force = visitor.getForce(), torque = visitor.getTorque();
    expectClose(force.y, total.y, total.length());
    expectClose(torque.x, moment.x, moment.length());
    expectClose(torque.y, moment.y, moment.length());
    expectClose(torque.z, moment.z, moment.length());
    EXPECT_EQ(visitor.getForceProjection({0, 0, 0}), 0.0);
    EXPECT_EQ(visitor.getTorqueProjection({0, 0, 0}), 0.0);
}

TEST_F(VisitorTest, ForceFluidRuleUndefinedVerticesAndMissingData) {
    storage->domainPhases["D1"] = {"Water", "Air"};
    addBoundary("Wall", "D1");
    Geometry& g = *geometries[0];
    const int n = g.getNumVertices();
    TripletZELVector force(std::size_t(n), TripletF{1.0f, 0.0f, 0.0f});
    force[0] = TripletF{UNDEFINED_VALUE, 5.0f, 5.0f}; // adds nothing, to force or torque
    addVector(g, "Force", force);
    locate("BOUNDARY", "Wall");
    // No per-fluid forces: the mixture's "Force" is counted once, not once per phase.
    EXPECT_EQ(eval("force", {"Wall", "X"}).getValue(), float(n - 1));
    EXPECT_EQ(eval("force", {"Wall", "Y"}).getValue(), 0.0f);

    addVector(g, "Water.Force", TripletZELVector(std::size_t(n), TripletF{0.0f, 2.0f, 0.0f}));
    addVector(g, "Air.Force", TripletZELVector(std::size_t(n), TripletF{0.0f, 3.0f, 0.0f}));
    addVariableObject("Water.Force", "1, 1, -2", "VECTOR VARIABLE");
    addVariableObject("Air.Force", "1, 1, -2", "VECTOR VARIABLE");
    EXPECT_EQ(eval("force", {"Wall", "Y"}).getValue(), float(5 * n));
    EXPECT_EQ(eval("force", {"Wall", "Y", "Air"}).getValue(), float(3 * n));
    EXPECT_EQ(reportCount(), 0u) << lastReport();

    // A force that is no vector, and a fluid without any force.
    addScalar(g, "Air.Force", linearField);
    EXPECT_TRUE(eval("force", {"Wall", "Y", "Air"}).isUndefined());
    expectLastReport(
        {.message = "Bad cast of variable 'forceVector' to VectorVariable.", .family = "internal::bad_cast"});
    storage->domainPhases["D1"] = {"Water"};
    EXPECT_TRUE(eval("force", {"Wall", "Y", "Oil"}).isUndefined());
    EXPECT_EQ(lastReport(),
              "Force of fluid 'Oil' is not available in the file\nand cannot be calculated on geometry 'Wall'.");

    // No phases and no fluid: nothing is summed.
    storage->domainPhases["D1"].clear();
    EXPECT_EQ(eval("torque", {"Wall", "Z"}).getValue(), 0.0f);
}

TEST_F(VisitorTest, GeometriesWithoutInterpolantAreReportedAndSkipped) {
    storage->domainPhases["D1"] = {"Water"};
    addObject("SCALAR VARIABLE", "Force");
    addBoundary("Wall", "D1");
    addVector(*geometries[0], "Force", TripletZELVector(std::size_t(geometries[0]->getNumVertices()), {1, 1, 1}));
    GeometricOKLObject* wall = locate("BOUNDARY", "Wall");
    Patch loose = makePatch(ShapeType::Triangle, "Loose");
    wall->setGeometry("Loose", std::move(loose.geometry));
    const Quantity q = eval("force", {"Wall", "Z"});
    EXPECT_EQ(q.getValue(), float(geometries[0]->getNumVertices()));
    ASSERT_EQ(reportCount(), 1u);
    expectLastReport(
        {.message = "No Interpolant on object Loose.", .className = "ForceVisitor", .family = "internal::nullPointer"});
}

TEST_F(VisitorTest, ForceNormSumsTheNormalisedForceOfTheLine) {
    storage->domainPhases["D1"] = {"Water"};
    Polyline line = makeHelix(3, "Cut");
    line.geometry->setParentDomains({"D1"});
    addVector(*line.geometry, "Normalized Force on Cut", TripletZELVector(4, TripletF{0.5f, 1.0f, -2.0f}));
    addVector(*line.geometry, "Oil.Normalized Force on Cut", TripletZELVector(4, TripletF{1.0f, 0.0f, 0.0f}));
    addLocation("LINE", "Cut", std::move(line.geometry));
    EXPECT_FLOAT_EQ(eval("forceNorm", {"Cut", "Y"}).getValue(), 4.0f);
    EXPECT_FLOAT_EQ(eval("forceNorm", {"Cut", "0, 0, -3"}).getValue(), 8.0f);
    EXPECT_FLOAT_EQ(eval("forceNorm", {"Cut", "X", "Oil"}).getValue(), 4.0f);
    EXPECT_EQ(eval("forceNorm", {"Cut", "X"}).getUnits(), "kg m s^-2");
    EXPECT_EQ(reportCount(), 0u) << lastReport();

    EXPECT_TRUE(eval("forceNorm", {"Cut", "X", "Air"}).isUndefined());
    EXPECT_EQ(lastReport(), "Variable 'Air.Normalized Force on Cut' does not exist.");

    auto noLines = std::make_unique<Geometry>();
    noLines->setName("Bare");
    noLines->setDomain("D1");
    addLocation("LINE", "Bare", std::move(noLines));
    EXPECT_TRUE(eval("forceNorm", {"Bare", "X"}).isUndefined());
    EXPECT_EQ(lastReport(), "No lines present in Geometry within D1");
}

} // namespace
} // namespace zel::test
