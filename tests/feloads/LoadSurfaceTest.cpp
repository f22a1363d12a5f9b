// The load file user surface and its load variables: located in the domains or projected on
// its boundary, the published variable objects, forces and stresses that carry the boundary's
// force, the heat transfer variables and their rules, and the errors of each path.
#include "tests/feloads/LoadSurfaceSupport.h"

#include "feloads/KVO2NorvaUtilities.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Visitor.h"

#include <cmath>
#include <filesystem>

namespace zel::test {
namespace {

// Float sums over a few hundred vertices of values of order 1..10.
constexpr double kSumTolerance = 1e-5;

void expectNear(const TripletD& a, const TripletD& b, double tolerance) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], tolerance) << "component " << k;
}

TEST_F(LoadSurfaceTest, LocatedInTheDomainsWithoutABoundary) {
    GeometricOKLObject* s = loadSurface(false);
    Geometry* g = s->getGeometry("");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getNumVertices(), (2 * kDeckCells + 1) * (2 * kDeckCells + 1) - kDeckCells * kDeckCells);
    EXPECT_EQ(g->getFaceSet("QUAD")->size(), kDeckCells * kDeckCells);
    EXPECT_EQ(g->getInterpolant()->getKind(), InterpolantKind::External);
    EXPECT_NEAR(area(*s), 1.0, 1e-6); // the deck is in millimetres
    EXPECT_EQ(s->getValue("Surface Element Type"), "154");
    EXPECT_EQ(s->getValue("NORVA Key Option"), std::string(1, '\xFF'));
    // The domain's values reach it like any file surface; no transfer, no report.
    addField("Pressure", benchField);
    EXPECT_NEAR(areaAve(*s, "Pressure"), 1.0 + 2.0 * 0.5 + 3.0 * 0.5, 1e-5);
    EXPECT_FALSE(std::filesystem::exists(KVO2NorvaUtilities::kReportFile));
    EXPECT_EQ(readerOf(*s).getVariable("Stress on S", g->getInterpolant()), nullptr);
}

TEST_F(LoadSurfaceTest, ProjectedOnItsBoundaryItPublishesItsVariables) {
    addObject("SCALAR VARIABLE", "Gone on S", {{"Related Object", "S"}});
    addObject("SCALAR VARIABLE", "Kept on T", {{"Related Object", "T"}});
    GeometricOKLObject* s = loadSurface();
    Geometry* g = s->getGeometry("");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getInterpolant()->getKind(), InterpolantKind::Hybrid);
    EXPECT_NEAR(area(*s), 1.0, 1e-6);
    EXPECT_EQ(reports().size(), 0u) << lastReport();

    // The objects of the load variables, and no stale ones of this surface.
    ObjectDB& db = *ObjectDB::instance();
    EXPECT_FALSE(db.hasObject("Gone on S"));
    EXPECT_TRUE(db.hasObject("Kept on T"));
    struct Expected {
        const char* name;
        const char* type;
        const char* baseUnits;
        const char* quantity;
    };
    const Expected expected[] = {
        {"Node Number on S", "SCALAR VARIABLE", "", ""},
        {"Stress on S", "VECTOR VARIABLE", "kg m^-1 s^-2", "Pressure"},
        {"Normal Stress on S", "VECTOR VARIABLE", "kg m^-1 s^-2", "Pressure"},
        {"Shear Stress on S", "VECTOR VARIABLE", "kg m^-1 s^-2", "Pressure"},
        {"Wall Heat Transfer Coefficient on S", "SCALAR VARIABLE", "kg s^-3 K^-1", "Heat Transfer Coefficient"},
        {"Wall Adjacent Temperature on S", "SCALAR VARIABLE", "K", "Temperature"},
        {"Heat Flux on S", "SCALAR VARIABLE", "kg s^-3", "Heat Flux in"},
    };
    for (const Expected& e : expected)
        expectObject(e.name, e.type,
                     {{"Related Object", "S"},
                      {"Base Units", e.baseUnits},
                      {"Quantity Type", e.quantity},
                      {"Has Hybrid Values", "False"},
                      {"Recipe", "Standard"}});
    const OKLObject* nodes = expectObject("Node Number on S", "SCALAR VARIABLE",
                                          {{"VarMin", "1.000000e+00"}, {"Variable Dimensions", "0,0,0,0,0,0,0,0,0,0"}});
    ASSERT_NE(nodes, nullptr);
    EXPECT_EQ(nodes->getValue("HybridMax"), nodes->getValue("VarMax"));
    expectObject("Stress on S", "VECTOR VARIABLE", {{"VarMin", ""}, {"Variable Dimensions", "1,-1,-2,0,0,0,0,0,0,0"}});
    expectObject("Wall Heat Transfer Coefficient on S", "SCALAR VARIABLE",
                 {{"Variable Description", "This HTC is equivalent to the 'Wall Heat Transfer Coefficient'."}});
    expectObject("Wall Adjacent Temperature on S", "SCALAR VARIABLE",
                 {{"Variable Description", "This Temperature is equivalent to the 'Wall Adjacent Temperature'."}});

    // The import report is written (its content: TransferReportTest).
    EXPECT_TRUE(std::filesystem::exists(KVO2NorvaUtilities::kReportFile));

    // A rebuild keeps one set of objects; a failed one (the file gone) leaves no geometry.
    const std::size_t objects = db.getAllObjects().size();
    run(*s);
    EXPECT_EQ(db.getAllObjects().size(), objects);
    std::filesystem::remove(deckFile);
    EXPECT_THROW(run(*s), data::notFound);
    EXPECT_EQ(s->getNumGeometries(), 0u);
}

TEST_F(LoadSurfaceTest, ForcesAndStressesCarryTheBoundaryForce) {
    GeometricOKLObject* s = loadSurface();
    const Geometry& g = *s->getGeometry("");
    const TripletZELVector& stress = vectorOn(*s, "Stress on S");
    const TripletZELVector& normal = vectorOn(*s, "Normal Stress on S");
    const TripletZELVector& shear = vectorOn(*s, "Shear Stress on S");
    const TripletZELVector& force = vectorOn(*s, "Force on S");
    ASSERT_EQ(stress.size(), std::size_t(g.getNumVertices()));
    for (std::size_t i = 0; i < stress.size(); ++i) {
        // A linear stress is reproduced at every vertex; normal and shear parts add up to it.
        expectNear(TripletD(stress[i]), wallStress(TripletD(g.getVertices()[i])), 1e-5);
        expectNear(TripletD(normal[i] + shear[i]), TripletD(stress[i]), 1e-5);
        EXPECT_NEAR(std::abs(normal[i].z), std::abs(stress[i].z), 1e-5); // the surface lies in z = 0
        EXPECT_NEAR(shear[i].z, 0.0, 1e-5);
    }
    // Σ Force over the surface is the boundary's force; its components are those of the vector.
    const TripletD onSurface = sumOf(force);
    const TripletD onBoundary = sumOf(*bottomGeometry().getVariable("Force")->getTripletValues());
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(onSurface[k], onBoundary[k], kSumTolerance * std::abs(onBoundary[k]));
    const FloatZELVector& y = scalarOn(*s, "Force on S Y");
    const FloatZELVector& shearZ = scalarOn(*s, "Shear Stress on S Z");
    for (std::size_t i = 0; i < force.size(); ++i) {
        EXPECT_EQ(y[i], force[i].y);
        EXPECT_EQ(shearZ[i], shear[i].z);
    }
    // "Force" on the surface is its load force (what the transfer report sums).
    EXPECT_EQ(vectorOn(*s, "Force")[3], force[3]);
    // A variable the boundary has comes across as it is (a linear field exactly).
    const FloatZELVector& t = scalarOn(*s, "Temperature");
    for (std::size_t i = 0; i < t.size(); ++i) {
        const TripletF p = g.getVertices()[i];
        EXPECT_NEAR(t[i], 300.0 + 10.0 * p.x + 5.0 * p.y, 1e-3);
    }
}

TEST_F(LoadSurfaceTest, UndefinedStressesStayUndefined) {
    // One boundary vertex without a force: the surface vertices that take from it have no
    // stress, normal or shear stress.
    setVector("Force", kDimsForce, [&](const TripletD& p, double a) {
        return p.x == 0.0 && p.y == 0.0 ? TripletD(UNDEFINED_VALUE, 0, 0) : wallStress(p) * a;
    });
    GeometricOKLObject* s = loadSurface();
    const TripletZELVector& stress = vectorOn(*s, "Stress on S");
    const TripletZELVector& normal = vectorOn(*s, "Normal Stress on S");
    const TripletZELVector& shear = vectorOn(*s, "Shear Stress on S");
    int undefined = 0;
    for (std::size_t i = 0; i < stress.size(); ++i) {
        EXPECT_EQ(stress[i].isUndefined(), normal[i].isUndefined());
        EXPECT_EQ(stress[i].isUndefined(), shear[i].isUndefined());
        if (stress[i].isUndefined()) {
            ++undefined;
            EXPECT_EQ(normal[i], TripletF(UNDEFINED_VALUE, UNDEFINED_VALUE, UNDEFINED_VALUE));
        }
    }
    EXPECT_GT(undefined, 0);
    EXPECT_LT(undefined, int(stress.size()));
}

TEST_F(LoadSurfaceTest, PhaseForces) {
    storage->multiphase = {"A", "B"};
    setVector("A.Force", kDimsForce, [&](const TripletD& p, double a) { return wallStress(p) * a; });
    setVector("B.Force", kDimsForce, [&](const TripletD& p, double a) { return wallStress(p) * (2.0 * a); });
    ObjectDB::instance()->deleteObject("Force");
    bottomGeometry().removeVariable("Force");
    GeometricOKLObject* s = loadSurface();
    // Without a mixture force the stress sums the phases'; a phase's force is its own.
    const TripletZELVector& stress = vectorOn(*s, "Stress on S");
    const TripletZELVector& a = vectorOn(*s, "A.Force on S");
    const TripletZELVector& all = vectorOn(*s, "Force on S");
    const FloatZELVector& areas = s->getGeometry("")->getVertexAreas();
    for (std::size_t i = 0; i < stress.size(); ++i) {
        const TripletD expected = wallStress(TripletD(s->getGeometry("")->getVertices()[i])) * 3.0;
        EXPECT_NEAR(stress[i].z, expected.z, 1e-4);
        EXPECT_NEAR(a[i].z, expected.z / 3.0 * areas[i], 1e-5);
        EXPECT_NEAR(all[i].z, expected.z * areas[i], 1e-5);
    }
    // A phase without a force object has none.
    EXPECT_THROW(readerOf(*s).getVariable("C.Force on S", s->getGeometry("")->getInterpolant()), data::invalid);
}

TEST_F(LoadSurfaceTest, HeatTransferVariables) {
    GeometricOKLObject* s = loadSurface();
    const Geometry& g = *s->getGeometry("");
    // Without a reference temperature: the boundary's coefficient and adjacent temperature.
    const FloatZELVector& h = scalarOn(*s, "Wall Heat Transfer Coefficient on S");
    const FloatZELVector& ta = scalarOn(*s, "Wall Adjacent Temperature on S");
    for (std::size_t i = 0; i < h.size(); ++i) {
        const TripletF p = g.getVertices()[i];
        EXPECT_NEAR(h[i], 10.0 + 5.0 * p.y, 1e-4);
        EXPECT_NEAR(ta[i], 290.0 + p.x, 1e-3);
    }
    // The heat flux q = (Tw - Ta) h, scaled so that the surface carries the boundary's flow.
    const FloatZELVector& q = scalarOn(*s, "Heat Flux on S");
    const FloatZELVector& areas = g.getVertexAreas();
    double flow = 0.0;
    for (std::size_t i = 0; i < q.size(); ++i) flow += double(q[i]) * areas[i];
    double boundaryFlow = 0.0;
    for (float v : *bottomGeometry().getVariable("Heat Flow")->getFloatValues()) boundaryFlow += v;
    EXPECT_NEAR(flow, boundaryFlow, 1e-5 * boundaryFlow);
    EXPECT_EQ(reports().size(), 0u) << lastReport();

    // Unscaled it is (Tw - Ta) h itself.
    s->setParameter("Maintain Conservative Values", "False");
    run(*s); // a new geometry
    const FloatZELVector& raw = scalarOn(*s, "Heat Flux on S");
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const TripletF p = s->getGeometry("")->getVertices()[i];
        const double expected = (300.0 + 10.0 * p.x + 5.0 * p.y - (290.0 + p.x)) * (10.0 + 5.0 * p.y);
        EXPECT_NEAR(raw[i], expected, 1e-5 * expected);
    }
}

TEST_F(LoadSurfaceTest, ReferenceTemperatureRules) {
    addObject("EXPORT", "",
              {{"NORVA Specify Reference Temperature", "True"},
               {"NORVA Reference Temperature", "300 [K]"},
               {"NORVA Supplemental HTC", "10 [W m^-2 K^-1]"}});
    struct Case {
        double q, tw, hs;
        double h, t; // expected
    };
    const Case cases[] = {
        {100.0, 310.0, 10.0, 10.0, 300.0},  // h = q / (Tw - Tref), T = Tref
        {100.0, 300.0, 10.0, 0.0, 300.0},   // Tw = Tref: no coefficient
        {-100.0, 310.0, 10.0, 10.0, 320.0}, // negative: the supplemental h, T = Tw - q / hs
        {-100.0, 310.0, 0.0, 0.0, 300.0},   // negative without one: 0 and Tref
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.q + c.tw + c.hs);
        ObjectDB::instance()->getObjectByPath("/EXPORT")->setParameter("NORVA Supplemental HTC",
                                                                       std::to_string(c.hs) + " [W m^-2 K^-1]");
        setScalar("Heat Flux", kDimsHeatFlux, [&](const TripletD&, double) { return c.q; });
        setScalar("Temperature", kDimsTemperature, [&](const TripletD&, double) { return c.tw; });
        GeometricOKLObject* s = loadSurface();
        const FloatZELVector& h = scalarOn(*s, "Wall Heat Transfer Coefficient on S");
        const FloatZELVector& t = scalarOn(*s, "Wall Adjacent Temperature on S");
        ASSERT_FALSE(h.empty());
        for (std::size_t i = 0; i < h.size(); ++i) {
            EXPECT_NEAR(h[i], c.h, 1e-3);
            EXPECT_NEAR(t[i], c.t, 1e-3);
        }
        expectObject("Wall Heat Transfer Coefficient on S", "SCALAR VARIABLE",
                     {{"Variable Description",
                       "The values for this Heat Transfer Coefficient variable are calculated based on the 'Heat Flux' "
                       "and 'Temperature' variables and may have been adjusted based on a specified reference (bulk) "
                       "temperature of 300 [K] and Supplemental HTC of " +
                           std::to_string(c.hs) +
                           " [W m^-2 K^-1].  These settings may be modified in the 'Export NORVA Load File' dialog."}});
        ObjectDB::instance()->deleteObject(s);
    }
}

TEST_F(LoadSurfaceTest, HeatFlowsThatCannotBeMadeConservative) {
    auto conservativeReports = [&](const std::string& operation) {
        int n = 0;
        for (const auto& r : reports())
            n += r.getMessage() == "Heat flows cannot be made conservative!" && r.getOperation() == operation &&
                 r.getErrorType() == ErrWarning;
        return n;
    };
    // An adiabatic surface: nothing to scale, the flux stays as computed.
    setScalar("Wall Heat Transfer Coefficient", kDimsHTC, [](const TripletD&, double) { return 0.0; });
    GeometricOKLObject* s = loadSurface();
    const FloatZELVector& q = scalarOn(*s, "Heat Flux on S");
    for (float v : q) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(conservativeReports("calculateHeatFlux 5"), 1);
    // Without a heat flow on the boundary.
    setScalar("Wall Heat Transfer Coefficient", kDimsHTC, [](const TripletD&, double) { return 10.0; });
    bottomGeometry().removeVariable("Heat Flow");
    ObjectDB::instance()->deleteObject("Heat Flow");
    run(*s);
    const FloatZELVector& unscaled = scalarOn(*s, "Heat Flux on S");
    EXPECT_NEAR(unscaled[0], (300.0 - 290.0) * 10.0, 1e-3); // the vertex at the origin
    EXPECT_EQ(conservativeReports("calculateHeatFlux 3"), 1);
    // Without the coefficient's object the flux cannot be made at all.
    ObjectDB::instance()->deleteObject("Wall Heat Transfer Coefficient on S");
    EXPECT_THROW(readerOf(*s).getVariable("Heat Flux on S", s->getGeometry("")->getInterpolant()), data::invalid);
}

// The call raises E from the reader's `operation` with exactly `message`.
template <typename E, typename F> void expectReaderError(F&& call, const char* operation, const std::string& message) {
    expectError<E>(call, {.className = "NorvaGeometryReader", .operation = operation, .message = message});
}

TEST_F(LoadSurfaceTest, ErrorsOfTheLoadVariables) {
    GeometricOKLObject* s = loadSurface();
    NorvaGeometryReader& reader = readerOf(*s);
    Interpolant* interpolant = s->getGeometry("")->getInterpolant();
    auto ask = [&](const char* name) { reader.getVariable(name, interpolant); };
    expectReaderError<internal::error>([&] { reader.getVariable("Stress on S", nullptr); }, "getObjectVariable",
                                       "An interpolant is required!");
    // Known, but neither the boundary nor the results have it.
    addObject("SCALAR VARIABLE", "Nope", {{"Boundary Values", "Conservative"}});
    expectReaderError<data::invalid>([&] { ask("Nope"); }, "getObjectVariable",
                                     "Variable 'Nope' not defined on geometry 'Bottom'.");
    EXPECT_EQ(reader.getVariable("Normal", interpolant), nullptr); // the geometry's own

    // The boundary's domains.
    bottom->setParameter("Domain List", "Box, Other");
    expectReaderError<data::invalid>([&] { ask("Stress on S"); }, "calculateNORVAStress",
                                     "Boundary 'Bottom' defined in more than one domain.");
    bottom->setParameter("Domain List", "Other");
    expectReaderError<data::invalid>([&] { ask("Stress on S"); }, "calculateNORVAStress",
                                     "Boundary 'Bottom' has no defined geometry on domain 'Other'.");
    bottom->setParameter("Domain List", "Box");

    // No force variable at all.
    ObjectDB::instance()->deleteObject("Force");
    expectReaderError<data::invalid>([&] { ask("Force on S"); }, "calculateNORVAStress",
                                     "No 'Force' variables can be found.");
    // A force that is not a vector.
    addObject("SCALAR VARIABLE", "Force");
    bottomGeometry().removeVariable("Force");
    setScalar("Force", kDimsForce, [](const TripletD&, double) { return 1.0; });
    expectReaderError<data::invalid>([&] { ask("Stress on S"); }, "calculateNORVAStress",
                                     "Cannot cast variable 'Force' to Vector Variable.");

    // The associated boundary.
    s->setParameter("Associated Boundary", "Nowhere");
    expectReaderError<data::invalid>([&] { ask("Stress on S"); }, "getObjectVariable", "Object not found: Nowhere.");
    addObject("VIEWPORT MANAGER", "Frame"); // an object that holds no geometry
    s->setParameter("Associated Boundary", "Frame");
    expectReaderError<internal::badParam>([&] { ask("Stress on S"); }, "getObjectVariable",
                                          "Bad cast of OKLObject 'Frame' to GeometricOKLObject.");
    Geometry::ProjectionStatistics statistics;
    auto project = [&] { reader.makeHybridInterpolant(s->getGeometry("")->getVertices(), statistics); };
    expectReaderError<data::invalid>(project, "makeHybridInterpolant",
                                     "Specified associated Boundary is not a Boundary or Region.");
    s->setParameter("Associated Boundary", "Nowhere");
    expectReaderError<data::invalid>(project, "makeHybridInterpolant", "Object not found: Nowhere.");
    NorvaGeometryReader unset("m");
    expectReaderError<internal::error>([&] { unset.makeHybridInterpolant(TripletZELVector(), statistics); },
                                       "getObjValue", "The OKLObject in the NorvaGeometryReader has not been set!");
}

} // namespace
} // namespace zel::test
