#include "host/render/Raster.h"

namespace zel::host::render {

Raster::Raster(int width, int height, int factor)
    : m_width(std::max(width, 1)), m_height(std::max(height, 1)), m_factor(std::max(factor, 1)),
      m_sw(m_width * m_factor), m_sh(m_height * m_factor), m_colour(std::size_t(m_sw) * std::size_t(m_sh)),
      m_depth(m_colour.size()) {}

void Raster::clear(std::uint32_t colour) {
    std::fill(m_colour.begin(), m_colour.end(), colour);
    std::fill(m_depth.begin(), m_depth.end(), std::numeric_limits<float>::infinity());
}

void Raster::fillSegment(const RasterVertex& a, const RasterVertex& b, float width, std::uint32_t colour,
                         float depthBias) {
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0f)) return;
    // Half the width across the segment, and half a width beyond each end so that
    // neighbouring segments meet without a notch.
    const float h = 0.5f * width;
    const float nx = -dy / length * h, ny = dx / length * h;
    const float ex = dx / length * h, ey = dy / length * h;
    RasterVertex q[4];
    const RasterVertex* ends[2] = {&a, &b};
    for (int i = 0; i < 4; ++i) {
        const RasterVertex& e = *ends[i / 2];
        const float along = i / 2 == 0 ? -1.0f : 1.0f;
        const float side = (i == 0 || i == 3) ? 1.0f : -1.0f;
        q[i].x = e.x + along * ex + side * nx;
        q[i].y = e.y + along * ey + side * ny;
        q[i].depth = e.depth + depthBias;
    }
    const auto constant = [colour](float) { return colour; };
    fillTriangle(q[0], q[1], q[2], constant);
    fillTriangle(q[0], q[2], q[3], constant);
}

void Raster::resolve(std::uint32_t* out, std::size_t stride) const {
    const int f = m_factor;
    const std::uint32_t n = std::uint32_t(f * f);
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x) {
            std::uint32_t r = 0, g = 0, b = 0;
            for (int j = 0; j < f; ++j) {
                const std::uint32_t* row =
                    m_colour.data() + std::size_t(y * f + j) * std::size_t(m_sw) + std::size_t(x * f);
                for (int i = 0; i < f; ++i) {
                    r += (row[i] >> 16) & 0xFF;
                    g += (row[i] >> 8) & 0xFF;
                    b += row[i] & 0xFF;
                }
            }
            out[std::size_t(y) * stride + std::size_t(x)] =
                0xFF000000u | (((r + n / 2) / n) << 16) | (((g + n / 2) / n) << 8) | ((b + n / 2) / n);
        }
}

} // namespace zel::host::render
