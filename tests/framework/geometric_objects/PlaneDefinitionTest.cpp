#include "GeomObjTestSupport.h"

#include "framework/okl/PlaneOKLObject.h"

#include <cmath>
#include <random>

namespace zel::test {
namespace {

using PlaneDefinition = GeomObjTest;

TripletF normalOf(const TripletF& p1, const TripletF& p2, const TripletF& p3) { return (p2 - p1).cross(p3 - p1); }

// The angle between two directions, in radians.
double angleBetween(const TripletF& a, const TripletF& b) {
    const TripletD x(a), y(b);
    const double c = x.dot(y) / std::sqrt(x.lengthSquared() * y.lengthSquared());
    return std::acos(std::clamp(c, -1.0, 1.0));
}

TEST_F(PlaneDefinition, CoordinatePlanes) {
    auto* plane = add<PlaneOKLObject>("PLANE", "P");
    TripletF p1, p2, p3;

    struct Case {
        const char* option;
        const char* param;
        const char* value;
        TripletF point;
        TripletF normal;
    };
    const Case cases[] = {
        {"XY Plane", "Z", "0.25 [m]", {0, 0, 0.25f}, {0, 0, 1}},
        {"XY Plane", "Z", "10 [cm]", {0, 0, 0.1f}, {0, 0, 1}},
        {"YZ Plane", "X", "-2", {-2, 0, 0}, {1, 0, 0}},
        {"ZX Plane", "Y", "3 [mm]", {0, 0.003f, 0}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        plane->setParameter("Option", c.option);
        plane->setParameter(c.param, c.value);
        plane->processParameters(p1, p2, p3);
        expectNear(p1, c.point, c.option, 1e-7);
        const TripletF n = normalOf(p1, p2, p3);
        EXPECT_EQ(n, c.normal) << c.option; // unit offsets: exact
        // All three points lie in the plane.
        EXPECT_FLOAT_EQ((p2 - p1).dot(c.normal), 0.0f);
        EXPECT_FLOAT_EQ((p3 - p1).dot(c.normal), 0.0f);
    }
    // The registry's default definition is the XY plane through the origin.
    auto* fresh = add<PlaneOKLObject>("PLANE", "Default");
    fresh->processParameters(p1, p2, p3);
    EXPECT_EQ(p1, TripletF(0, 0, 0));
    EXPECT_EQ(normalOf(p1, p2, p3), TripletF(0, 0, 1));
}

TEST_F(PlaneDefinition, PointAndNormal) {
    auto* plane = add<PlaneOKLObject>("PLANE", "P");
    plane->setParameter("Option", "Point and Normal");
    plane->setParameter("Point", "500, 250, 125 [mm]");
    plane->setParameter("Normal", "0, 0, -7");
    TripletF p1, p2, p3, point, normal;
    plane->processParameters(p1, p2, p3);
    expectNear(p1, {0.5f, 0.25f, 0.125f}, "point", 1e-7);
    plane->getPlane(point, normal);
    EXPECT_EQ(point, p1);
    EXPECT_LT(angleBetween(normal, TripletF(0, 0, -1)), 1e-6);

    // Random normals and points far from the origin (fixed seed): the three points keep the
    // normal's direction and lie in the plane, to a few float epsilons of the point's size.
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int i = 0; i < 200; ++i) {
        TripletF n(u(rng), u(rng), u(rng));
        if (n.length() < 0.1f) continue;
        const float scale = i % 2 ? 1000.0f : 0.01f;
        const TripletF p(u(rng) * scale, u(rng) * scale, u(rng) * scale);
        char text[160];
        std::snprintf(text, sizeof text, "%.9g, %.9g, %.9g", double(p.x), double(p.y), double(p.z));
        plane->setParameter("Point", text);
        std::snprintf(text, sizeof text, "%.9g, %.9g, %.9g", double(n.x), double(n.y), double(n.z));
        plane->setParameter("Normal", text);
        plane->processParameters(p1, p2, p3);
        EXPECT_EQ(p1, p);
        EXPECT_LT(angleBetween(normalOf(p1, p2, p3), n), 1e-5) << i;
        const TripletD unit = TripletD(n) / std::sqrt(TripletD(n).lengthSquared());
        const double size = std::max(1.0, double(std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)})));
        EXPECT_LT(std::fabs((TripletD(p2) - TripletD(p)).dot(unit)), 4 * 6e-8 * size) << i;
        EXPECT_LT(std::fabs((TripletD(p3) - TripletD(p)).dot(unit)), 4 * 6e-8 * size) << i;
    }
}

TEST_F(PlaneDefinition, ThreePoints) {
    auto* plane = add<PlaneOKLObject>("PLANE", "P");
    plane->setParameter("Option", "Three Points");
    plane->setParameter("Point 1", "0, 0, 1 [cm]");
    plane->setParameter("Point 2", "1, 0, 1 [cm]");
    plane->setParameter("Point 3", "0, 1, 2 [cm]");
    TripletF p1, p2, p3;
    plane->processParameters(p1, p2, p3);
    EXPECT_NEAR(p2.x, 0.01f, 1e-8);
    EXPECT_NEAR(p3.z, 0.02f, 1e-8);
    EXPECT_LT(angleBetween(normalOf(p1, p2, p3), TripletF(0, -1, 1)), 1e-6);
}

TEST_F(PlaneDefinition, Errors) {
    auto* plane = add<PlaneOKLObject>("PLANE", "Cut");
    TripletF p1(9, 9, 9), p2(9, 9, 9), p3(9, 9, 9);
    auto process = [&] { plane->processParameters(p1, p2, p3); };

    plane->setParameter("Option", "Point and Normal");
    plane->setParameter("Normal", "0, 0, 0");
    expectError<data::invalid>(process,
                               {.fragments = {"PlaneOKLObject::processParameters", "normal of plane 'Cut' is zero"}});
    plane->setParameter("Normal", "1, 0");
    expectError<data::invalid>(process,
                               {.fragments = {"Parameter 'Normal' of plane 'Cut' must be defined by 3 float values."}});
    plane->setParameter("Normal", "0, 0, 1");
    plane->setParameter("Point", "");
    expectError<data::invalid>(process,
                               {.fragments = {"Parameter 'Point' of plane 'Cut' must be defined by 3 float values."}});
    plane->setParameter("Point", "1, 2, three");
    EXPECT_THROW(process(), data::invalid);
    plane->setParameter("Point", "1, 2, 3 [s]"); // not a length
    EXPECT_THROW(process(), data::invalid);

    plane->setParameter("Option", "Three Points");
    plane->setParameter("Point 1", "0, 0, 0");
    plane->setParameter("Point 2", "1, 1, 1");
    plane->setParameter("Point 3", "3, 3, 3");
    expectError<data::invalid>(process, {.fragments = {"points of plane 'Cut' are collinear"}});
    plane->setParameter("Point 3", "1, 1, 1"); // coincident
    expectError<data::invalid>(process, {.fragments = {"collinear"}});
    // Nearly collinear but a real triangle is accepted.
    plane->setParameter("Point 3", "3, 3, 3.001");
    EXPECT_NO_THROW(process());
    p1 = p2 = p3 = TripletF(9, 9, 9);

    plane->setParameter("Option", "Point, Normal");
    expectError<data::invalid>(process, {.fragments = {"Unsupported plane definition 'Point, Normal' of plane 'Cut'"}});
    // Nothing was written by the failed calls.
    EXPECT_EQ(p1, TripletF(9, 9, 9));

    // An object whose type does not define the parameters: the missing one is named.
    PlaneOKLObject bare("MY PLANE", "Bare");
    bare.setParameter("Option", "YZ Plane");
    expectError<data::notFound>([&] { bare.processParameters(p1, p2, p3); },
                                {.fragments = {"'Bare'", "'X'", "'YZ Plane'"}});
    PlaneOKLObject none("MY PLANE", "None");
    expectError<data::notFound>([&] { none.processParameters(p1, p2, p3); }, {.fragments = {"'Option'"}});
}

} // namespace
} // namespace zel::test
