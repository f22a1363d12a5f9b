// User surfaces in a box domain with linear fields: surfaces from files (exact areas and
// averages, file variables), offset and transformed copies against their analytic areas and
// positions, the fringe strip of a contour level, the options that build nothing or are not
// available, error messages, and the render step.
#include "tests/locators/LocatorTestSupport.h"

#include "framework/okl/ContourOKLObject.h"
#include "locators/UserSurfaceCalcFunc.h"

#include <cmath>
#include <fstream>
#include <numbers>

namespace zel::test {
namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

std::string writeFile(const std::string& name, const std::string& text) {
    // ctest runs the tests of this file as processes of their own, side by side: one file
    // per test, so that none reads another's half-written file.
    const std::string path = ::testing::TempDir() + "zel_usersurface_calc_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The rectangle [0.2, 0.8] x [0.1, 0.7] at z = 0.5 as two triangles, counter-clockwise seen
// from +z, with a column "Heat" = 300 + 10 x.
const char* const kRectangle = "X [m], Y [m], Z [m], Heat [K]\n"
                               "0.2, 0.1, 0.5, 302\n"
                               "0.8, 0.1, 0.5, 308\n"
                               "0.8, 0.7, 0.5, 308\n"
                               "0.2, 0.7, 0.5, 302\n"
                               "[Faces]\n"
                               "0 1 2\n"
                               "0 2 3\n";
constexpr double kRectArea = 0.36;

// f = 1 + 2x + 3y - z at the rectangle's centroid (0.5, 0.4, 0.5).
constexpr double kRectAve = 2.7;

// A regular polygon of n rim points of radius r about (cx, cy, z) and its centre point, as a
// fan of triangles.
std::string discFile(int n, double r, double cx, double cy, double z) {
    std::string text = "[Data]\n";
    text += std::to_string(cx) + " " + std::to_string(cy) + " " + std::to_string(z) + "\n";
    for (int k = 0; k < n; ++k) {
        const double a = 2.0 * std::numbers::pi * k / n;
        text += std::to_string(cx + r * std::cos(a)) + " " + std::to_string(cy + r * std::sin(a)) + " " +
                std::to_string(z) + "\n";
    }
    text += "[Faces]\n";
    for (int k = 0; k < n; ++k) text += "0, " + std::to_string(1 + k) + ", " + std::to_string(1 + (k + 1) % n) + "\n";
    return text;
}

class UserSurfaceTest : public LocatorTest {
protected:
    void SetUp() override {
        LocatorTest::SetUp();
        box = addDomain(makeHexBox("Box", 4, 4, 4));
        addField("F", benchField);
    }
    GeometricOKLObject* addSurface(const std::string& name, const Params& params) {
        return addTyped<GeometricOKLObject>("USER SURFACE", name, params);
    }
    GeometricOKLObject* fileSurface(const std::string& name, const std::string& text, Params more = {}) {
        more.insert(more.begin(), {"Input File", writeFile(name, text)});
        return built(addSurface(name, more));
    }
    // A built copy of `source` offset by `distance` (along `direction` when one is given).
    GeometricOKLObject* offset(const std::string& name, const std::string& source, const std::string& type,
                               const std::string& distance, const std::string& direction = "") {
        Params params{{"Option", "Offset From Surface"},
                      {"Surface Name", source},
                      {"Offset Type", type},
                      {"Offset Distance", distance}};
        if (!direction.empty()) params.emplace_back("Offset Direction", direction);
        return built(addSurface(name, params));
    }
    static void setAndRun(GeometricOKLObject& object, const Params& params) {
        for (const auto& [name, value] : params) object.setParameter(name, value);
        run(object);
    }
    // Set `params`, the build raises E with `message`.
    template <typename E>
    static void expectRunError(GeometricOKLObject& object, const Params& params, const std::string& message) {
        for (const auto& [name, value] : params) object.setParameter(name, value);
        expectError<E>([&] { run(object); }, {.message = message});
    }
    // Vertices of the object's geometry `name`.
    static std::vector<TripletF> vertices(GeometricOKLObject& object, const std::string& name = "") {
        const Geometry* g = object.getGeometry(name);
        EXPECT_NE(g, nullptr);
        return g ? std::vector<TripletF>(g->getVertices().begin(), g->getVertices().end()) : std::vector<TripletF>();
    }
    GeometricOKLObject* midPlane() {
        return built(addTyped<GeometricOKLObject>("PLANE", "Mid", {{"Option", "XY Plane"}, {"Z", "0.5 [m]"}}));
    }
    DomainGeometryBase* box = nullptr;
};

void expectNear(const TripletF& a, const TripletD& b, double tol = 2e-6) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], tol) << "component " << k;
}

TEST_F(UserSurfaceTest, FileSurfaceHasTheExactAreaAndAverageOfALinearField) {
    auto* s = fileSurface("rect", kRectangle);
    ASSERT_EQ(s->getGeometryNames(), std::vector<std::string>{""});
    const Geometry* g = s->getGeometry("");
    ASSERT_NE(dynamic_cast<const ExternalGeometry*>(g), nullptr);
    EXPECT_EQ(g->getName(), "rect");
    EXPECT_EQ(g->getInterpolant()->getDomains(), std::vector<std::string>{"Box"});
    EXPECT_EQ(g->getFaceSetNames(), (std::vector<std::string>{"TRIANGLE", "QUAD", "PENTAGON", "HEXAGON"}));
    // Single-precision coordinates and weights: a few float epsilons of the sums.
    EXPECT_NEAR(area(*s), kRectArea, 1e-6);
    EXPECT_NEAR(areaAve(*s, "F"), kRectAve, 2e-6);
    // The file's own column, served by the reader that the geometry keeps.
    EXPECT_NEAR(areaAve(*s, "Heat"), 305.0, 1e-4);

    // A disc of 12 rim points: the polygon's area, the field at its centre.
    auto* disc = fileSurface("disc", discFile(12, 0.3, 0.45, 0.55, 0.25));
    EXPECT_NEAR(area(*disc), 0.5 * 12 * 0.09 * std::sin(2 * std::numbers::pi / 12), 2e-6);
    EXPECT_NEAR(areaAve(*disc, "F"), 1 + 0.9 + 1.65 - 0.25, 4e-6);

    // A hexagon face 0..5 weighs like the same hexagon as a fan of triangles.
    const std::string points =
        "0.1 0.1 0.5\n0.5 0.05 0.5\n0.9 0.1 0.5\n0.9 0.9 0.5\n0.5 0.95 0.5\n0.1 0.9 0.5\n[Faces]\n";
    auto* hex = fileSurface("hex", points + "0-5\n");
    auto* fan = fileSurface("fan", points + "0 1 2\n0 2 3\n0 3 4\n0 4 5\n");
    EXPECT_NEAR(area(*hex), area(*fan), 1e-6);
    EXPECT_NEAR(area(*hex), 0.8 * 0.8 + 2 * 0.5 * 0.8 * 0.05, 1e-6);
    EXPECT_NEAR(areaAve(*hex, "F"), areaAve(*fan, "F"), 2e-6);
}

TEST_F(UserSurfaceTest, BadFilesLeaveNoGeometryAndNameTheProblem) {
    auto* s = fileSurface("good", kRectangle);
    ASSERT_TRUE(s->hasGeometry(""));
    auto runWith = [&](const std::string& file) {
        s->setParameter("Input File", file);
        run(*s);
    };
    const unsigned builds = UserSurfaceCalcFunc::getBuildsInProgress();
    expectError<data::invalid>([&] { runWith(writeFile("nofaces", "0 0 0\n1 0 0\n1 1 0\n")); },
                               {.className = "UserSurfaceGeometryReader",
                                .message = "Faces connectivity is not supplied.  Cannot create User Surface."});
    EXPECT_EQ(s->getNumGeometries(), 0u);
    // A failed build is not counted down.
    EXPECT_EQ(UserSurfaceCalcFunc::getBuildsInProgress(), builds + 1);

    expectError<data::invalid>([&] { runWith(writeFile("badline", "0 0 0\n1 0 0\n1 1 0\n[Faces]\n0 1 3\n")); },
                               {.message = "Face connectivity index out of range on line 5, should be within: 0..2"});
    EXPECT_EQ(s->getNumGeometries(), 0u);

    // The point list's own errors name the file and the line.
    const std::string bad = writeFile("badpoint", "0 0 0\n1 zero 0\n[Faces]\n");
    expectError<data::invalid>([&] { runWith(bad); }, {.fragments = {bad, "line 2"}});
    EXPECT_THROW(runWith(::testing::TempDir() + "zel_usersurface_no_such_file"), data::notFound);
    EXPECT_EQ(s->getNumGeometries(), 0u);
}

TEST_F(UserSurfaceTest, OptionsThatBuildNothingOrFail) {
    for (const char* option : {"Patran Import", "Something Else"}) {
        auto* s = addSurface(std::string("S ") + option, {{"Option", option}});
        EXPECT_NO_THROW(run(*s));
        EXPECT_EQ(s->getNumGeometries(), 0u);
    }
    // A load file surface without its file.
    auto* norva = addSurface("T", {{"Option", "NORVA"}});
    EXPECT_THROW(run(*norva), data::notFound);
    EXPECT_EQ(norva->getNumGeometries(), 0u);
    UserSurfaceCalcFunc calc;
    auto* plain = addObject("VIEWPORT MANAGER", "VM");
    expectError<internal::error>([&] { calc(plain, "top"); },
                                 {.className = "UserSurfaceCalcFunc", .message = "Cast to GeometricOKLObject failed."});
    // Unknown actions and "glyph" do nothing.
    auto* s = fileSurface("actions", kRectangle);
    calc(s, "glyph");
    calc(s, "no such action");
    EXPECT_TRUE(s->hasGeometry(""));
    std::unique_ptr<CalcBase> copy(UserSurfaceCalcFunc(false).clone());
    EXPECT_FALSE(dynamic_cast<UserSurfaceCalcFunc&>(*copy).getFlag());
}

TEST_F(UserSurfaceTest, OffsetAlongNormalsOrADirectionMovesByTheDistance) {
    fileSurface("rect", kRectangle);
    auto* normal = offset("up", "rect", "Normal", "100 [mm]");
    for (const TripletF& p : vertices(*normal)) EXPECT_NEAR(p.z, 0.6, 1e-6);
    EXPECT_NEAR(area(*normal), kRectArea, 1e-6);
    EXPECT_NEAR(areaAve(*normal, "F"), kRectAve - 0.1, 2e-6);
    EXPECT_EQ(normal->getGeometry("")->getName(), "up");
    EXPECT_EQ(normal->getGeometry("")->getInterpolant()->getDomains(), std::vector<std::string>{"Box"});

    // The direction is normalised.
    auto* side = offset("side", "rect", "Translational", "0.1", "2, 0, 0");
    EXPECT_NEAR(areaAve(*side, "F"), kRectAve + 0.2, 2e-6);
    for (const TripletF& p : vertices(*side))
        EXPECT_TRUE(std::fabs(p.x - 0.3f) < 1e-6f || std::fabs(p.x - 0.9f) < 1e-6f);

    // Any other type leaves the copy where the source is.
    setAndRun(*side, {{"Offset Type", "None"}});
    EXPECT_NEAR(areaAve(*side, "F"), kRectAve, 2e-6);

    side->setParameter("Offset Direction", "1, 0");
    expectError<data::invalid>([&] { run(*side); },
                               {.className = "UserSurfaceCalcFunc",
                                .message = "Parameter 'Offset Direction' must be defined by 3 float values."});
    EXPECT_EQ(side->getNumGeometries(), 0u);

    // A slice plane's copy keeps its domain pieces.
    midPlane();
    auto* lifted = offset("lifted", "Mid", "Translational", "0.2", "0, 0, 1");
    ASSERT_EQ(lifted->getGeometryNames(), std::vector<std::string>{"Box"});
    EXPECT_NEAR(area(*lifted), 1.0, 1e-6);
    // f at (0.5, 0.5, 0.7).
    EXPECT_NEAR(areaAve(*lifted, "F"), 1 + 1 + 1.5 - 0.7, 2e-6);
}

TEST_F(UserSurfaceTest, OffsetByAVariableLeavesUndefinedVerticesInPlace) {
    Geometry source;
    source.setVertices(TripletZELVector{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    source.addFaceSet("t", ShapeType::Triangle, 1)->setElement(0, std::vector<int>{0, 1, 2});
    const float lift[3] = {0.5f, UNDEFINED_VALUE, 0.25f};
    auto variable = std::make_unique<ScalarVariable>(lift, 3);
    variable->setName("Lift");
    source.addVariable(std::move(variable));
    auto offsetCopy = [&](const std::string& type, float distance, const TripletF& direction, const std::string& by) {
        std::unique_ptr<Geometry> copy = source.clone(true, false);
        UserSurfaceCalcFunc::offsetGeometry(&source, copy.get(), type, distance, direction, by);
        return std::vector<TripletF>(copy->getVertices().begin(), copy->getVertices().end());
    };

    const std::vector<TripletF> normal = offsetCopy("Normal", 9.0f, {1, 0, 0}, "Lift");
    expectNear(normal[0], {0, 0, 0.5});
    expectNear(normal[1], {1, 0, 0});
    expectNear(normal[2], {0, 1, 0.25});
    // Translational: the direction times the value; a variable the source lacks moves every
    // vertex by the distance.
    const std::vector<TripletF> along = offsetCopy("Translational", 9.0f, {0, 1, 0}, "Lift");
    expectNear(along[0], {0, 0.5, 0});
    expectNear(along[1], {1, 0, 0});
    expectNear(offsetCopy("Translational", 2.0f, {0, 1, 0}, "Missing")[1], {1, 2, 0});
}

TEST_F(UserSurfaceTest, TransformedSurfaceScalesRotatesAndTranslatesInThatOrder) {
    const std::vector<TripletF> source = vertices(*fileSurface("rect", kRectangle));
    auto* t = addSurface("t", {{"Option", "Transformed Surface"}, {"Surface Name", "rect"}});

    // All switches off: an exact copy.
    run(*t);
    EXPECT_EQ(vertices(*t), source);
    EXPECT_EQ(t->getGeometry("")->getName(), "t");

    // Scale by 2 about the centre of the bounding box (0.5, 0.4, 0.5).
    setAndRun(*t, {{"Apply Scale", "True"}, {"Scale Factor", "2"}});
    EXPECT_NEAR(area(*t), 4 * kRectArea, 1e-5);
    const TripletZELVector& scaled = t->getGeometry("")->getVertices();
    expectNear(scaled.getMinExtents(), {-0.1, -0.2, 0.5});
    expectNear(scaled.getMaxExtents(), {1.1, 1.0, 0.5});

    // A quarter turn about the vertical line through (0.5, 0.5): the centroid (0.5, 0.4)
    // goes to (0.6, 0.5).
    setAndRun(*t, {{"Apply Scale", "False"},
                   {"Apply Rotation", "True"},
                   {"Rotation Angle", "90 [degree]"},
                   {"Rotation Axis Type", "Two Points"},
                   {"Rotation Axis From", "500, 500, 0 [mm]"},
                   {"Rotation Axis To", "0.5, 0.5, 1"}});
    EXPECT_NEAR(area(*t), kRectArea, 1e-6);
    EXPECT_NEAR(areaAve(*t, "F"), 1 + 1.2 + 1.5 - 0.5, 4e-6);

    // Then translated by (0, 0, -0.25).
    setAndRun(*t, {{"Apply Translation", "True"}, {"Translation Vector", "0, 0, -250 [mm]"}});
    EXPECT_NEAR(areaAve(*t, "F"), 1 + 1.2 + 1.5 - 0.25, 4e-6);
    for (const TripletF& p : vertices(*t)) EXPECT_NEAR(p.z, 0.25, 1e-6);

    // Principal axes about the origin: "Y" turns (0.2, 0.1, 0.5) by 90° to (0.5, 0.1, -0.2).
    setAndRun(*t, {{"Apply Translation", "False"}, {"Rotation Axis Type", "Principal Axis"}, {"Principal Axis", "Y"}});
    expectNear(vertices(*t)[0], {0.5, 0.1, -0.2});
    setAndRun(*t, {{"Principal Axis", "X"}});
    expectNear(vertices(*t)[0], {0.2, -0.5, 0.1});
}

TEST_F(UserSurfaceTest, TransformedSurfaceRejectsBadAxesAndVectors) {
    fileSurface("rect", kRectangle);
    auto* t = addSurface("t", {{"Option", "Transformed Surface"},
                               {"Surface Name", "rect"},
                               {"Rotation Axis Type", "Two Points"},
                               {"Rotation Axis From", "1, 2, 3"},
                               {"Rotation Axis To", "1000, 2000, 3000 [mm]"}});
    // Checked even when the rotation is not applied.
    expectError<data::invalid>(
        [&] { run(*t); },
        {.className = "UserSurfaceCalcFunc", .message = "Rotation axis cannot be defined via two coincident points."});
    EXPECT_EQ(t->getNumGeometries(), 0u);
    expectRunError<data::invalid>(*t, {{"Rotation Axis To", "1, 2"}},
                                  "Parameter 'Rotation Axis To' must be defined by 3 float values.");
    expectRunError<data::invalid>(*t, {{"Rotation Axis Type", "Principal Axis"}, {"Translation Vector", "1"}},
                                  "Parameter 'Translation Vector' must be defined by 3 float values.");

    expectRunError<internal::badParam>(*t, {{"Surface Name", "nothing"}},
                                       "Cannot find OKL object for surface  'nothing'.");
    addObject("VIEWPORT MANAGER", "VM");
    expectRunError<internal::badParam>(*t, {{"Surface Name", "VM"}},
                                       "Bad cast of OKLObject 'VM' to GeometricOKLObject.");
}

TEST_F(UserSurfaceTest, TransformedCopiesOfSeveralDomainsAreJoined) {
    addDomain(makeHexBox("Right", 3, 3, 3, {1, 0, 0}, {2, 1, 1}));
    ASSERT_EQ(midPlane()->getNumGeometries(), 2u);
    auto* t = built(addSurface("t", {{"Option", "Transformed Surface"},
                                     {"Surface Name", "Mid"},
                                     {"Apply Translation", "True"},
                                     {"Translation Vector", "0, 0, 0.1"}}));
    ASSERT_EQ(t->getGeometryNames(), std::vector<std::string>{""});
    EXPECT_NEAR(area(*t), 2.0, 1e-5);
    // f over [0, 2] x [0, 1] at z = 0.6: its centre (1, 0.5).
    EXPECT_NEAR(areaAve(*t, "F"), 1 + 2 + 1.5 - 0.6, 4e-6);
    EXPECT_EQ(t->getGeometry("")->getInterpolant()->getDomains(), (std::vector<std::string>{"Box", "Right"}));
}

class ContourSurfaceTest : public UserSurfaceTest {
protected:
    void SetUp() override {
        UserSurfaceTest::SetUp();
        midPlane();
        // F on the plane runs from 0.5 to 5.5: six levels 0.5, 1.5, ..., 5.5.
        contour = addTyped<ContourOKLObject>(
            "CONTOUR", "C", {{"Location List", "Mid"}, {"Colour Variable", "F"}, {"Number of Contours", "6"}});
        contour->calculateContours();
    }
    ContourOKLObject* contour = nullptr;
};

TEST_F(ContourSurfaceTest, FringeFacesOfALevelAreTheBandOfTheLinearField) {
    auto* s = built(addSurface("band", {{"Option", "From Contour"}, {"Contour Name", "C"}, {"Contour Level", "2"}}));
    ASSERT_EQ(s->getGeometryNames(), std::vector<std::string>{"Box"});
    // Level 2 holds 1.5 <= F < 2.5 on z = 0.5, i.e. 1 <= 2x + 3y < 2: the area between
    // two triangles of areas 1/12 and 4/12; the mean of s = 2x + 3y there is 14/9.
    EXPECT_NEAR(area(*s), 0.25, 1e-6);
    EXPECT_NEAR(areaAve(*s, "F"), 0.5 + 14.0 / 9.0, 4e-6);
    const Geometry* g = s->getGeometry("Box");
    EXPECT_EQ(g->getInterpolant()->getKind(), InterpolantKind::Hybrid);
    for (const std::string& name : g->getFaceSetNames()) EXPECT_EQ(name.rfind("Box:", 0), 0u) << name;
    for (const TripletF& p : g->getVertices()) {
        const double v = 2.0 * p.x + 3.0 * p.y;
        EXPECT_GE(v, 1.0 - 1e-5);
        EXPECT_LE(v, 2.0 + 1e-5);
    }
    // Every vertex is used by a face.
    std::vector<bool> used(std::size_t(g->getNumVertices()), false);
    for (const std::string& name : g->getFaceSetNames())
        for (int n : g->getFaceSet(name)->getConnectivity()) used[std::size_t(n)] = true;
    EXPECT_EQ(std::count(used.begin(), used.end(), false), 0);

    // The bands of all levels tile the plane.
    double total = 0.0;
    for (int level = 1; level <= 6; ++level) {
        setAndRun(*s, {{"Contour Level", std::to_string(level)}});
        total += area(*s);
    }
    EXPECT_NEAR(total, 1.0, 1e-5);
}

TEST_F(ContourSurfaceTest, MissingLevelsAreReportedAndBadContoursRaise) {
    auto* s = addSurface("band", {{"Option", "From Contour"}, {"Contour Name", "C"}, {"Contour Level", "0"}});
    for (const char* level : {"0", "7"}) {
        const std::size_t before = reports().size();
        EXPECT_NO_THROW(setAndRun(*s, {{"Contour Level", level}}));
        EXPECT_EQ(s->getNumGeometries(), 0u);
        ASSERT_EQ(reports().size(), before + 1);
        EXPECT_EQ(reports().back().getMessage(), std::string("Requested contour level ") + level + " does not exist.");
        EXPECT_EQ(reports().back().getErrorType(), ErrWarning);
    }
    expectRunError<internal::badParam>(*s, {{"Contour Level", "1"}, {"Contour Name", "none"}},
                                       "Cannot find OKL object for contour  'none'.");
    addObject("VIEWPORT MANAGER", "VM");
    expectRunError<internal::badParam>(*s, {{"Contour Name", "VM"}},
                                       "Bad cast of OKLObject 'VM' to GeometricOKLObject.");
    expectRunError<internal::nullPointer>(*s, {{"Contour Name", "Mid"}},
                                          "Can't cast GeometricOKLObject for Mid to ContourOKLObject.");
    expectRunError<data::invalid>(*s, {{"Contour Name", "C"}, {"Domain List", ""}},
                                  "Empty domain list found in Domain List parameter.");
}

TEST_F(UserSurfaceTest, RenderDrawsTheSurfaceWithItsSettings) {
    auto* s = fileSurface("rect", kRectangle,
                          {{"Draw Lines", "True"}, {"Line Colour Mode", "Custom"}, {"Culling Mode", "Back Faces"}});
    // The drawn item of the surface after a render (with this colour variable).
    auto render = [&](const char* colourVariable = nullptr) {
        if (colourVariable != nullptr) s->setParameter("Colour Variable", colourVariable);
        run(*s, "render");
        return ViewerInterface::instance()->getItem(s->getPath(), "");
    };
    const DrawnItem* item = render();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->getNumPolygons(), 2u);
    // Feature lines at 0°: the four free edges (the diagonal joins coplanar faces).
    EXPECT_EQ(item->getNumLines(), 4u);
    EXPECT_TRUE(item->graphic.getDrawLines());
    EXPECT_EQ(item->graphic.getCullingMode(), "Back Faces");
    EXPECT_FALSE(s->isGeometryChanged());
    // The domain of its list has no geometry: nothing is drawn for it.
    EXPECT_EQ(ViewerInterface::instance()->getItem(s->getPath(), "Box"), nullptr);

    s->setParameter("Colour Mode", "Variable");
    item = render("F");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->graphic.getColourVariableName(), "F");
    // An empty colour variable is taken as "Pressure".
    addField("Pressure", [](const TripletD&) { return 1e5; });
    EXPECT_EQ(render("")->graphic.getColourVariableName(), "Pressure");
    EXPECT_EQ(s->getValue("Colour Variable"), "Pressure");
    // The file's own column: its reader declared it in the database.
    EXPECT_EQ(render("Heat")->graphic.getColourVariableName(), "Heat");

    // "<variable> on <location>" is taken from that location, which has no geometry of
    // this name.
    run(*addTyped<GeometricOKLObject>("PLANE", "Mid", {{"Option", "XY Plane"}}));
    expectError<internal::nullPointer>([&] { render("F on Mid"); }, {.className = "UserSurfaceCalcFunc",
                                                                     .message = "Couldn't find variable F on Mid"});
    EXPECT_EQ(ViewerInterface::instance()->getItem(s->getPath(), ""), nullptr);
    // A coordinate is computed on the geometry but is no variable of the database.
    expectError<internal::nullPointer>([&] { render("X"); }, {.message = "Couldn't find variable okl object X"});
}

} // namespace
} // namespace zel::test
