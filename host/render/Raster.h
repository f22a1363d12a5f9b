#pragma once
// The depth-buffered triangle rasteriser of pictures.
//
// A raster keeps `factor` × `factor` samples per picture pixel (supersampling: the edges of
// a location against the background are smoothed when resolve() averages them), each with
// a packed colour (packRgb) and a depth (smaller is nearer). Triangles are given in sample
// coordinates (x right, y down; the sample (i, j) has its centre at (i + 0.5, j + 0.5));
// the depth and the value are interpolated linearly across the triangle, which is exact for
// an orthographic camera. A sample is covered when its centre lies inside the triangle or
// on a top or left edge, so that triangles sharing an edge cover each sample of it exactly
// once: no cracks and no seams. Coordinates are snapped to 1/256 of a sample.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace zel::host::render {

struct RasterVertex {
    float x = 0.0f, y = 0.0f; // sample coordinates
    float depth = 0.0f;
    float value = 0.0f;
};

class Raster {
public:
    // A picture of width × height pixels with factor × factor samples each (factor >= 1).
    Raster(int width, int height, int factor);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int factor() const { return m_factor; }
    int sampleWidth() const { return m_sw; }
    int sampleHeight() const { return m_sh; }
    // Bytes held by the sample buffers.
    std::size_t bytes() const { return m_colour.size() * sizeof(std::uint32_t) + m_depth.size() * sizeof(float); }

    // Every sample to `colour`, infinitely far.
    void clear(std::uint32_t colour);

    // Draws the triangle where it is nearer than what the samples hold: shade(value) gives
    // the packed colour of a sample from the interpolated value. Degenerate triangles and
    // those with a non-finite coordinate draw nothing. Either orientation.
    template <typename Shade>
    void fillTriangle(const RasterVertex& a, const RasterVertex& b, const RasterVertex& c, Shade&& shade);

    // A segment of constant colour, `width` samples wide, its depth moved by `depthBias`
    // (negative: towards the camera, so that mesh edges stay in front of their faces).
    void fillSegment(const RasterVertex& a, const RasterVertex& b, float width, std::uint32_t colour, float depthBias);

    // The box-filtered picture: out[y * stride + x] for the width × height pixels.
    void resolve(std::uint32_t* out, std::size_t stride) const;

    std::uint32_t sample(int x, int y) const { return m_colour[std::size_t(y) * std::size_t(m_sw) + std::size_t(x)]; }
    float depthAt(int x, int y) const { return m_depth[std::size_t(y) * std::size_t(m_sw) + std::size_t(x)]; }

private:
    int m_width, m_height, m_factor, m_sw, m_sh;
    std::vector<std::uint32_t> m_colour; // m_sw × m_sh, row after row
    std::vector<float> m_depth;
};

template <typename Shade>
void Raster::fillTriangle(const RasterVertex& a, const RasterVertex& b, const RasterVertex& c, Shade&& shade) {
    constexpr int kBits = 8; // sub-sample precision
    constexpr double kOne = double(1 << kBits);
    constexpr double kLimit = double(1 << 22); // samples: keeps the edge products in 64 bits
    const RasterVertex* v[3] = {&a, &b, &c};
    std::int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(v[i]->x) < kLimit) || !(std::fabs(v[i]->y) < kLimit) || !std::isfinite(v[i]->depth)) return;
        X[i] = std::llround(double(v[i]->x) * kOne);
        Y[i] = std::llround(double(v[i]->y) * kOne);
    }
    std::int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
    if (area == 0) return;
    if (area < 0) {
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
        std::swap(v[1], v[2]);
        area = -area;
    }
    // Sample bounding box, clipped to the raster.
    const auto lowest = [](std::int64_t p) { return int(std::floor((double(p) - kOne / 2) / kOne)) + 1; };
    const auto highest = [](std::int64_t p) { return int(std::floor((double(p) - kOne / 2) / kOne)); };
    const int x0 = std::max(lowest(std::min({X[0], X[1], X[2]})) - 1, 0);
    const int x1 = std::min(highest(std::max({X[0], X[1], X[2]})) + 1, m_sw - 1);
    const int y0 = std::max(lowest(std::min({Y[0], Y[1], Y[2]})) - 1, 0);
    const int y1 = std::min(highest(std::max({Y[0], Y[1], Y[2]})) + 1, m_sh - 1);
    if (x0 > x1 || y0 > y1) return;

    // Edge k runs from vertex k+1 to vertex k+2; w_k >= 0 inside. Edges owned by this
    // triangle (top-left) include their samples; the others exclude them (bias -1).
    std::int64_t A[3], B[3], C[3], bias[3];
    for (int k = 0; k < 3; ++k) {
        const int i = (k + 1) % 3, j = (k + 2) % 3;
        A[k] = Y[i] - Y[j];
        B[k] = X[j] - X[i];
        C[k] = X[i] * Y[j] - Y[i] * X[j];
        const std::int64_t dx = X[j] - X[i], dy = Y[j] - Y[i];
        bias[k] = (dy < 0 || (dy == 0 && dx > 0)) ? 0 : -1;
    }
    const std::int64_t half = std::int64_t(1) << (kBits - 1);
    const std::int64_t px0 = (std::int64_t(x0) << kBits) + half;
    const float inv = 1.0f / float(area);
    const float d0 = v[0]->depth, d1 = v[1]->depth, d2 = v[2]->depth;
    const float s0 = v[0]->value, s1 = v[1]->value, s2 = v[2]->value;
    const std::int64_t stepX[3] = {A[0] << kBits, A[1] << kBits, A[2] << kBits};
    for (int y = y0; y <= y1; ++y) {
        const std::int64_t py = (std::int64_t(y) << kBits) + half;
        std::int64_t w[3];
        for (int k = 0; k < 3; ++k) w[k] = A[k] * px0 + B[k] * py + C[k] + bias[k];
        std::uint32_t* colour = m_colour.data() + std::size_t(y) * std::size_t(m_sw);
        float* depth = m_depth.data() + std::size_t(y) * std::size_t(m_sw);
        for (int x = x0; x <= x1; ++x) {
            if ((w[0] | w[1] | w[2]) >= 0) {
                // Undo the bias for the weights (it moved them by at most one unit).
                const float l0 = float(w[0] - bias[0]) * inv, l1 = float(w[1] - bias[1]) * inv;
                const float l2 = 1.0f - l0 - l1;
                const float z = l0 * d0 + l1 * d1 + l2 * d2;
                if (z < depth[x]) {
                    depth[x] = z;
                    colour[x] = shade(l0 * s0 + l1 * s1 + l2 * s2);
                }
            }
            w[0] += stepX[0];
            w[1] += stepX[1];
            w[2] += stepX[2];
        }
    }
}

} // namespace zel::host::render
