// Sample and slice planes: the parameter step (axes, rotation, bound errors), sample-plane
// vertex and face layout with exact areas, slice areas and averages of linear fields against
// analytic values (the benchmark mesh's oblique slice is EndToEndTest's), bounded and inverted
// slices against the unbounded cut, and both error policies.
#include "tests/locators/LocatorTestSupport.h"

#include "framework/core/Progress.h"
#include "framework/okl/PlaneOKLObject.h"
#include "locators/PlaneCalcFunc.h"

#include <numbers>
#include <random>
#include <stdexcept>

namespace zel::test {
namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

void expectVec(const TripletF& v, const TripletD& expected, double tol = 1e-6) {
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(v[a], expected[a], tol) << "component " << a;
}

template <typename R> std::vector<int> ints(const R& range) { return {range.begin(), range.end()}; }

class PlaneTest : public LocatorTest {
protected:
    PlaneOKLObject* addPlane(const std::string& name, const Params& params) {
        return addTyped<PlaneOKLObject>("PLANE", name, params);
    }
    static void set(OKLObject& object, const Params& params) {
        for (const auto& [name, value] : params) object.setParameter(name, value);
    }
    // The object changed by `params` and built again.
    static void rerun(OKLObject& object, const Params& params) {
        set(object, params);
        run(object);
    }
    static void usePolicy(bool propagate) {
        CalcRegistry::instance()->registerCalcFunc("PLANE", std::make_unique<PlaneCalcFunc>(propagate, true));
    }
    static const ErrorProgressReporter::Report& reportOfRun(PlaneOKLObject& plane) {
        const std::size_t before = reports().size();
        run(plane);
        return onlyReportSince(before);
    }
    // A plane "P" built afresh from `params`, then changed by `changes`, fails with `message`:
    // raised as E (and not reported) under the propagating policy, reported with the fields of
    // `report` otherwise; either way it keeps no geometry.
    template <typename E>
    void expectFailure(bool propagate, const Params& params, const Params& changes, const std::string& message,
                       ExpectedReport report) {
        SCOPED_TRACE(message + (propagate ? " (propagating)" : ""));
        ObjectDB::instance()->deleteObject("P");
        auto* plane = built(addPlane("P", params));
        ASSERT_EQ(plane->getNumGeometries(), 1u);
        set(*plane, changes);
        if (propagate) {
            const std::size_t before = reports().size();
            expectError<E>([&] { run(*plane); }, {.className = "PlaneCalcFunc", .message = message});
            EXPECT_EQ(reports().size(), before);
        } else {
            report.message = message;
            expectReport(reportOfRun(*plane), report);
        }
        EXPECT_EQ(plane->getNumGeometries(), 0u);
    }
};

// --------------------------------------------------------------------- parameter step

TEST_F(PlaneTest, ParameterStepGivesRightHandedUnitAxesInThePlane) {
    PlaneCalcFunc calc;
    auto* plane = addPlane("P", {{"Option", "Point and Normal"},
                                 {"Point", "0.2, 0.3, 0.4"},
                                 {"Normal", "1, 0, 0"},
                                 {"Plane Bound", "Circular"},
                                 {"Bound Radius", "250 [mm]"}});
    ASSERT_TRUE(calc.processParameters(*plane));
    EXPECT_EQ(calc.getBoundType(), PlaneCalcFunc::BoundCircular);
    EXPECT_FLOAT_EQ(calc.getBoundRadius(), 0.25f);
    expectVec(calc.getPoint(), {0.2, 0.3, 0.4});
    // A normal along x takes direction 1 from y.
    expectVec(calc.getNormal().normalised(), {1, 0, 0});
    expectVec(calc.getDirection1(), {0, 1, 0});
    expectVec(calc.getDirection2(), {0, 0, 1});

    plane->setParameter("Normal", "0, 0, 2");
    ASSERT_TRUE(calc.processParameters(*plane));
    expectVec(calc.getDirection1(), {1, 0, 0});
    expectVec(calc.getDirection2(), {0, 1, 0});

    // Any other normal: direction 1 is x projected into the plane.
    plane->setParameter("Normal", "0.3, 0.4, 0.866");
    ASSERT_TRUE(calc.processParameters(*plane));
    const TripletD n = TripletD(calc.getNormal()) * (1.0 / std::sqrt(TripletD(calc.getNormal()).lengthSquared()));
    const TripletD d1(calc.getDirection1()), d2(calc.getDirection2());
    // With d1 the unit projection and d1 × d2 = n, a unit d2 is the rest of a right-handed frame.
    EXPECT_NEAR(d2.lengthSquared(), 1.0, 1e-6);
    expectVec(TripletF(d1.cross(d2)), n);
    const TripletD projected = TripletD{1, 0, 0} - n * n.x;
    expectVec(TripletF(d1), projected * (1.0 / std::sqrt(projected.lengthSquared())));

    // The rectangle turns about the normal by "Direction 1 Orientation"; a value without a
    // unit is in radians.
    set(*plane, {{"Normal", "0, 0, 1"},
                 {"Plane Bound", "Rectangular"},
                 {"Direction 1 Bound", "0.6"},
                 {"Direction 2 Bound", "0.4"}});
    for (const char* angle : {"90 [degree]", "1.5707963"}) {
        plane->setParameter("Direction 1 Orientation", angle);
        ASSERT_TRUE(calc.processParameters(*plane));
        EXPECT_EQ(calc.getBoundType(), PlaneCalcFunc::BoundRectangular);
        expectVec(calc.getDirection1(), {0, 1, 0});
        expectVec(calc.getDirection2(), {-1, 0, 0});
    }
    plane->setParameter("Plane Bound", "None");
    ASSERT_TRUE(calc.processParameters(*plane));
    EXPECT_EQ(calc.getBoundType(), PlaneCalcFunc::BoundNone);
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

TEST_F(PlaneTest, ParameterStepReportsUnusableBounds) {
    PlaneCalcFunc calc;
    auto* plane = addPlane("P", {});
    struct Case {
        Params params;
        std::string message;
        int errorType;
    };
    const Case cases[] = {
        {{{"Plane Bound", "Circular"}, {"Bound Radius", "-0.5"}}, "Bound Radius (-0.500000) must be non-negative.", 4},
        {{{"Plane Bound", "Rectangular"}, {"Direction 1 Bound", "-1"}, {"Direction 2 Bound", "2"}},
         "Direction 1 and 2 Bounds(-1.000000,2.000000) must be non-negative.",
         4},
        {{{"Plane Bound", "Oval"}}, "Unsupported Plane Bound option 'Oval'.", 32},
        // A plane of three points 1e-7 apart: its normal is too short to give axes.
        {{{"Plane Bound", "Circular"},
          {"Bound Radius", "1"},
          {"Option", "Three Points"},
          {"Point 1", "0, 0, 0"},
          {"Point 2", "1e-7, 0, 0"},
          {"Point 3", "0, 1e-7, 0"}},
         "Calculated Bound Y direction is normal to the plane.",
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        set(*plane, c.params);
        const std::size_t before = reports().size();
        EXPECT_FALSE(calc.processParameters(*plane));
        expectReport(onlyReportSince(before), {.message = c.message,
                                               .className = "PlaneCalcFunc",
                                               .operation = "processParameters",
                                               .type = c.errorType});
    }
}

// ---------------------------------------------------------------------- sample planes

TEST_F(PlaneTest, RectangularSamplePlaneLayoutAndExactArea) {
    addDomain(makeHexBox("D1", 3, 3, 3, {-1, -1, -1}, {2, 2, 2}));
    addField("Pressure", benchField);
    auto* plane = built(addPlane("S", {{"Plane Type", "Sample"},
                                       {"Option", "Point and Normal"},
                                       {"Point", "0.5, 0.5, 0.5"},
                                       {"Normal", "0, 0, 1"},
                                       {"Plane Bound", "Rectangular"},
                                       {"Direction 1 Bound", "0.6"},
                                       {"Direction 2 Bound", "0.4"},
                                       {"Direction 1 Points", "2"},
                                       {"Direction 2 Points", "2"}}));
    ASSERT_EQ(plane->getGeometryNames(), std::vector<std::string>{""});
    Geometry* g = plane->getGeometry("");
    EXPECT_TRUE(g->isPlane());
    EXPECT_EQ(g->getName(), "");
    ASSERT_EQ(g->getNumVertices(), 4);
    const TripletD corners[] = {{0.2, 0.3, 0.5}, {0.8, 0.3, 0.5}, {0.2, 0.7, 0.5}, {0.8, 0.7, 0.5}};
    for (std::size_t i = 0; i < 4; ++i) expectVec(g->getVertices()[i], corners[i]);
    EXPECT_EQ(g->getFaceSetNames(), std::vector<std::string>{"quad"});
    EXPECT_EQ(g->getFaceSet("quad")->getShapeType(), ShapeType::Quadrilateral);
    EXPECT_EQ(ints(g->getFaceSet("quad")->getConnectivity()), (std::vector<int>{0, 1, 3, 2}));
    const auto* interp = dynamic_cast<const ExternalInterpolant*>(g->getInterpolant());
    ASSERT_NE(interp, nullptr);
    EXPECT_EQ(interp->getDomains(), std::vector<std::string>{"D1"});

    // An oblique, turned rectangle of 5 × 4 points: vertex j·N1 + i at its grid position,
    // the exact area, and the centre's value as the average of a linear field.
    rerun(*plane, {{"Normal", "0.3, 0.4, 0.866"},
                   {"Direction 1 Orientation", "30 [degree]"},
                   {"Direction 1 Points", "5"},
                   {"Direction 2 Points", "4"}});
    g = plane->getGeometry("");
    ASSERT_EQ(g->getNumVertices(), 20);
    PlaneCalcFunc calc;
    ASSERT_TRUE(calc.processParameters(*plane));
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 5; ++i) {
            const double a = i * 0.6 / 4 - 0.3, b = j * 0.4 / 3 - 0.2;
            expectVec(g->getVertices()[std::size_t(j * 5 + i)], TripletD(calc.getPoint()) +
                                                                    TripletD(calc.getDirection1()) * a +
                                                                    TripletD(calc.getDirection2()) * b);
        }
    EXPECT_EQ(g->getFaceSet("quad")->size(), 12);
    EXPECT_EQ(ints(g->getFaceSet("quad")->getElement(5)), (std::vector<int>{6, 7, 12, 11}));
    EXPECT_NEAR(area(*plane), 0.24, 1e-6);
    EXPECT_NEAR(areaAve(*plane, "Pressure"), benchField({0.5, 0.5, 0.5}), 1e-5);
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

TEST_F(PlaneTest, CircularSamplePlaneLayoutAndAreaConvergence) {
    addDomain(makeHexBox("D1", 2, 2, 2, {-1, -1, -1}, {2, 2, 2}));
    addField("Pressure", benchField);
    auto* plane = built(addPlane("C", {{"Plane Type", "Sample"},
                                       {"Option", "Point and Normal"},
                                       {"Point", "0.5, 0.5, 0.5"},
                                       {"Normal", "0, 0, 1"},
                                       {"Plane Bound", "Circular"},
                                       {"Bound Radius", "0.4"},
                                       {"Direction 1 Points", "2"},
                                       {"Direction 2 Points", "6"}}));
    Geometry* g = plane->getGeometry("");
    ASSERT_NE(g, nullptr);
    // The centre and one ring: triangles only.
    ASSERT_EQ(g->getNumVertices(), 7);
    EXPECT_EQ(g->getFaceSetNames(), std::vector<std::string>{"tri"});
    EXPECT_EQ(g->getFaceSet("tri")->getShapeType(), ShapeType::Triangle);
    EXPECT_EQ(ints(g->getFaceSet("tri")->getConnectivity()),
              (std::vector<int>{0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 5, 0, 5, 6, 0, 6, 1}));
    expectVec(g->getVertices()[0], {0.5, 0.5, 0.5});
    // Angle 0 lies along direction 2 (y here), a quarter turn later along direction 1.
    expectVec(g->getVertices()[1], {0.5, 0.9, 0.5});
    rerun(*plane, {{"Direction 2 Points", "4"}, {"Direction 1 Points", "3"}});
    g = plane->getGeometry("");
    ASSERT_EQ(g->getNumVertices(), 9);
    expectVec(g->getVertices()[2], {0.7, 0.5, 0.5}); // ring 1 (radius 0.2), j = 1
    expectVec(g->getVertices()[8], {0.1, 0.5, 0.5}); // ring 2, j = 3
    const ShapeSet* quads = g->getFaceSet("quad");
    ASSERT_NE(quads, nullptr);
    EXPECT_EQ(quads->size(), 4);
    EXPECT_EQ(ints(quads->getElement(3)), (std::vector<int>{4, 8, 5, 1}));

    // The area is the inscribed N2-gon's whatever the ring count, and tends to πR².
    double previous = 0.0;
    for (const int n2 : {8, 32, 128, 720}) {
        for (const int n1 : {2, 5}) {
            SCOPED_TRACE(n2 * 10 + n1);
            rerun(*plane, {{"Direction 1 Points", std::to_string(n1)}, {"Direction 2 Points", std::to_string(n2)}});
            const double polygon = 0.5 * n2 * 0.16 * std::sin(2 * std::numbers::pi / n2);
            EXPECT_NEAR(area(*plane), polygon, 1e-6);
            EXPECT_NEAR(areaAve(*plane, "Pressure"), benchField({0.5, 0.5, 0.5}), 1e-5);
        }
        const double a = area(*plane);
        EXPECT_GT(a, previous);
        previous = a;
    }
    EXPECT_NEAR(previous, std::numbers::pi * 0.16, 2e-5 * std::numbers::pi * 0.16);
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

TEST_F(PlaneTest, SamplePlaneErrorsUnderBothPolicies) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    struct Case {
        Params params;
        std::string message;
    };
    const Case cases[] = {
        {{{"Plane Bound", "None"}}, "Sample plane requires a Plane Bound setting of Rectangular or Circular."},
        {{{"Plane Bound", "Rectangular"}, {"Direction 1 Points", "1"}},
         "Sample plane requires at least 2 Direction 1 Points and 2 Direction 2 Points for Rectangular bounding."},
        {{{"Plane Bound", "Rectangular"}, {"Direction 2 Points", "1"}},
         "Sample plane requires at least 2 Direction 1 Points and 2 Direction 2 Points for Rectangular bounding."},
        {{{"Plane Bound", "Circular"}, {"Direction 2 Points", "2"}},
         "Sample plane requires at least 2 Direction 1 Points and 3 Direction 2 Points for Circular bounding."},
        {{{"Plane Bound", "Circular"}, {"Direction 1 Points", "1"}},
         "Sample plane requires at least 2 Direction 1 Points and 3 Direction 2 Points for Circular bounding."},
    };
    for (const bool propagate : {true, false}) {
        usePolicy(propagate);
        for (const Case& c : cases)
            expectFailure<data::invalid>(propagate, {{"Plane Type", "Sample"}, {"Plane Bound", "Circular"}}, c.params,
                                         c.message,
                                         {.operation = "calcVertices", .family = "data::invalid", .type = 4});

        // An unusable bound is reported, never raised, and leaves the sample plane empty.
        auto* plane = addPlane(propagate ? "Neg1" : "Neg2",
                               {{"Plane Type", "Sample"}, {"Plane Bound", "Circular"}, {"Bound Radius", "-1"}});
        EXPECT_EQ(reportOfRun(*plane).getMessage(), "Bound Radius (-1.000000) must be non-negative.");
        ASSERT_NE(plane->getGeometry(""), nullptr);
        EXPECT_EQ(plane->getGeometry("")->getNumVertices(), 0);

        // A plane definition the object cannot read is the object's error.
        set(*plane, {{"Bound Radius", "1"}, {"Option", "Nonsense"}});
        if (propagate) {
            expectError<data::invalid>([&] { run(*plane); },
                                       {.message = "Unsupported plane definition 'Nonsense' of plane 'Neg1'."});
        } else {
            run(*plane);
            EXPECT_EQ(ErrorProgressReporter::instance()->last().getClassName(), "PlaneOKLObject");
        }
        EXPECT_EQ(plane->getNumGeometries(), 0u);
    }
}

// ----------------------------------------------------------------------- slice planes

TEST_F(PlaneTest, SlicePlaneAreasAndLinearAveragesAreExact) {
    addDomain(makeHexBox("Hexes", 3, 4, 5, {0, 0, 0}, {0.5, 1, 1}));
    addDomain(makeTetBox("Tets", 4, {0.5, 0, 0}, {1, 1, 1}));
    addField("Pressure", benchField);

    auto* plane = built(addPlane("Slice", {{"Option", "XY Plane"}, {"Z", "0.37"}}));
    EXPECT_DOUBLE_EQ(ProgressTracker::lastOverallFraction(), 1.0);
    ASSERT_EQ(plane->getGeometryNames(), (std::vector<std::string>{"Hexes", "Tets"}));
    for (const char* name : {"Hexes", "Tets"}) {
        SCOPED_TRACE(name);
        Geometry* g = plane->getGeometry(name);
        EXPECT_EQ(g->getDomain(), name);
        EXPECT_TRUE(g->isPlane());
        const auto* edges = dynamic_cast<const EdgeInterpolant*>(g->getInterpolant());
        ASSERT_NE(edges, nullptr);
        EXPECT_EQ(edges->getDomains(), std::vector<std::string>{name});
        EXPECT_NEAR(g->getVertexAreas().getSum(), 0.5, 1e-6);
    }
    EXPECT_NEAR(areaAve(*plane, "Pressure"), benchField({0.5, 0.5, 0.37}), 1e-5);

    // An oblique plane crossing every vertical column of the unit cube: area |n| / n_z.
    rerun(*plane, {{"Option", "Point and Normal"}, {"Point", "0.5, 0.5, 0.5"}, {"Normal", "0.2, 0.1, 1"}});
    EXPECT_NEAR(area(*plane), std::sqrt(1.05), 1e-6);
    // Over the unit square the slice's mean position is the centre: (0.5, 0.5, 0.5).
    EXPECT_NEAR(areaAve(*plane, "Pressure"), benchField({0.5, 0.5, 0.5}), 1e-5);

    // A plane that misses a domain attaches nothing for it.
    rerun(*plane, {{"Option", "YZ Plane"}, {"X", "0.2"}});
    EXPECT_EQ(plane->getGeometryNames(), std::vector<std::string>{"Hexes"});
    EXPECT_NEAR(area(*plane), 1.0, 1e-6);
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

TEST_F(PlaneTest, BoundedSliceKeepsFacesByCentroidAndCarriesTheirInterpolation) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    addField("XField", [](const TripletD& p) { return p.x; });
    // The cut at z = 0.5 is four squares with centroids (0.25|0.75, 0.25|0.75); the circle
    // about (0.25, 0.25) of radius 0.5 holds one, has two on it and one outside.
    auto* plane = built(addPlane("B", {{"Option", "Point and Normal"},
                                       {"Point", "0.25, 0.25, 0.5"},
                                       {"Normal", "0, 0, 1"},
                                       {"Plane Bound", "Circular"},
                                       {"Bound Radius", "0.5"}}));
    Geometry* g = plane->getGeometry("D1");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getFaceSetNames(), std::vector<std::string>{"QUAD"});
    EXPECT_EQ(g->getFaceSet("QUAD")->size(), 3);
    EXPECT_EQ(g->getNumVertices(), 8);
    EXPECT_NEAR(g->getVertexAreas().getSum(), 0.75, 1e-6);
    rerun(*plane, {{"Invert Plane Bound", "True"}});
    g = plane->getGeometry("D1");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getFaceSet("QUAD")->size(), 1);
    EXPECT_EQ(g->getNumVertices(), 4);
    for (const TripletF& v : g->getVertices()) EXPECT_TRUE(v.x >= 0.5f && v.y >= 0.5f);
    // The kept vertices interpolate from the right mesh edges.
    const Variable* x = g->getVariable("XField", true);
    for (int i = 0; i < g->getNumVertices(); ++i)
        EXPECT_NEAR(x->getFloatValues()->vector()[std::size_t(i)], g->getVertices()[std::size_t(i)].x, 1e-6);
    EXPECT_TRUE(g->isPlane());
    EXPECT_EQ(g->getDomain(), "D1");

    // Inverted and plain bounds split the unbounded cut between them, on random bounds of
    // an oblique slice; every kept face's centroid lies on its side of the bound, the kept
    // vertices are those the faces use, in the cut's order, with the cut's interpolation.
    ObjectDB::instance()->clear();
    addDomain(makeHexBox("D2", 10, 10, 10, {0, 0, 0}, {1, 1, 1}, 0.1f));
    addField("XField", [](const TripletD& p) { return p.x; });
    auto* full = addPlane("Full", {{"Option", "Point and Normal"}, {"Normal", "0.3, 0.4, 0.866"}});
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int trial = 0; trial < 12; ++trial) {
        const bool circular = trial % 2 == 0;
        const std::string centre = _("%.6f, %.6f, 0.5", 0.2 + 0.6 * unit(rng), 0.2 + 0.6 * unit(rng));
        SCOPED_TRACE(centre + (circular ? " circular" : " rectangular"));
        rerun(*full, {{"Point", centre}, {"Plane Bound", "None"}});
        Geometry* cut = full->getGeometry("D2");
        ASSERT_NE(cut, nullptr);
        const double total = cut->getVertexAreas().getSum();
        std::size_t cutFaces = 0;
        for (const std::string& s : cut->getFaceSetNames()) cutFaces += std::size_t(cut->getFaceSet(s)->size());

        const Params bound =
            circular ? Params{{"Plane Bound", "Circular"}, {"Bound Radius", _("%.6f", 0.1 + 0.3 * unit(rng))}}
                     : Params{{"Plane Bound", "Rectangular"},
                              {"Direction 1 Bound", _("%.6f", 0.1 + 0.5 * unit(rng))},
                              {"Direction 2 Bound", _("%.6f", 0.1 + 0.5 * unit(rng))},
                              {"Direction 1 Orientation", _("%.3f [degree]", 90 * unit(rng))}};
        double split = 0.0;
        std::size_t splitFaces = 0;
        for (const char* invert : {"False", "True"}) {
            SCOPED_TRACE(invert);
            auto* bounded = addPlane(_("Bounded %d %s", trial, invert), {{"Option", "Point and Normal"},
                                                                         {"Normal", "0.3, 0.4, 0.866"},
                                                                         {"Point", centre},
                                                                         {"Invert Plane Bound", invert}});
            rerun(*bounded, bound);
            Geometry* part = bounded->getGeometry("D2");
            if (part == nullptr) continue;
            split += part->getVertexAreas().getSum();
            PlaneCalcFunc calc;
            ASSERT_TRUE(calc.processParameters(*bounded));
            std::vector<char> used(std::size_t(part->getNumVertices()), 0);
            for (const std::string& s : part->getFaceSetNames()) {
                const ShapeSet* set = part->getFaceSet(s);
                splitFaces += std::size_t(set->size());
                for (int f = 0; f < set->size(); ++f) {
                    TripletD c;
                    for (int v : set->getElement(f)) {
                        c += TripletD(part->getVertices()[std::size_t(v)]);
                        used[std::size_t(v)] = 1;
                    }
                    const TripletD o = c * (1.0 / set->getNodesPerElement()) - TripletD(calc.getPoint());
                    // Inside or outside by more than float rounding of the centroid.
                    double excess;
                    if (circular) {
                        excess = std::sqrt(o.lengthSquared()) - calc.getBoundRadius();
                    } else {
                        excess = std::max(
                            std::fabs(o.dot(TripletD(calc.getDirection1()))) - 0.5 * calc.getDirection1Bound(),
                            std::fabs(o.dot(TripletD(calc.getDirection2()))) - 0.5 * calc.getDirection2Bound());
                    }
                    if (invert[0] == 'F')
                        EXPECT_LE(excess, 1e-6);
                    else
                        EXPECT_GT(excess, -1e-6);
                }
            }
            for (char u : used) EXPECT_TRUE(u);
            // The kept vertices appear in the cut in the same order.
            std::size_t at = 0;
            for (const TripletF& v : part->getVertices()) {
                while (at < cut->getVertices().size() && cut->getVertices()[at] != v) ++at;
                EXPECT_LT(at, cut->getVertices().size());
            }
            const Variable* x = part->getVariable("XField", true);
            for (int i = 0; i < part->getNumVertices(); ++i)
                EXPECT_NEAR(x->getFloatValues()->vector()[std::size_t(i)], part->getVertices()[std::size_t(i)].x, 2e-6);
        }
        EXPECT_EQ(splitFaces, cutFaces);
        EXPECT_NEAR(split, total, 1e-5);
    }
}

TEST_F(PlaneTest, CullingNeedsAnEdgeInterpolant) {
    PlaneCalcFunc calc;
    Geometry source, target;
    source.setVertices(TripletZELVector{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    source.addFaceSet("TRIANGLE", ShapeType::Triangle)->addElement(std::vector<int>{0, 1, 2});
    source.setInterpolant(std::make_unique<VertexInterpolant>("D"));
    expectError<internal::error>(
        [&] { calc.cullVertices(source, target); },
        {.className = "PlaneCalcFunc", .message = "Bad cast of Interpolant to EdgeInterpolant."});
}

// ---------------------------------------------------------------------- error policy

TEST_F(PlaneTest, SliceErrorsUnderBothPolicies) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    addObject("NOTE", "Speed"); // a plain object, not a geometric one
    addObject("BOUNDARY", "Wall");
    const std::pair<std::string, std::string> cases[] = {
        {"D1, Nope", "Cannot find OKL object for domain 'Nope'."},
        {"Speed", "Bad cast of OKLObject 'Speed' to GeometricOKLObject."},
        {"Wall", "Cannot get geometry for domain 'Wall'."}};
    for (const bool propagate : {true, false}) {
        usePolicy(propagate);
        for (const auto& [domains, message] : cases)
            expectFailure<internal::badParam>(propagate, {{"Z", "0.5"}}, {{"Domain List", domains}}, message,
                                              {.operation = "calcSlicePlane", .type = 4});

        // No domains: reported, never raised; nothing attached.
        auto* plane = addPlane(propagate ? "Empty 1" : "Empty 2", {{"Domain List", ""}});
        expectReport(reportOfRun(*plane), {.message = "No domains exist.", .operation = "operator()"});
        EXPECT_EQ(plane->getNumGeometries(), 0u);
        // An unusable bound: reported, and no slice at all.
        set(*plane, {{"Domain List", "D1"}, {"Plane Bound", "Rectangular"}, {"Direction 2 Bound", "-2"}});
        EXPECT_EQ(reportOfRun(*plane).getMessage(),
                  "Direction 1 and 2 Bounds(1.000000,-2.000000) must be non-negative.");
        EXPECT_EQ(plane->getNumGeometries(), 0u);

        // The wrong kind of object.
        OKLObject* line = addObject("LINE", propagate ? "L1" : "L2");
        PlaneCalcFunc calc(propagate, true);
        if (propagate) {
            expectError<internal::error>([&] { calc(line, "top"); },
                                         {.className = "PlaneCalcFunc", .message = "Cast to PlaneOKLObject failed."});
        } else {
            const std::size_t before = reports().size();
            calc(line, "top");
            expectReport(onlyReportSince(before), {.message = "Bad cast of OKLObject 'p_OKLObj' to PlaneOKLObject.",
                                                   .family = "data::error",
                                                   .type = 32});
        }
    }
}

// A plane whose preparation fails in the ways the policy sorts.
class FailingPlane : public PlaneOKLObject {
public:
    FailingPlane() : PlaneOKLObject("PLANE", "Failing") {}
    void prepareForUpdate() override {
        switch (mode) {
        case 0: throw std::runtime_error("disk on fire");
        case 1: throw std::bad_alloc();
        case 2: throw 42;
        default: throw internal::error("Somewhere", "deep", "Internal trouble.", ErrError);
        }
    }
    int mode = 0;
};

TEST_F(PlaneTest, NonPropagatingPolicySortsEveryKindOfFailure) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    FailingPlane plane;
    PlaneCalcFunc calc(false, true);
    const std::pair<int, std::string> cases[] = {
        {0, "Operation 'update' failed (system exception: disk on fire)."},
        {1, "Operation 'update' failed. Insufficient memory."},
        {2, "Operation 'PlaneCalcFunc' failed with unrecognized exception."},
        {3, "Internal trouble."},
    };
    for (const auto& [mode, message] : cases) {
        SCOPED_TRACE(message);
        plane.setGeometry("D1", std::make_unique<Geometry>());
        plane.mode = mode;
        const std::size_t before = reports().size();
        calc(&plane, "top");
        // An internal error (mode 3) keeps its origin and is reported as internal.
        if (mode < 3)
            expectReport(onlyReportSince(before), {.message = message,
                                                   .className = "PlaneCalcFunc",
                                                   .operation = "operator()",
                                                   .family = "data::error",
                                                   .type = 1});
        else
            expectReport(onlyReportSince(before), {.message = message, .className = "Somewhere", .type = 32});
        EXPECT_EQ(plane.getNumGeometries(), 0u);
    }
    // With propagation, the same failure passes on unchanged, after the discard.
    PlaneCalcFunc propagating;
    plane.setGeometry("D1", std::make_unique<Geometry>());
    plane.mode = 0;
    EXPECT_THROW(propagating(&plane, "top"), std::runtime_error);
    EXPECT_EQ(plane.getNumGeometries(), 0u);
}

TEST_F(PlaneTest, RenderAndColourActions) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    addField("Pressure", benchField);
    auto* plane = built(addPlane("Slice", {{"Z", "0.5"}, {"Colour Mode", "Variable"}}));
    run(*plane, "colour");
    EXPECT_TRUE(plane->isColourChanged());
    run(*plane, "render");
    EXPECT_TRUE(ViewerInterface::instance()->isDrawn(plane->getPath(), "D1"));
    ASSERT_NE(ViewerInterface::instance()->getDefaultLegend(), nullptr);
    EXPECT_EQ(ViewerInterface::instance()->getDefaultLegend()->path, plane->getPath());
    // The plane's render leaves the change flags to the host.
    EXPECT_TRUE(plane->isColourChanged());

    // A failed render discards the geometry, and under the reporting policy says why.
    usePolicy(false);
    addObject("SCALAR VARIABLE", "Nope", {{"Boundary Values", "Conservative"}});
    plane->setParameter("Colour Variable", "Nope");
    const std::size_t before = reports().size();
    run(*plane, "render");
    EXPECT_EQ(onlyReportSince(before).getMessage(), "Couldn't find variable Nope.");
    EXPECT_EQ(plane->getNumGeometries(), 0u);
    EXPECT_FALSE(ViewerInterface::instance()->isDrawn(plane->getPath(), "D1"));
}

} // namespace
} // namespace zel::test
