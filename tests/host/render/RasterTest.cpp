// The depth-buffered rasteriser against brute-force twins.
#include "host/render/Raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace zel::host::render {
namespace {

constexpr std::uint32_t kBackground = 0xFFFFFFFFu;

struct Tri {
    RasterVertex v[3];
};

double orient(double ax, double ay, double bx, double by, double px, double py) {
    return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}

// Random overlapping triangles, each of one colour (its index) and a random depth plane: each
// sample must show the nearest triangle whose inside holds the sample's centre. Samples within
// a hair of an edge, or where two depths nearly tie, are left out: the fill rule decides those.
TEST(RasterTest, EachSampleShowsTheNearestTriangleCoveringIt) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> x(-10.0f, 74.0f), y(-10.0f, 58.0f), d(0.0f, 10.0f);
    for (int scene = 0; scene < 20; ++scene) {
        std::vector<Tri> tris(30);
        for (Tri& t : tris)
            // On the rasteriser's own 1/256-sample grid, so that its depths are exact.
            for (RasterVertex& v : t.v)
                v = {std::round(x(rng) * 256.0f) / 256.0f, std::round(y(rng) * 256.0f) / 256.0f, d(rng), 0.0f};
        Raster raster(64, 48, 1);
        raster.clear(kBackground);
        for (std::size_t i = 0; i < tris.size(); ++i) {
            const std::uint32_t id = std::uint32_t(i);
            raster.fillTriangle(tris[i].v[0], tris[i].v[1], tris[i].v[2], [id](float) { return id; });
        }
        int checked = 0;
        for (int sy = 0; sy < raster.sampleHeight(); ++sy)
            for (int sx = 0; sx < raster.sampleWidth(); ++sx) {
                const double px = sx + 0.5, py = sy + 0.5;
                std::uint32_t expected = kBackground;
                double best = 1e30, second = 1e30;
                bool ambiguous = false;
                for (std::size_t i = 0; i < tris.size(); ++i) {
                    const RasterVertex* v = tris[i].v;
                    const double area = orient(v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y);
                    double w[3];
                    for (int k = 0; k < 3; ++k) {
                        const RasterVertex& a = v[(k + 1) % 3];
                        const RasterVertex& b = v[(k + 2) % 3];
                        w[k] = orient(a.x, a.y, b.x, b.y, px, py) / area;
                    }
                    const double inside = std::min({w[0], w[1], w[2]});
                    if (std::fabs(inside) < 1e-3) ambiguous = true;
                    if (inside <= 0.0) continue;
                    const double z = w[0] * v[0].depth + w[1] * v[1].depth + w[2] * v[2].depth;
                    if (z < best) {
                        second = best;
                        best = z;
                        expected = std::uint32_t(i);
                    } else {
                        second = std::min(second, z);
                    }
                }
                if (ambiguous || second - best < 1e-3) continue;
                ++checked;
                ASSERT_EQ(raster.sample(sx, sy), expected) << "scene " << scene << " sample " << sx << ", " << sy;
                if (expected != kBackground) {
                    EXPECT_NEAR(raster.depthAt(sx, sy), best, 1e-4);
                }
            }
        EXPECT_GT(checked, 2000);
    }
}

// A jittered grid of triangles over a rectangle, its corners on sample centres and sample
// edges: every sample inside is covered by exactly one triangle, none outside.
TEST(RasterTest, TrianglesSharingEdgesCoverEachSampleOnce) {
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> jitter(-3, 3);
    const int n = 8;
    const float x0 = 4.0f, y0 = 3.5f, size = 48.0f; // the rectangle [4, 52] x [3.5, 51.5]
    std::vector<RasterVertex> grid((n + 1) * (n + 1));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            // Interior vertices move by half samples, so that edges run through sample centres.
            const bool inner = i > 0 && i < n && j > 0 && j < n;
            const float jx = inner ? 0.5f * float(jitter(rng)) : 0.0f, jy = inner ? 0.5f * float(jitter(rng)) : 0.0f;
            grid[std::size_t(j * (n + 1) + i)] = {x0 + size * float(i) / n + jx, y0 + size * float(j) / n + jy, 1.0f,
                                                  0.0f};
        }
    Raster raster(60, 56, 1);
    std::vector<int> count(std::size_t(raster.sampleWidth() * raster.sampleHeight()), 0);
    const auto add = [&](int a, int b, int c) {
        raster.clear(kBackground);
        raster.fillTriangle(grid[std::size_t(a)], grid[std::size_t(b)], grid[std::size_t(c)], [](float) { return 1u; });
        for (int sy = 0; sy < raster.sampleHeight(); ++sy)
            for (int sx = 0; sx < raster.sampleWidth(); ++sx)
                if (raster.sample(sx, sy) == 1u) ++count[std::size_t(sy * raster.sampleWidth() + sx)];
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
            // Both diagonals, and both orientations, appear.
            if ((i + j) % 2 == 0) {
                add(a, b, d);
                add(a, c, d);
            } else {
                add(b, a, c);
                add(b, d, c);
            }
        }
    for (int sy = 0; sy < raster.sampleHeight(); ++sy)
        for (int sx = 0; sx < raster.sampleWidth(); ++sx) {
            const double px = sx + 0.5, py = sy + 0.5;
            const bool inside = px > x0 && px < x0 + size && py > y0 && py < y0 + size;
            const bool onBorder = px >= x0 && px <= x0 + size && py >= y0 && py <= y0 + size && !inside;
            if (onBorder) continue; // the rectangle's own border: the fill rule's choice
            EXPECT_EQ(count[std::size_t(sy * raster.sampleWidth() + sx)], inside ? 1 : 0) << sx << ", " << sy;
        }
}

TEST(RasterTest, ValuesInterpolateLinearlyAndResolveAveragesSamples) {
    Raster raster(4, 2, 2);
    raster.clear(kBackground);
    // Value = x over the whole raster (two triangles); shade writes the value as grey.
    const RasterVertex a{0, 0, 0, 0}, b{8, 0, 0, 8}, c{8, 4, 0, 8}, d{0, 4, 0, 0};
    std::vector<float> seen;
    const auto grey = [&](float v) {
        seen.push_back(v);
        const std::uint32_t g = std::uint32_t(std::lround(v * 10.0f));
        return 0xFF000000u | (g << 16) | (g << 8) | g;
    };
    raster.fillTriangle(a, b, c, grey);
    raster.fillTriangle(a, c, d, grey);
    EXPECT_EQ(seen.size(), 32u);
    for (int sx = 0; sx < 8; ++sx) EXPECT_EQ(raster.sample(sx, 1) & 0xFF, std::uint32_t(std::lround((sx + 0.5) * 10)));
    std::vector<std::uint32_t> pixels(8);
    raster.resolve(pixels.data(), 4);
    // Pixel 1 averages samples 2 and 3 (values 2.5 and 3.5): 30.
    EXPECT_EQ(pixels[1] & 0xFF, 30u);
    EXPECT_EQ(pixels[5] & 0xFF, 30u);
    EXPECT_EQ(pixels[0] >> 24, 0xFFu);
}

TEST(RasterTest, BiasedSegmentsShowOverTheirFaceButNotThroughNearerFaces) {
    Raster raster(20, 20, 1);
    raster.clear(kBackground);
    const auto red = [](float) { return 0xFFFF0000u; };
    raster.fillTriangle({0, 0, 5, 0}, {20, 0, 5, 0}, {0, 20, 5, 0}, red);
    // An edge of the face at the face's own depth, moved towards the camera: shown.
    raster.fillSegment({2, 5, 5, 0}, {12, 5, 5, 0}, 2.0f, 0xFF000000u, -0.01f);
    EXPECT_EQ(raster.sample(6, 5), 0xFF000000u);
    // A face nearer than the edge hides it.
    raster.fillTriangle({0, 10, 1, 0}, {20, 10, 1, 0}, {0, 14, 1, 0}, [](float) { return 0xFF00FF00u; });
    raster.fillSegment({2, 11, 5, 0}, {8, 11, 5, 0}, 2.0f, 0xFF000000u, -0.01f);
    EXPECT_EQ(raster.sample(4, 11), 0xFF00FF00u);
    // Degenerate and non-finite triangles draw nothing.
    raster.fillTriangle({10, 0, 0, 0}, {15, 3, 0, 0}, {20, 6, 0, 0}, [](float) { return 0u; });
    raster.fillTriangle({10, 0, 0, 0}, {NAN, 5, 0, 0}, {20, 0, 0, 0}, [](float) { return 0u; });
    EXPECT_EQ(raster.sample(15, 3), 0xFFFF0000u);
}

} // namespace
} // namespace zel::host::render
