#include "host/render/Picture.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Undefined.h"
#include "host/render/Raster.h"
#include "host/render/Ticks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>

#if ZEL_HAVE_CAIRO
#include "host/render/Canvas.h"
#endif

namespace zel::host::render {
namespace {

constexpr const char* kClass = "Picture";

// Eigenvectors of the symmetric 3 × 3 matrix m (Jacobi rotations), as columns of v, with
// the eigenvalues in d, largest first.
void symmetricEigen(std::array<std::array<double, 3>, 3> m, std::array<double, 3>& d,
                    std::array<TripletD, 3>& vectors) {
    double v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = m[0][1] * m[0][1] + m[0][2] * m[0][2] + m[1][2] * m[1][2];
        if (off < 1e-30 * (m[0][0] * m[0][0] + m[1][1] * m[1][1] + m[2][2] * m[2][2]) || off == 0.0) break;
        for (int p = 0; p < 2; ++p)
            for (int q = p + 1; q < 3; ++q) {
                if (m[p][q] == 0.0) continue;
                const double theta = 0.5 * (m[q][q] - m[p][p]) / m[p][q];
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < 3; ++k) { // m = J^T m J
                    const double mkp = m[k][p], mkq = m[k][q];
                    m[k][p] = c * mkp - s * mkq;
                    m[k][q] = s * mkp + c * mkq;
                }
                for (int k = 0; k < 3; ++k) {
                    const double mpk = m[p][k], mqk = m[q][k];
                    m[p][k] = c * mpk - s * mqk;
                    m[q][k] = s * mpk + c * mqk;
                }
                for (int k = 0; k < 3; ++k) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
    }
    std::array<int, 3> order = {0, 1, 2};
    std::sort(order.begin(), order.end(), [&](int a, int b) { return m[a][a] > m[b][b]; });
    for (int i = 0; i < 3; ++i) {
        d[std::size_t(i)] = m[order[std::size_t(i)]][order[std::size_t(i)]];
        const int c = order[std::size_t(i)];
        vectors[std::size_t(i)] = TripletD(v[0][c], v[1][c], v[2][c]);
    }
}

} // namespace

TripletD autoViewDirection(const Scene& scene) {
    const TripletD iso(-1, -1, -1);
    if (scene.hasFaces()) {
        const auto [sum, area] = scene.areaSums();
        if (area > 0.0 && std::sqrt(sum.lengthSquared()) > 0.999 * area) return planeViewDirection(sum);
        return iso;
    }
    const std::vector<TripletF> points = scene.usedPoints();
    if (points.empty()) return TripletD(0, 0, -1);
    TripletD c(0, 0, 0);
    for (const TripletF& p : points) c += TripletD(p);
    c /= double(points.size());
    std::array<std::array<double, 3>, 3> m{};
    for (const TripletF& pf : points) {
        const TripletD p = TripletD(pf) - c;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) m[std::size_t(i)][std::size_t(j)] += p[i] * p[j];
    }
    std::array<double, 3> d{};
    std::array<TripletD, 3> v{};
    symmetricEigen(m, d, v);
    if (!(d[0] > 0.0)) return TripletD(0, 0, -1);
    if (d[1] < 1e-6 * d[0]) {
        // A straight line: look across it, down z if it is not along z, else along y or x.
        const TripletD along = v[0];
        const TripletD axes[3] = {TripletD(0, 0, 1), TripletD(0, 1, 0), TripletD(1, 0, 0)};
        int best = 0;
        for (int i = 1; i < 3; ++i)
            if (std::fabs(axes[i].dot(along)) < std::fabs(axes[best].dot(along)) - 1e-6) best = i;
        return planeViewDirection(axes[best]);
    }
    if (d[2] < 1e-6 * d[0]) return planeViewDirection(v[2]);
    return iso;
}

#if ZEL_HAVE_CAIRO

bool picturesAvailable() { return true; }

namespace {

constexpr std::uint32_t kBackground = 0xFFFFFFFFu;
constexpr std::uint32_t kUndefined = 0xFFBFBFBFu; // light grey: no value
constexpr std::uint32_t kEdge = 0xFF333333u;

// The layout of a picture, in pixels.
struct Layout {
    double font = 0, margin = 0;
    double titleHeight = 0;
    double sceneX = 0, sceneY = 0, sceneW = 0, sceneH = 0;
    double barX = 0, barY = 0, barW = 0, barH = 0;
    double legendTitleFont = 0;
};

struct LegendLabel {
    double value;
    std::string text;
};

std::uint32_t shaded(std::uint32_t c, std::uint32_t s256) {
    const std::uint32_t r = (((c >> 16) & 0xFF) * s256) >> 8, g = (((c >> 8) & 0xFF) * s256) >> 8,
                        b = ((c & 0xFF) * s256) >> 8;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

void rasterise(const Scene& scene, const Projection& projection, double lo, double hi, const ColourMap& map, bool mesh,
               Raster& raster, std::vector<std::uint32_t>& pixels) {
    const double f = double(raster.factor());
    const std::size_t n = scene.points.size();
    std::vector<RasterVertex> sv(n);
    float dmin = std::numeric_limits<float>::infinity(), dmax = -dmin;
    for (std::size_t i = 0; i < n; ++i) {
        const TripletD p(scene.points[i]);
        sv[i] = {float(projection.pixelX(p) * f), float(projection.pixelY(p) * f), float(projection.depth(p)),
                 scene.values[i]};
        dmin = std::min(dmin, sv[i].depth);
        dmax = std::max(dmax, sv[i].depth);
    }
    constexpr int kLut = 1024;
    const std::vector<std::uint32_t> lut = map.packedTable(kLut);
    const double range = hi - lo;
    const float scale = range > 0.0 ? float((kLut - 1) / range) : 0.0f;
    const float offset = range > 0.0 ? float(-lo * (kLut - 1) / range) : float(kLut - 1) * 0.5f;
    const TripletD forward = projection.basis.forward;
    raster.clear(kBackground);
    for (std::size_t t = 0; t + 2 < scene.triangles.size(); t += 3) {
        const std::uint32_t a = scene.triangles[t], b = scene.triangles[t + 1], c = scene.triangles[t + 2];
        const TripletD pa(scene.points[a]);
        const TripletD normal = (TripletD(scene.points[b]) - pa).cross(TripletD(scene.points[c]) - pa);
        const double length = std::sqrt(normal.lengthSquared());
        // A light at the camera, seen from either side: faces towards it keep their colour.
        const double light = length > 0.0 ? std::fabs(normal.dot(forward)) / length : 1.0;
        const std::uint32_t s256 = std::uint32_t(std::lround(256.0 * (0.35 + 0.65 * light)));
        if (isUndefined(sv[a].value) || isUndefined(sv[b].value) || isUndefined(sv[c].value)) {
            const std::uint32_t grey = shaded(kUndefined, s256);
            raster.fillTriangle(sv[a], sv[b], sv[c], [grey](float) { return grey; });
            continue;
        }
        raster.fillTriangle(sv[a], sv[b], sv[c], [&, s256](float value) {
            const float x = value * scale + offset;
            const int i = x <= 0.0f ? 0 : (x >= float(kLut - 1) ? kLut - 1 : int(x + 0.5f));
            return s256 >= 256 ? lut[std::size_t(i)] : shaded(lut[std::size_t(i)], s256);
        });
    }
    if (mesh) {
        // Edges stay in front of the faces they bound, but not of faces well in front.
        const float bias = -2e-3f * std::max(dmax - dmin, float(1.0 / projection.scale) * 4.0f);
        for (std::size_t e = 0; e + 1 < scene.edges.size(); e += 2)
            raster.fillSegment(sv[scene.edges[e]], sv[scene.edges[e + 1]], float(0.8 * f), kEdge, bias);
    }
    std::vector<RasterVertex>().swap(sv); // the projected vertices go before the pixels come
    pixels.assign(std::size_t(raster.width()) * std::size_t(raster.height()), kBackground);
    raster.resolve(pixels.data(), std::size_t(raster.width()));
}

// The lines of the scene with the colours of their values, farthest first.
void drawLines(Canvas& canvas, const Scene& scene, const Projection& projection, double lo, double hi,
               const ColourMap& map, double width) {
    cairo_t* cr = canvas.cr();
    const auto t = [&](float v) { return hi > lo ? (double(v) - lo) / (hi - lo) : 0.5; };
    std::vector<std::size_t> order(scene.lines.size() / 2);
    std::iota(order.begin(), order.end(), std::size_t(0));
    const auto depth = [&](std::size_t s) {
        return projection.depth(TripletD(scene.points[scene.lines[2 * s]])) +
               projection.depth(TripletD(scene.points[scene.lines[2 * s + 1]]));
    };
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return depth(a) > depth(b); });
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, width);
    for (const std::size_t s : order) {
        const std::uint32_t i = scene.lines[2 * s], j = scene.lines[2 * s + 1];
        const TripletD a(scene.points[i]), b(scene.points[j]);
        const double ax = projection.pixelX(a), ay = projection.pixelY(a);
        const double bx = projection.pixelX(b), by = projection.pixelY(b);
        const float va = scene.values[i], vb = scene.values[j];
        cairo_pattern_t* pattern = nullptr;
        if (isUndefined(va) || isUndefined(vb)) {
            canvas.colour(kUndefined);
        } else {
            // Stops along the segment follow the map, not a straight blend of its ends.
            pattern = cairo_pattern_create_linear(ax, ay, bx, by);
            const double ta = t(va), tb = t(vb);
            const int stops = 2 + int(std::min(16.0, std::fabs(tb - ta) * 32.0));
            for (int k = 0; k < stops; ++k) {
                const double u = double(k) / double(stops - 1);
                const Rgb c = map.at(ta + u * (tb - ta));
                cairo_pattern_add_color_stop_rgb(pattern, u, c.r, c.g, c.b);
            }
            cairo_set_source(cr, pattern);
        }
        cairo_move_to(cr, ax, ay);
        cairo_line_to(cr, bx, by);
        cairo_stroke(cr);
        if (pattern != nullptr) cairo_pattern_destroy(pattern);
    }
    if (!scene.samplePoints) return;
    std::vector<char> done(scene.points.size(), 0);
    for (const std::uint32_t i : scene.lines) {
        if (done[i] != 0) continue;
        done[i] = 1;
        const TripletD p(scene.points[i]);
        const float v = scene.values[i];
        cairo_arc(cr, projection.pixelX(p), projection.pixelY(p), 1.6 * width, 0, 2 * std::numbers::pi);
        if (isUndefined(v)) {
            canvas.colour(kUndefined);
        } else {
            const Rgb c = map.at(t(v));
            canvas.colour(c.r, c.g, c.b);
        }
        cairo_fill_preserve(cr);
        canvas.colour(0.15, 0.15, 0.15);
        cairo_set_line_width(cr, 0.3 * width);
        cairo_stroke(cr);
        cairo_set_line_width(cr, width);
    }
}

std::vector<LegendLabel> legendLabels(double lo, double hi, std::vector<double>& ticks) {
    std::vector<LegendLabel> labels;
    if (!(hi > lo)) {
        ticks = {lo};
        labels.push_back({lo, formatValue(lo)});
        return labels;
    }
    double step = 0.0;
    ticks = niceTicks(lo, hi, &step);
    labels.push_back({lo, formatValue(lo)});
    for (const double v : ticks) labels.push_back({v, formatTick(v, step)});
    labels.push_back({hi, formatValue(hi)});
    return labels;
}

void drawLegend(Canvas& canvas, const Layout& l, const PictureStyle& style, const ColourMap& map, double lo, double hi,
                const std::vector<LegendLabel>& labels, std::vector<std::string>& shown) {
    cairo_t* cr = canvas.cr();
    // The bar: a gradient through every entry of the table, low at the bottom.
    cairo_pattern_t* bar = cairo_pattern_create_linear(0, l.barY + l.barH, 0, l.barY);
    const std::span<const Rgb> table = map.table();
    for (std::size_t i = 0; i < table.size(); ++i)
        cairo_pattern_add_color_stop_rgb(bar, double(i) / double(table.size() - 1), table[i].r, table[i].g, table[i].b);
    cairo_rectangle(cr, l.barX, l.barY, l.barW, l.barH);
    if (hi > lo)
        cairo_set_source(cr, bar);
    else {
        const Rgb c = map.at(0.5);
        canvas.colour(c.r, c.g, c.b);
    }
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(bar);
    canvas.colour(0.2, 0.2, 0.2);
    cairo_set_line_width(cr, std::max(1.0, l.font / 20));
    cairo_stroke(cr);

    canvas.font(l.font);
    const double tick = 0.35 * l.barW;
    const auto y = [&](double v) {
        return hi > lo ? l.barY + l.barH * (1.0 - (v - lo) / (hi - lo)) : l.barY + 0.5 * l.barH;
    };
    // The ends are always labelled; a tick label too close to one of them is left out.
    const double room = 1.05 * l.font;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const bool end = i == 0 || i + 1 == labels.size();
        const double py = y(labels[i].value);
        if (!end && (std::fabs(py - y(lo)) < room || std::fabs(py - y(hi)) < room)) {
            cairo_move_to(cr, l.barX + l.barW - tick, py);
            cairo_line_to(cr, l.barX + l.barW, py);
            cairo_stroke(cr);
            continue;
        }
        if (end && i + 1 == labels.size() && labels.size() == 1) { // a constant field
            canvas.text(labels[i].text, l.barX + l.barW + 0.4 * l.font, py, 0.0, 0.5);
            shown.push_back(labels[i].text);
            continue;
        }
        cairo_move_to(cr, l.barX + l.barW - tick, py);
        cairo_line_to(cr, l.barX + l.barW + 0.25 * l.font, py);
        cairo_stroke(cr);
        if (end) canvas.font(l.font, true);
        canvas.text(labels[i].text, l.barX + l.barW + 0.4 * l.font, py, 0.0, 0.5);
        if (end) canvas.font(l.font);
        shown.push_back(labels[i].text);
    }
    // The legend's title above the bar, kept inside the picture.
    canvas.font(l.legendTitleFont, true);
    const double x = std::min(l.barX, canvas.width() - l.margin - canvas.textWidth(style.legendTitle));
    canvas.colour(0.1, 0.1, 0.1);
    canvas.text(style.legendTitle, x, l.barY - 0.9 * l.font, 0.0, 1.0);
}

// Small axes at the lower left of the scene: which way x, y and z point.
void drawTriad(Canvas& canvas, const Layout& l, const ViewBasis& basis) {
    cairo_t* cr = canvas.cr();
    const double length = 1.9 * l.font;
    const double ox = l.sceneX + 1.2 * l.font + 0.6 * length, oy = l.sceneY + l.sceneH - 1.2 * l.font - 0.6 * length;
    struct Axis {
        TripletD direction;
        const char* name;
        double r, g, b;
    };
    std::vector<Axis> axes = {{TripletD(1, 0, 0), "X", 0.8, 0.1, 0.1},
                              {TripletD(0, 1, 0), "Y", 0.1, 0.55, 0.1},
                              {TripletD(0, 0, 1), "Z", 0.1, 0.25, 0.8}};
    // Axes pointing away from the viewer first, so that nearer ones are drawn over them.
    std::sort(axes.begin(), axes.end(), [&](const Axis& a, const Axis& b) {
        return a.direction.dot(basis.forward) > b.direction.dot(basis.forward);
    });
    canvas.font(0.8 * l.font, true);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, std::max(1.5, l.font / 9));
    for (const Axis& a : axes) {
        const double dx = a.direction.dot(basis.right), dy = -a.direction.dot(basis.up);
        cairo_set_source_rgb(cr, a.r, a.g, a.b);
        if (dx * dx + dy * dy < 0.02) { // pointing at the viewer (or away)
            cairo_arc(cr, ox, oy, 0.12 * l.font, 0, 2 * std::numbers::pi);
            cairo_fill(cr);
            canvas.text(a.name, ox + 0.25 * l.font, oy - 0.25 * l.font, 0.0, 1.0);
            continue;
        }
        cairo_move_to(cr, ox, oy);
        cairo_line_to(cr, ox + dx * length, oy + dy * length);
        cairo_stroke(cr);
        const double norm = std::sqrt(dx * dx + dy * dy);
        canvas.text(a.name, ox + dx * length + 0.45 * l.font * dx / norm, oy + dy * length + 0.45 * l.font * dy / norm,
                    0.5, 0.5);
    }
}

} // namespace

PictureResult renderPicture(const Scene& scene, const PictureStyle& style, const std::filesystem::path& file) {
    if (!scene.hasFaces() && !scene.hasLines())
        throw data::invalid(kClass, "render", "The location has nothing to draw: no faces and no lines.", ErrError);
    if (scene.hasFaces() && !(scene.areaSums().second > 0.0))
        throw data::invalid(kClass, "render", "The location's faces have no area.", ErrError);
    const ColourMap& map = style.colourMap != nullptr ? *style.colourMap : ColourMap::viridis();
    const int width = style.width, height = style.height;
    pictureFormat(file); // a bad extension is refused before any work

    // The colour range: the scene's, or what the style fixes.
    float smin = 0.0f, smax = 0.0f;
    const bool any = scene.valueRange(smin, smax);
    double lo = style.min.value_or(any ? double(smin) : 0.0);
    double hi = style.max.value_or(any ? double(smax) : 0.0);
    if (style.min && !style.max && hi < lo) hi = lo;
    if (style.max && !style.min && lo > hi) lo = hi;
    if (hi < lo)
        throw data::invalid(kClass, "render", _("The colour range's Max (%g) is below its Min (%g).", hi, lo),
                            ErrError);

    PictureResult result;
    result.file = file;
    result.width = width;
    result.height = height;
    result.legendMin = lo;
    result.legendMax = hi;
    const std::vector<LegendLabel> labels = legendLabels(lo, hi, result.ticks);

    Canvas canvas(file, width, height);
    Layout l;
    l.font = std::max(9.0, height / 46.0);
    l.margin = std::max(6.0, 0.022 * height);
    l.titleHeight = style.title.empty() ? l.margin : l.margin + 2.0 * l.font;
    canvas.font(l.font, true);
    double labelWidth = 0.0;
    for (const LegendLabel& label : labels) labelWidth = std::max(labelWidth, canvas.textWidth(label.text));
    l.barW = std::max(10.0, 0.022 * width);
    // The legend's title may be wider than the bar and its labels; the location keeps clear
    // of it. A very long title is set smaller.
    l.legendTitleFont = 1.05 * l.font;
    canvas.font(l.legendTitleFont, true);
    while (canvas.textWidth(style.legendTitle) > 0.45 * width && l.legendTitleFont > 6.0)
        canvas.font(l.legendTitleFont *= 0.92, true);
    const double legendWidth =
        std::max(l.barW + 0.4 * l.font + labelWidth, canvas.textWidth(style.legendTitle)) + l.margin;
    l.barX = width - l.margin - labelWidth - 0.4 * l.font - l.barW;
    l.sceneX = l.margin;
    l.sceneY = l.titleHeight + 0.3 * l.font;
    l.sceneW = std::max(1.0, width - legendWidth - 2.0 * l.margin);
    l.sceneH = std::max(1.0, height - l.sceneY - l.margin);
    // Room above the bar for the legend's title.
    l.barH = std::min(0.62 * l.sceneH, l.sceneH - 4.0 * l.font);
    l.barY = l.sceneY + 0.5 * (l.sceneH - l.barH) + 1.0 * l.font;

    const TripletD direction = style.viewDirection.value_or(autoViewDirection(scene));
    const ViewBasis basis = viewBasis(direction);
    // The copy of the used points goes before the samples are made: it is as big as the scene.
    const std::optional<Projection> projection = [&] {
        const std::vector<TripletF> used = scene.usedPoints();
        return Projection::fit(basis, used, l.sceneX, l.sceneY, l.sceneW, l.sceneH, 0.04);
    }();
    if (!projection)
        throw data::invalid(kClass, "render", "The location is a single point as seen from this direction.", ErrError);
    result.projection = *projection;

    if (scene.hasFaces()) {
        // Supersampled unless the picture is large (then the pixels are small anyway).
        const int factor = double(width) * double(height) <= 4.2e6 ? 2 : 1;
        Raster raster(width, height, factor);
        std::vector<std::uint32_t> pixels;
        rasterise(scene, *projection, lo, hi, map, style.drawMesh, raster, pixels);
        result.rasterBytes = raster.bytes() + pixels.size() * sizeof(std::uint32_t);
        canvas.image(pixels.data(), width, height);
    } else {
        drawLines(canvas, scene, *projection, lo, hi, map, std::max(2.0, height / 260.0));
    }

    if (!style.title.empty()) {
        double size = 1.35 * l.font;
        canvas.font(size, true);
        while (canvas.textWidth(style.title) > width - 2 * l.margin && size > 6.0) canvas.font(size *= 0.92, true);
        canvas.colour(0.05, 0.05, 0.05);
        canvas.text(style.title, 0.5 * width, l.margin, 0.5, 0.0);
    }
    drawLegend(canvas, l, style, map, lo, hi, labels, result.labels);
    drawTriad(canvas, l, basis);
    canvas.finish();
    return result;
}

#else // no Cairo

bool picturesAvailable() { return false; }

PictureResult renderPicture(const Scene&, const PictureStyle&, const std::filesystem::path&) {
    throw data::error(kClass, "render",
                      "Pictures are not available: zelpost was built without Cairo (install libcairo2-dev, "
                      "then configure and build again).",
                      ErrError);
}

#endif

} // namespace zel::host::render
