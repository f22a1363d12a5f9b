// Pictures and plots made by session commands, read back from their files.
#include "host/CommandLine.h"
#include "host/render/ColourMap.h"
#include "host/render/PictureCommands.h"
#include "tests/host/HostTestSupport.h"

#include <gtest/gtest.h>

#if ZEL_HAVE_CAIRO
#include <cairo.h>
#endif

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace zel::host::test {
namespace {

namespace fs = std::filesystem;
using render::ColourMap;
using render::PictureRecord;
using render::Rgb;

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    Rgb at(double x, double y) const {
        const int i = std::clamp(int(std::floor(x)), 0, width - 1), j = std::clamp(int(std::floor(y)), 0, height - 1);
        return render::unpackRgb(pixels[std::size_t(j) * std::size_t(width) + std::size_t(i)]);
    }
    Rgb at(const render::Projection& projection, const TripletD& p) const {
        return at(projection.pixelX(p), projection.pixelY(p));
    }
};

#if ZEL_HAVE_CAIRO
Image readPng(const fs::path& file) {
    Image image;
    cairo_surface_t* s = cairo_image_surface_create_from_png(file.string().c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        image.width = cairo_image_surface_get_width(s);
        image.height = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                image.pixels.push_back(*reinterpret_cast<const std::uint32_t*>(data + y * stride + 4 * x) |
                                       0xFF000000u);
    }
    cairo_surface_destroy(s);
    return image;
}
#endif

// The largest channel difference, in 8-bit steps.
int difference(const Rgb& a, const Rgb& b) {
    return int(std::lround(255.0f * std::max({std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b)})));
}

// One colour step of the map at t: how far the colour moves for 1/255 of the range, plus
// the rounding of both colours to 8 bits.
int colourStep(const ColourMap& map, double t) {
    return difference(map.at(t), map.at(std::min(1.0, t + 1.0 / 255.0))) + 1;
}

// Whether a pixel within `radius` pixels of (x, y) has the colour c (within 40 steps:
// antialiased curves blend with the background at their edges).
bool colourNear(const Image& image, double x, double y, std::uint32_t c, int radius) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (difference(image.at(x + dx, y + dy), render::unpackRgb(c)) < 40) return true;
    return false;
}

std::size_t filesIn(const fs::path& folder) {
    std::size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) ++n;
    return n;
}

// The cube [0,1]^3 of 8^3 hexahedra with p = 1 + 2x + 3y - z and U = (1, 0, 0); a slice at
// z = 0.55 and lines along x through its middle.
class PictureTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        folder = fs::temp_directory_path() /
                 ("zel-pictures-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        host->setPictureFolder(folder);
        host->loadCase(cubeCase(8), {});
        host->runSession(
            "PLANE: Mid\n  Option = XY Plane\n  Z = 0.55 [m]\nEND\n"
            "LINE: Along X\n  Line Type = Cut\n  Point 1 = 0, 0.5, 0.55 [m]\n  Point 2 = 1, 0.5, 0.55 [m]\nEND\n"
            "LINE: Rake\n  Line Type = Sample\n  Line Samples = 5\n"
            "  Point 1 = 0.1, 0.5, 0.55 [m]\n  Point 2 = 0.9, 0.5, 0.55 [m]\nEND\n",
            "setup");
    }
    void TearDown() override {
        HostTest::TearDown();
        if (std::getenv("ZEL_KEEP_PICTURES") == nullptr) fs::remove_all(folder); // set it to look at them
    }
    const PictureRecord& last() const { return host->pictures().back(); }

    fs::path folder;
};

#if ZEL_HAVE_CAIRO

TEST_F(PictureTest, LinearFieldOnASliceHasTheMapsColoursAndTheFieldsRange) {
    host->runSession("> picture Mid, Pressure, mid.png, Width = 800, Height = 600\n", "session");
    ASSERT_EQ(host->pictures().size(), 1u);
    const render::PictureResult& r = *last().picture;
    EXPECT_EQ(last().file, folder / "mid.png");
    // The legend's ends are the field's extremes on the slice: p = 0.45 + 2x + 3y.
    EXPECT_NEAR(r.legendMin, 0.45, 1e-5);
    EXPECT_NEAR(r.legendMax, 5.45, 1e-5);
    ASSERT_FALSE(r.labels.empty());
    EXPECT_EQ(r.labels.front(), "0.45");
    EXPECT_EQ(r.labels.back(), "5.45");
    EXPECT_GE(r.ticks.size(), 5u);
    EXPECT_LE(r.ticks.size(), 7u);
    EXPECT_TRUE(contains(last().summary, "Pressure [Pa] on Mid"));

    const Image image = readPng(folder / "mid.png");
    ASSERT_EQ(image.width, 800);
    ASSERT_EQ(image.height, 600);
    const ColourMap& viridis = ColourMap::viridis();
    for (double x = 0.1; x < 1.0; x += 0.2)
        for (double y = 0.1; y < 1.0; y += 0.2) {
            const TripletD p(x, y, 0.55);
            const double t = (0.45 + 2 * x + 3 * y - 0.45) / 5.0;
            EXPECT_LE(difference(image.at(r.projection, p), viridis.at(t)), colourStep(viridis, t))
                << "at x = " << x << ", y = " << y;
        }
    // x to the right, y up, and nothing drawn beside the square.
    EXPECT_LT(r.projection.pixelX(TripletD(0.1, 0.5, 0.55)), r.projection.pixelX(TripletD(0.9, 0.5, 0.55)));
    EXPECT_GT(r.projection.pixelY(TripletD(0.5, 0.1, 0.55)), r.projection.pixelY(TripletD(0.5, 0.9, 0.55)));
    EXPECT_EQ(difference(image.at(r.projection, TripletD(-0.05, 0.5, 0.55)), {1, 1, 1}), 0);

    // A fixed range in other units, another map, and the mesh drawn over the colours.
    host->runSession("> picture Mid, Pressure, fixed.png, Colour Map = Cool to Warm, Min = 0 [Pa], Max = 10 [Pa], "
                     "Units = kPa, Draw Mesh = True, Width = 800, Height = 600\n",
                     "session");
    const render::PictureResult& f = *last().picture;
    EXPECT_NEAR(f.legendMin, 0.0, 1e-9);
    EXPECT_NEAR(f.legendMax, 0.01, 1e-9);
    EXPECT_TRUE(contains(last().summary, "Pressure [kPa]"));
    const Image fixed = readPng(folder / "fixed.png");
    const ColourMap& diverging = ColourMap::byName("Cool to Warm");
    for (const double x : {0.3125, 0.5625, 0.8125}) { // cell centres: away from the mesh lines
        const TripletD p(x, 0.5625, 0.55);
        const double t = (0.45 + 2 * x + 3 * 0.5625) / 10.0;
        EXPECT_LE(difference(fixed.at(f.projection, p), diverging.at(t)), colourStep(diverging, t));
    }
    // On the mesh line at x = 0.5 the colour is much darker than beside it.
    const Rgb e = fixed.at(f.projection, TripletD(0.5, 0.5625, 0.55));
    const Rgb b = fixed.at(f.projection, TripletD(0.53, 0.5625, 0.55));
    EXPECT_LT(e.r + e.g + e.b, b.r + b.g + b.b - 0.5f) << "no mesh line at x = 0.5";
}

TEST_F(PictureTest, TheNearerSurfaceHidesTheOneBehindIt) {
    // The cube's boundary coloured by z: looking down -z the top (z = 1) is seen, looking
    // along +z the bottom (z = 0).
    host->runSession("> picture Boundary, Z, top.png, View Direction = -Z, Width = 400, Height = 300\n"
                     "> picture Boundary, Z, bottom.png, View Direction = +Z, Width = 400, Height = 300\n",
                     "session");
    ASSERT_EQ(host->pictures().size(), 2u);
    const ColourMap& viridis = ColourMap::viridis();
    for (int k = 0; k < 2; ++k) {
        const PictureRecord& record = host->pictures()[std::size_t(k)];
        const Image image = readPng(record.file);
        for (const double x : {0.2, 0.5, 0.8}) {
            const Rgb expected = viridis.at(k == 0 ? 1.0 : 0.0);
            EXPECT_LE(difference(image.at(record.picture->projection, TripletD(x, 0.4, 0.5)), expected), 1)
                << record.file << " at x = " << x;
        }
    }
}

TEST_F(PictureTest, VectorsAreColouredByAComponentOrTheirMagnitude) {
    host->runSession("> picture Mid, Velocity, vx.png, Component = X, Width = 400, Height = 300\n"
                     "> picture Mid, Velocity Magnitude, vm.png, Width = 400, Height = 300\n",
                     "session");
    ASSERT_EQ(host->pictures().size(), 2u);
    // U = (1, 0, 0): a constant field, one label, the map's middle colour.
    for (const PictureRecord& record : host->pictures()) {
        EXPECT_NEAR(record.picture->legendMin, 1.0, 1e-6);
        EXPECT_NEAR(record.picture->legendMax, 1.0, 1e-6);
        ASSERT_EQ(record.picture->labels.size(), 1u);
        EXPECT_EQ(record.picture->labels.front(), "1");
        const Image image = readPng(record.file);
        EXPECT_LE(
            difference(image.at(record.picture->projection, TripletD(0.5, 0.5, 0.55)), ColourMap::viridis().at(0.5)),
            1);
    }
    EXPECT_TRUE(contains(host->pictures()[0].summary, "Velocity X [m s⁻¹]"));
    EXPECT_TRUE(contains(host->pictures()[1].summary, "Velocity Magnitude [m s⁻¹]"));
}

TEST_F(PictureTest, BadInputIsAClearErrorAndWritesNoFile) {
    const fs::path flat = scratchFile("zel-pictures-surfaces", "flat.txt",
                                      "0.1, 0.5, 0.5\n0.5, 0.5, 0.5\n0.9, 0.5, 0.5\n[Faces]\n0 1 2\n");
    host->runSession("PLANE: Far\n  Option = XY Plane\n  Z = 5 [m]\nEND\n"
                     "USER SURFACE: Flat\n  Option = From File\n  Input File = " +
                         flat.string() + "\nEND\n",
                     "setup");
    const std::pair<std::string, std::string> cases[] = {
        {"> picture Nowhere, Pressure, a.png", "Location 'Nowhere' does not exist."},
        {"> picture Mid, Velocity, a.png", "'Velocity' is a vector"},
        {"> picture Mid, Pressure, a.png, Component = X", "is a scalar"},
        {"> picture Mid, Pressure, no/such/folder/a.png", "Cannot write the picture file"},
        {"> picture Far, Pressure, a.png", "Location 'Far' has nothing to draw"},
        {"> picture Flat, Pressure, a.png", "Location 'Flat' has no area"},
        {"> picture Mid, Pressure, a.jpg", "must end in .png or .svg"},
        {"> picture Mid, Pressure, a.png, Colour Mapp = Viridis", "Unknown option 'Colour Mapp'"},
        {"> picture Mid, Pressure, a.png, Colour Map = Jet", "Unknown colour map 'Jet'"},
        {"> picture Mid, Pressure, a.png, View Direction = sideways", "View Direction 'sideways'"},
        {"> picture Mid, Pressure, a.png, Width = 10", "Width must be 64 to 8192 pixels"},
        {"> picture Mid, Pressure, a.png, Min = 5 [Pa], Max = 1 [Pa]", "below its Min"},
        {"> picture Mid, Pressure, a.png, Units = m", "do not fit"},
        {"> picture Mid, Presure, a.png", "Presure"},
        {"> picture Mid, Pressure", "> picture needs LOCATION, VARIABLE, FILE"},
        {"> picture Mid, Pressure, a.png, Draw Mesh = perhaps", "Draw Mesh"},
        {"> plot Mid, Pressure, a.png", "'Mid' is no line"},
        {"> plot Along X, Pressure, X, Velocity X, a.png", "at most two kinds of units"},
        {"> plot Along X, Pressure, a.png, X Axis = W", "X Axis 'W'"},
    };
    for (const auto& [text, message] : cases) {
        expectSessionFails(text + "\n", "session", message);
        EXPECT_EQ(filesIn(folder), 0u) << text;
    }
    EXPECT_TRUE(host->pictures().empty());
}

TEST_F(PictureTest, APictureObjectKeepsItsSettings) {
    host->runSession("PICTURE: Mid Pressure\n  Location = Mid\n  Variable = Pressure\n  File = object.png\n"
                     "  Colour Map = Rainbow\n  Width = 400\n  Height = 300\nEND\n"
                     "> picture Mid Pressure\n"
                     "> picture Mid Pressure, File = object.svg, Title = Another title\n"
                     "> picture Mid Pressure, second.png\n",
                     "session");
    ASSERT_EQ(host->pictures().size(), 3u);
    const PictureRecord& png = host->pictures()[0];
    const Image image = readPng(png.file);
    EXPECT_EQ(image.width, 400);
    const double t = (2 * 0.7 + 3 * 0.2) / 5.0;
    const ColourMap& rainbow = ColourMap::byName("Rainbow");
    EXPECT_LE(difference(image.at(png.picture->projection, TripletD(0.7, 0.2, 0.55)), rainbow.at(t)),
              colourStep(rainbow, t));
    EXPECT_EQ(parseXml(readText(folder / "object.svg")), std::make_pair(std::string("svg"), std::string("400px")));
    EXPECT_TRUE(fs::exists(folder / "second.png"));
    // The stored object is unchanged by the options of a command.
    EXPECT_EQ(ObjectDB::instance()->getObjectByName("Mid Pressure")->getValue("File"), "object.png");
}

TEST_F(PictureTest, PlotCurvesPassThroughThePixelsOfKnownValues) {
    // Along x at y = 0.5, z = 0.55: p = 1.95 + 2x, and x² on a right axis (m²).
    host->runSession("> plot Along X, Pressure, X * X, along.png, Width = 800, Height = 600\n", "session");
    const render::PlotResult& r = *last().plot;
    ASSERT_TRUE(r.hasRightAxis);
    EXPECT_EQ(r.axisOfCurve, (std::vector<int>{0, 1}));
    EXPECT_TRUE(contains(r.y.label, "Pressure [Pa]"));
    EXPECT_TRUE(contains(r.y2.label, "X * X [m²]"));
    EXPECT_EQ(r.x.label, "Arc Length [m]");
    const Image image = readPng(folder / "along.png");
    for (const double s : {0.1, 0.35, 0.6, 0.9}) {
        const double px = r.pixelX(s);
        EXPECT_TRUE(colourNear(image, px, r.pixelY(1.95 + 2 * s, 0), r.colours[0], 1)) << "pressure at " << s;
        EXPECT_TRUE(colourNear(image, px, r.pixelY(s * s, 1), r.colours[1], 1)) << "x² at " << s;
        // Not a little off the curve: a tenth of the axis above it.
        EXPECT_FALSE(colourNear(image, px, r.pixelY(1.95 + 2 * s + 0.1 * (r.y.hi - r.y.lo), 0), r.colours[0], 1));
    }
    // The same against the coordinate y: a line across it is a vertical step.
    host->runSession("> plot Along X, Pressure, along-x.svg, X Axis = X, Width = 800, Height = 600\n", "session");
    EXPECT_EQ(last().plot->x.label, "X [m]");
    EXPECT_EQ(parseXml(readText(folder / "along-x.svg")), std::make_pair(std::string("svg"), std::string("800px")));
}

TEST_F(PictureTest, APlotMarksTheSamplePointsOfARake) {
    // Velocity X = 1 everywhere: flat curves. The sample line's five points are marked, the
    // cut line's crossings are not.
    host->runSession("> plot Rake, Velocity X, rake.png, Width = 800, Height = 600\n"
                     "> plot Along X, Velocity X, cut.png, Width = 800, Height = 600\n",
                     "session");
    ASSERT_EQ(host->pictures().size(), 2u);
    const render::PlotResult& rake = *host->pictures()[0].plot;
    const render::PlotResult& cut = *host->pictures()[1].plot;
    const Image rakeImage = readPng(host->pictures()[0].file), cutImage = readPng(host->pictures()[1].file);
    for (int i = 0; i < 5; ++i) {
        const double s = 0.2 * i; // arc length from Point 1
        const double above = rake.pixelY(1.0) - 2.5;
        EXPECT_TRUE(colourNear(rakeImage, rake.pixelX(s), above, rake.colours[0], 0)) << "no marker at " << s;
        if (i < 4) {
            EXPECT_FALSE(colourNear(cutImage, cut.pixelX(s + 0.1), cut.pixelY(1.0) - 2.5, cut.colours[0], 0));
        }
    }
    // The end points lie on the frame; their markers are whole, not cut by it.
    EXPECT_TRUE(colourNear(rakeImage, rake.pixelX(0.0) - 3.0, rake.pixelY(1.0), rake.colours[0], 0));
    EXPECT_TRUE(colourNear(rakeImage, rake.pixelX(0.8) + 3.0, rake.pixelY(1.0), rake.colours[0], 0));
}

TEST_F(PictureTest, WithoutAFolderPicturesAreCheckedAndSkippedWithOneNotice) {
    host->setPictureFolder(std::nullopt);
    host->runSession("> picture Mid, Pressure, skipped.png\n> plot Along X, Pressure, skipped.svg\n", "session");
    expectSessionFails("> picture Nowhere, Pressure, skipped.png\n", "session", "does not exist");
    EXPECT_TRUE(host->pictures().empty());
    EXPECT_EQ(filesIn(folder), 0u);
    EXPECT_FALSE(fs::exists("skipped.png"));
    std::size_t notices = 0;
    for (const auto& report : ErrorProgressReporter::instance()->getReports())
        if (report.getMessage().find("written only into a picture folder") != std::string::npos) ++notices;
    EXPECT_EQ(notices, 1u);
}

TEST_F(PictureTest, TheDemoWritesItsPicturesIntoTheFolder) {
    host.reset(); // one Host at a time: zelpost makes its own
    std::ostringstream out, err;
    const fs::path demo = folder / "demo";
    EXPECT_EQ(runZelpost({"--demo", "--pictures", demo.string()}, out, err), 0) << err.str();
    std::size_t pngs = 0;
    for (const auto& e : fs::directory_iterator(demo)) {
        EXPECT_EQ(e.path().extension(), ".png") << e.path();
        if (readPng(e.path()).width == 1600) ++pngs;
    }
    EXPECT_GE(pngs, 3u);
    EXPECT_TRUE(contains(out.str(), "wrote " + (demo / "demo-mid-plane-velocity.png").string()));
}

#else

TEST_F(PictureTest, WithoutCairoTheCommandsSaySo) {
    expectSessionFails("> picture Mid, Pressure, a.png\n", "session", "built without Cairo");
    expectSessionFails("> plot Along X, Pressure, a.png\n", "session", "built without Cairo");
    EXPECT_EQ(filesIn(folder), 0u);
}

#endif

} // namespace
} // namespace zel::host::test
