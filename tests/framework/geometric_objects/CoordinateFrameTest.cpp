#include "GeomObjTestSupport.h"

#include "framework/okl/CoordinateFrameOKLObject.h"

namespace zel::test {
namespace {

using CoordinateFrames = GeomObjTest;

TEST_F(CoordinateFrames, GlobalAxesAndDirections) {
    const TripletF o(0, 0, 0);
    const struct {
        const char* text;
        TripletF direction;
    } cases[] = {
        {"X", {1, 0, 0}},
        {"y", {0, 1, 0}},
        {" Z ", {0, 0, 1}},
        {"Global X", {1, 0, 0}},
        {"global  y", {0, 1, 0}},
        {"Global.Z", {0, 0, 1}},
        {"0.3, 0.4, 0.866", TripletF(0.3f, 0.4f, 0.866f).normalised()},
        {"0 0 2", {0, 0, 1}},
        {" -3,0 ,4 ", {-0.6f, 0, 0.8f}},
        {"1e-3, 0, 0", {1, 0, 0}},
    };
    for (const auto& c : cases) {
        const auto [origin, direction] = CoordinateFrameOKLObject::parseCFString(c.text);
        expectNear(origin, o, c.text);
        expectNear(direction, c.direction, c.text);
        EXPECT_NEAR(direction.length(), 1.0f, 1e-6) << c.text;
    }
}

TEST_F(CoordinateFrames, FrameObjectsAndTheirAxes) {
    run("COORD FRAME: Coord 1\n"
        "  Origin Point = 100, 0, 0 [cm]\n"
        "  Z Axis Point = 1, 0, 5 [m]\n"
        "  X Axis Point = 1, 3, 0.5 [m]\n" // not normal to Z: only its normal part counts
        "END\n");
    auto* frame = dynamic_cast<CoordinateFrameOKLObject*>(db()->getObjectByName("Coord 1"));
    ASSERT_NE(frame, nullptr);
    const CoordinateFrame f = frame->getFrame();
    expectNear(f.origin, {1, 0, 0}, "origin");
    expectNear(f.x, {0, 1, 0}, "x");
    expectNear(f.y, {-1, 0, 0}, "y");
    expectNear(f.z, {0, 0, 1}, "z");

    for (const char* text : {"Coord 1 X", "Coord 1.X", "  Coord 1 . x", "Coord 1\tX"}) {
        const auto [origin, direction] = CoordinateFrameOKLObject::parseCFString(text);
        expectNear(origin, {1, 0, 0}, text);
        expectNear(direction, {0, 1, 0}, text);
    }
    expectNear(CoordinateFrameOKLObject::parseCFString("Coord 1 Y").second, {-1, 0, 0}, "Y");
    expectNear(CoordinateFrameOKLObject::parseCFString("Coord 1.Z").second, {0, 0, 1}, "Z");

    // A tilted frame: Z along (1,1,0)/√2, X from a point straight above the origin.
    run("COORD FRAME: Tilted\n"
        "  Origin Point = 0, 0, 0 [m]\n"
        "  Z Axis Point = 2, 2, 0 [m]\n"
        "  X Axis Point = 0, 0, 7 [m]\n"
        "END\n");
    const float r = std::sqrt(0.5f);
    expectNear(CoordinateFrameOKLObject::parseCFString("Tilted X").second, {0, 0, 1}, "tilted x");
    expectNear(CoordinateFrameOKLObject::parseCFString("Tilted Y").second, {r, -r, 0}, "tilted y");
    expectNear(CoordinateFrameOKLObject::parseCFString("Tilted Z").second, {r, r, 0}, "tilted z");
}

TEST_F(CoordinateFrames, BadAxisTexts) {
    for (const char* text : {"", "   ", "W", "Global W", "1, 2", "1, 2, 3, 4", "1, 2, three", "CoordX", "."})
        expectError<data::invalid>([&] { CoordinateFrameOKLObject::parseCFString(text); },
                                   {.fragments = {"CoordinateFrameOKLObject::parseCFString", "as an axis"}});
    expectError<data::invalid>([] { CoordinateFrameOKLObject::parseCFString("0, 0, 0"); }, {.fragments = {"is zero"}});
    expectError<data::notFound>([] { CoordinateFrameOKLObject::parseCFString("Coord 9 X"); },
                                {.fragments = {"Coordinate frame 'Coord 9' does not exist."}});
    // An object of that name that is no coordinate frame is no frame either.
    run("PLANE: Coord 2\nEND\n");
    EXPECT_THROW(CoordinateFrameOKLObject::parseCFString("Coord 2.X"), data::notFound);

    run("COORD FRAME: Flat\n  Origin Point = 1, 1, 1 [m]\n  Z Axis Point = 1, 1, 1 [m]\nEND\n");
    expectError<data::invalid>([] { CoordinateFrameOKLObject::parseCFString("Flat X"); },
                               {.fragments = {"Z axis point of coordinate frame 'Flat' lies on its origin"}});
    run("COORD FRAME: Line\n  Z Axis Point = 0, 0, 1 [m]\n  X Axis Point = 0, 0, 3 [m]\nEND\n");
    expectError<data::invalid>([] { CoordinateFrameOKLObject::parseCFString("Line X"); },
                               {.fragments = {"X axis point of coordinate frame 'Line' lies on its Z axis"}});
    run("COORD FRAME: Odd\n  Option = Axis Angles\nEND\n");
    expectError<data::invalid>([] { CoordinateFrameOKLObject::parseCFString("Odd X"); },
                               {.fragments = {"Unsupported option"}});
}

} // namespace
} // namespace zel::test
