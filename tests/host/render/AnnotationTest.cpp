// Colour maps, tick values and labels, and the camera of pictures.
#include "framework/core/Error.h"
#include "host/render/Camera.h"
#include "host/render/ColourMap.h"
#include "host/render/Ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace zel::host::render {
namespace {

TEST(ColourMapTest, PublishedTablesSpreadEvenlyAndNamesMatchLoosely) {
    const ColourMap& viridis = ColourMap::viridis();
    ASSERT_EQ(viridis.table().size(), 256u);
    // The published ends, and a value halfway between two entries.
    EXPECT_FLOAT_EQ(viridis.at(0.0).r, 0.267004f);
    EXPECT_FLOAT_EQ(viridis.at(1.0).b, 0.143936f);
    const Rgb a = viridis.table()[127], b = viridis.table()[128], mid = viridis.at(0.5);
    EXPECT_NEAR(mid.g, 0.5f * (a.g + b.g), 1e-6f);
    EXPECT_FLOAT_EQ(viridis.at(-3.0).r, viridis.at(0.0).r);
    EXPECT_FLOAT_EQ(viridis.at(std::nan("")).g, viridis.at(0.0).g);
    // Cool to warm: 33 entries with the grey midpoint at the middle.
    const ColourMap& diverging = ColourMap::byName("cool-to-warm");
    EXPECT_EQ(diverging.name(), "Cool to Warm");
    ASSERT_EQ(diverging.table().size(), 33u);
    EXPECT_NEAR(diverging.at(0.5).r, 0.865395f, 1e-6f);
    EXPECT_NEAR(diverging.at(0.5).b, 0.865396f, 1e-6f);
    EXPECT_EQ(ColourMap::byName("turbo").name(), "Rainbow");
    EXPECT_EQ(&ColourMap::byName("VIRIDIS"), &viridis);
    try {
        ColourMap::byName("jet");
        ADD_FAILURE() << "jet accepted";
    } catch (const data::invalid& e) {
        EXPECT_NE(std::string(e.what()).find("Viridis, Cool to Warm, Rainbow"), std::string::npos) << e.what();
    }
    const std::vector<std::uint32_t> packed = viridis.packedTable(5);
    EXPECT_EQ(packed.front(), packRgb(viridis.at(0.0)));
    EXPECT_EQ(packed[2], packRgb(viridis.at(0.5)));
    EXPECT_EQ(packRgb({1.0f, 0.5f, 0.0f}), 0xFFFF8000u);
}

// Random ranges of every size and sign: 5 to 7 ticks, inside the range, evenly spaced by a
// round step, with labels that tell them apart and read back as their values.
TEST(TicksTest, FiveToSevenRoundTicksOnRandomRanges) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> exponent(-7.0, 7.0), unit(-1.0, 1.0);
    const std::set<double> mantissas = {1, 1.5, 2, 2.5, 3, 4, 5, 6, 8};
    for (int trial = 0; trial < 20000; ++trial) {
        const double size = std::pow(10.0, exponent(rng));
        const double lo = unit(rng) * size * (trial % 3 == 0 ? 100.0 : 1.0);
        const double hi = lo + size * (0.01 + std::fabs(unit(rng)));
        double step = 0.0;
        const std::vector<double> ticks = niceTicks(lo, hi, &step);
        ASSERT_GE(ticks.size(), 5u) << lo << " .. " << hi;
        ASSERT_LE(ticks.size(), 7u) << lo << " .. " << hi;
        const double k = std::floor(std::log10(step) + 1e-9);
        const double m = step / std::pow(10.0, k);
        EXPECT_TRUE(std::any_of(mantissas.begin(), mantissas.end(), [&](double x) { return std::fabs(x - m) < 1e-9; }))
            << "step " << step;
        std::set<std::string> labels;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_GE(ticks[i], lo - 1e-9 * step);
            EXPECT_LE(ticks[i], hi + 1e-9 * step);
            if (i > 0) {
                EXPECT_NEAR(ticks[i] - ticks[i - 1], step, 1e-9 * step);
            }
            const std::string label = formatTick(ticks[i], step);
            labels.insert(label);
            EXPECT_NEAR(std::stod(label), ticks[i], 1e-3 * step) << label;
        }
        EXPECT_EQ(labels.size(), ticks.size()) << "labels repeat for " << lo << " .. " << hi;
    }
    // A point range has one tick.
    EXPECT_EQ(niceTicks(3.0, 3.0).size(), 1u);
    double step = 0.0;
    const std::vector<double> t = niceTicks(0.0, 1.0, &step);
    EXPECT_EQ(formatTick(t[1], step), "0.25"); // 0, 0.25, ..., 1: the largest step with 5 to 7
    EXPECT_EQ(formatTick(0.0, 0.5), "0.0");
    EXPECT_EQ(formatTick(1500.0, 500.0), "1500");
}

TEST(TicksTest, ValuesAndUnitsReadAsAUserWritesThem) {
    EXPECT_EQ(formatValue(1.250737), "1.2507");
    EXPECT_EQ(formatValue(101325.0), "101325");
    EXPECT_EQ(formatValue(0.0), "0");
    EXPECT_EQ(formatValue(-0.5), "-0.5");
    EXPECT_EQ(formatValue(-2.5e-5), "-2.5e-05");
    EXPECT_EQ(formatValue(3.6e7), "3.6e+07");
    EXPECT_EQ(prettyUnits("kg m^-1 s^-2"), "kg m⁻¹ s⁻²");
    EXPECT_EQ(prettyUnits("m^2 s^-12"), "m² s⁻¹²");
    EXPECT_EQ(prettyUnits("m^(1/2)"), "m^(1/2)");
    EXPECT_EQ(withUnits("Pressure", "Pa"), "Pressure [Pa]");
    EXPECT_EQ(withUnits("Mach", ""), "Mach");
}

TEST(CameraTest, ViewDirectionsAndUprightRightHandedBases) {
    EXPECT_EQ(*parseViewDirection("+x"), TripletD(1, 0, 0));
    EXPECT_EQ(*parseViewDirection(" -Z "), TripletD(0, 0, -1));
    EXPECT_EQ(*parseViewDirection("Y"), TripletD(0, 1, 0));
    EXPECT_EQ(*parseViewDirection("iso"), TripletD(-1, -1, -1));
    EXPECT_EQ(*parseViewDirection("1, 1, 0"), TripletD(1, 1, 0));
    EXPECT_EQ(*parseViewDirection("(0 0.5 -1)"), TripletD(0, 0.5, -1));
    EXPECT_FALSE(parseViewDirection("Auto"));
    EXPECT_FALSE(parseViewDirection(""));
    for (const char* bad : {"sideways", "0 0 0", "1 2", "1 2 3 4", "+W"})
        EXPECT_THROW(parseViewDirection(bad), data::invalid) << bad;

    std::mt19937 rng(3);
    std::normal_distribution<double> n;
    for (int i = 0; i < 2000; ++i) {
        const TripletD f(n(rng), n(rng), n(rng));
        const ViewBasis b = viewBasis(f);
        EXPECT_NEAR(b.right.dot(b.up), 0.0, 1e-12);
        EXPECT_NEAR(b.right.dot(b.forward), 0.0, 1e-12);
        EXPECT_NEAR(b.up.lengthSquared(), 1.0, 1e-12);
        // Right-handed: the screen's x and y and the direction towards the viewer.
        const TripletD towards = b.right.cross(b.up);
        EXPECT_NEAR((towards + b.forward).lengthSquared(), 0.0, 1e-12);
        // Upright: z never points down the picture; y is up when looking along z.
        EXPECT_GT(std::fabs(b.forward.z) <= 0.95 ? b.up.z : b.up.y, 0.0);
    }
    // Planes are seen the natural way round, whichever way their normal points.
    for (const double sign : {1.0, -1.0}) {
        const ViewBasis xy = viewBasis(planeViewDirection(TripletD(0, 0, sign)));
        EXPECT_EQ(xy.right, TripletD(1, 0, 0));
        EXPECT_EQ(xy.up, TripletD(0, 1, 0));
        const ViewBasis yz = viewBasis(planeViewDirection(TripletD(sign, 0, 0)));
        EXPECT_NEAR((yz.right - TripletD(0, 1, 0)).lengthSquared(), 0.0, 1e-24);
        EXPECT_NEAR((yz.up - TripletD(0, 0, 1)).lengthSquared(), 0.0, 1e-24);
        const ViewBasis xz = viewBasis(planeViewDirection(TripletD(0, sign, 0)));
        EXPECT_NEAR((xz.right - TripletD(1, 0, 0)).lengthSquared(), 0.0, 1e-24);
        EXPECT_NEAR((xz.up - TripletD(0, 0, 1)).lengthSquared(), 0.0, 1e-24);
    }
}

TEST(CameraTest, FitKeepsEveryPointInsideThePaddedRectangleAndFillsIt) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-5.0f, 5.0f);
    std::normal_distribution<double> n;
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<TripletF> points(50);
        const float stretch = 0.05f + float(trial % 7);
        for (TripletF& p : points) p = TripletF(u(rng) * stretch, u(rng), u(rng) + 100.0f);
        const ViewBasis b = viewBasis(TripletD(n(rng), n(rng), n(rng)));
        const double x0 = 10, y0 = 20, w = 300, h = 200, pad = 0.05;
        const auto p = Projection::fit(b, points, x0, y0, w, h, pad);
        ASSERT_TRUE(p);
        double xmin = 1e30, xmax = -1e30, ymin = 1e30, ymax = -1e30;
        for (const TripletF& q : points) {
            xmin = std::min(xmin, p->pixelX(TripletD(q)));
            xmax = std::max(xmax, p->pixelX(TripletD(q)));
            ymin = std::min(ymin, p->pixelY(TripletD(q)));
            ymax = std::max(ymax, p->pixelY(TripletD(q)));
        }
        const double eps = 1e-6;
        EXPECT_GE(xmin, x0 + pad * w - eps);
        EXPECT_LE(xmax, x0 + w - pad * w + eps);
        EXPECT_GE(ymin, y0 + pad * h - eps);
        EXPECT_LE(ymax, y0 + h - pad * h + eps);
        // Centred, and touching the padded rectangle on two opposite sides.
        EXPECT_NEAR(0.5 * (xmin + xmax), x0 + 0.5 * w, 1e-6);
        EXPECT_NEAR(0.5 * (ymin + ymax), y0 + 0.5 * h, 1e-6);
        EXPECT_TRUE(std::fabs((xmax - xmin) - (1 - 2 * pad) * w) < 1e-6 ||
                    std::fabs((ymax - ymin) - (1 - 2 * pad) * h) < 1e-6);
    }
    const std::vector<TripletF> single(3, TripletF(1, 2, 3));
    EXPECT_FALSE(Projection::fit(viewBasis(TripletD(0, 0, -1)), single, 0, 0, 100, 100, 0.1));
}

} // namespace
} // namespace zel::host::render
