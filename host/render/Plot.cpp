#include "host/render/Plot.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "host/render/Ticks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#if ZEL_HAVE_CAIRO
#include "host/render/Canvas.h"
#endif

namespace zel::host::render {

#if ZEL_HAVE_CAIRO
namespace {

constexpr const char* kClass = "Plot";

// The qualitative colours of matplotlib's default cycle ("tab10").
constexpr std::uint32_t kCurveColours[] = {0xFF1F77B4u, 0xFFFF7F0Eu, 0xFF2CA02Cu, 0xFFD62728u, 0xFF9467BDu,
                                           0xFF8C564Bu, 0xFFE377C2u, 0xFF7F7F7Fu, 0xFFBCBD22u, 0xFF17BECFu};

// An axis over [lo, hi] of the data; `pad` widens it by that fraction on each side. A
// single value gets a range about it.
PlotAxis makeAxis(double lo, double hi, double pad, const std::string& label) {
    PlotAxis a;
    a.label = label;
    if (!(hi > lo)) {
        const double d = lo != 0.0 ? 0.05 * std::fabs(lo) : 1.0;
        lo -= d;
        hi += d;
    } else {
        const double d = pad * (hi - lo);
        lo -= d;
        hi += d;
    }
    a.lo = lo;
    a.hi = hi;
    a.ticks = niceTicks(lo, hi);
    return a;
}

double tickStep(const PlotAxis& a) { return a.ticks.size() > 1 ? a.ticks[1] - a.ticks[0] : 0.0; }

} // namespace

PlotResult renderPlot(const std::vector<PlotCurve>& curves, const PlotStyle& style, const std::filesystem::path& file) {
    if (curves.empty()) throw data::invalid(kClass, "render", "A plot needs at least one expression.", ErrError);
    pictureFormat(file);
    // Units: the first kind on the left axis, a second kind on the right.
    std::vector<std::string> kinds;
    PlotResult result;
    for (const PlotCurve& c : curves) {
        auto it = std::find(kinds.begin(), kinds.end(), c.units);
        if (it == kinds.end()) {
            kinds.push_back(c.units);
            it = kinds.end() - 1;
        }
        result.axisOfCurve.push_back(int(it - kinds.begin()));
    }
    if (kinds.size() > 2) {
        std::string list;
        for (const std::string& k : kinds) list += (list.empty() ? "'" : ", '") + k + "'";
        throw data::invalid(kClass, "render",
                            _("A plot shows at most two kinds of units (one axis each); these curves have %s.", list),
                            ErrError);
    }
    double xlo = std::numeric_limits<double>::infinity(), xhi = -xlo;
    double ylo[2] = {xlo, xlo}, yhi[2] = {xhi, xhi};
    bool any = false;
    for (std::size_t c = 0; c < curves.size(); ++c)
        for (std::size_t i = 0; i < curves[c].x.size() && i < curves[c].y.size(); ++i) {
            const double x = curves[c].x[i], y = curves[c].y[i];
            if (!std::isfinite(x) || !std::isfinite(y)) continue;
            any = true;
            xlo = std::min(xlo, x);
            xhi = std::max(xhi, x);
            const int k = result.axisOfCurve[c];
            ylo[k] = std::min(ylo[k], y);
            yhi[k] = std::max(yhi[k], y);
        }
    if (!any)
        throw data::invalid(kClass, "render", "The plot's expressions have no defined value on the line.", ErrError);
    const auto axisLabel = [&](int k) {
        std::string names;
        for (std::size_t c = 0; c < curves.size(); ++c)
            if (result.axisOfCurve[c] == k) names += (names.empty() ? "" : ", ") + curves[c].label;
        return withUnits(names, kinds[std::size_t(k)]);
    };
    result.file = file;
    result.width = style.width;
    result.height = style.height;
    result.x = makeAxis(xlo, xhi, 0.0, style.xLabel);
    result.y = makeAxis(ylo[0], yhi[0], 0.05, axisLabel(0));
    result.hasRightAxis = kinds.size() == 2;
    if (result.hasRightAxis) result.y2 = makeAxis(ylo[1], yhi[1], 0.05, axisLabel(1));
    for (std::size_t c = 0; c < curves.size(); ++c) result.colours.push_back(kCurveColours[c % 10]);

    Canvas canvas(file, style.width, style.height);
    cairo_t* cr = canvas.cr();
    const double W = style.width, H = style.height;
    const double fs = std::max(9.0, H / 46.0), m = std::max(6.0, 0.022 * H);
    const auto widest = [&](const PlotAxis& a) {
        double w = 0.0;
        for (const double t : a.ticks) w = std::max(w, canvas.textWidth(formatTick(t, tickStep(a))));
        return w;
    };
    canvas.font(fs);
    const double titleH = style.title.empty() ? m : m + 2.0 * fs;
    const double legendH = curves.size() > 1 ? 1.9 * fs : 0.0;
    result.top = titleH + legendH + 0.8 * fs;
    result.bottom = H - (m + 1.5 * fs + 1.5 * fs + 0.5 * fs);
    result.left = m + 1.5 * fs + widest(result.y) + 0.8 * fs;
    const double lastX = canvas.textWidth(formatTick(result.x.ticks.back(), tickStep(result.x)));
    result.right = W - (result.hasRightAxis ? m + 1.5 * fs + widest(result.y2) + 0.8 * fs : m + 0.6 * lastX);
    if (result.right - result.left < 10 || result.bottom - result.top < 10)
        throw data::invalid(kClass, "render",
                            _("A plot of %d x %d pixels is too small for its labels.", style.width, style.height),
                            ErrError);

    // Grid and frame.
    cairo_set_line_width(cr, std::max(1.0, H / 1200.0));
    canvas.colour(0.88, 0.88, 0.88);
    for (const double t : result.x.ticks) {
        cairo_move_to(cr, result.pixelX(t), result.top);
        cairo_line_to(cr, result.pixelX(t), result.bottom);
    }
    for (const double t : result.y.ticks) {
        cairo_move_to(cr, result.left, result.pixelY(t));
        cairo_line_to(cr, result.right, result.pixelY(t));
    }
    cairo_stroke(cr);
    canvas.colour(0.1, 0.1, 0.1);
    cairo_rectangle(cr, result.left, result.top, result.right - result.left, result.bottom - result.top);
    cairo_stroke(cr);

    // Ticks and their labels.
    const double tick = 0.4 * fs;
    canvas.font(fs);
    for (const double t : result.x.ticks) {
        const double px = result.pixelX(t);
        cairo_move_to(cr, px, result.bottom);
        cairo_line_to(cr, px, result.bottom + tick);
        cairo_stroke(cr);
        canvas.text(formatTick(t, tickStep(result.x)), px, result.bottom + tick + 0.2 * fs, 0.5, 0.0);
    }
    const auto yTicks = [&](const PlotAxis& a, int k) {
        const double edge = k == 0 ? result.left : result.right, dir = k == 0 ? -1.0 : 1.0;
        for (const double t : a.ticks) {
            const double py = result.pixelY(t, k);
            cairo_move_to(cr, edge, py);
            cairo_line_to(cr, edge + dir * tick, py);
            cairo_stroke(cr);
            canvas.text(formatTick(t, tickStep(a)), edge + dir * (tick + 0.25 * fs), py, k == 0 ? 1.0 : 0.0, 0.5);
        }
    };
    yTicks(result.y, 0);
    if (result.hasRightAxis) yTicks(result.y2, 1);

    // Axis labels, shrunk to fit along their axes.
    const auto fitted = [&](const std::string& text, double room) {
        double size = 1.1 * fs;
        canvas.font(size, true);
        while (canvas.textWidth(text) > room && size > 6.0) canvas.font(size *= 0.92, true);
    };
    fitted(result.x.label, result.right - result.left);
    canvas.text(result.x.label, 0.5 * (result.left + result.right), H - m, 0.5, 1.0);
    fitted(result.y.label, result.bottom - result.top);
    canvas.text(result.y.label, m, 0.5 * (result.top + result.bottom), 0.5, 0.0, std::numbers::pi / 2);
    if (result.hasRightAxis) {
        fitted(result.y2.label, result.bottom - result.top);
        canvas.text(result.y2.label, W - m, 0.5 * (result.top + result.bottom), 0.5, 0.0, -std::numbers::pi / 2);
    }
    if (!style.title.empty()) {
        double size = 1.35 * fs;
        canvas.font(size, true);
        while (canvas.textWidth(style.title) > W - 2 * m && size > 6.0) canvas.font(size *= 0.92, true);
        canvas.text(style.title, 0.5 * W, m, 0.5, 0.0);
    }

    // The curves, clipped to the plot area.
    const double lw = std::max(1.5, H / 400.0);
    cairo_save(cr);
    cairo_rectangle(cr, result.left, result.top, result.right - result.left, result.bottom - result.top);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (std::size_t c = 0; c < curves.size(); ++c) {
        const PlotCurve& curve = curves[c];
        const int k = result.axisOfCurve[c];
        canvas.colour(result.colours[c]);
        cairo_set_line_width(cr, lw);
        bool pen = false;
        for (std::size_t i = 0; i < curve.x.size() && i < curve.y.size(); ++i) {
            if (!std::isfinite(curve.x[i]) || !std::isfinite(curve.y[i])) {
                pen = false;
                continue;
            }
            const double px = result.pixelX(curve.x[i]), py = result.pixelY(curve.y[i], k);
            if (pen)
                cairo_line_to(cr, px, py);
            else
                cairo_move_to(cr, px, py);
            pen = true;
        }
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    // The markers over all curves, whole also at the frame: a rake's end points lie on it.
    const double radius = 3.0 * lw;
    cairo_save(cr);
    cairo_rectangle(cr, result.left - 2 * radius, result.top - 2 * radius, result.right - result.left + 4 * radius,
                    result.bottom - result.top + 4 * radius);
    cairo_clip(cr);
    for (std::size_t c = 0; c < curves.size() && style.markers; ++c) {
        const PlotCurve& curve = curves[c];
        const int k = result.axisOfCurve[c];
        canvas.colour(result.colours[c]);
        for (std::size_t i = 0; i < curve.x.size() && i < curve.y.size(); ++i) {
            if (!std::isfinite(curve.x[i]) || !std::isfinite(curve.y[i])) continue;
            cairo_new_sub_path(cr);
            cairo_arc(cr, result.pixelX(curve.x[i]), result.pixelY(curve.y[i], k), radius, 0, 2 * std::numbers::pi);
        }
        cairo_fill_preserve(cr);
        canvas.colour(1, 1, 1);
        cairo_set_line_width(cr, 0.5 * lw);
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    // The legend: one row under the title, centred.
    if (curves.size() > 1) {
        // With two axes each entry says which one is its own.
        std::vector<std::string> labels;
        for (std::size_t c = 0; c < curves.size(); ++c)
            labels.push_back(curves[c].label +
                             (result.hasRightAxis ? (result.axisOfCurve[c] == 0 ? " (left)" : " (right)") : ""));
        double size = fs;
        const auto rowWidth = [&]() {
            double w = 0.0;
            for (const std::string& label : labels) w += 2.0 * size + 0.4 * size + canvas.textWidth(label) + 1.2 * size;
            return w - 1.2 * size;
        };
        canvas.font(size);
        while (rowWidth() > W - 2 * m && size > 6.0) canvas.font(size *= 0.92);
        double x = 0.5 * (W - rowWidth());
        const double y = titleH + 0.5 * legendH;
        for (std::size_t c = 0; c < curves.size(); ++c) {
            canvas.colour(result.colours[c]);
            cairo_set_line_width(cr, lw);
            cairo_move_to(cr, x, y);
            cairo_line_to(cr, x + 2.0 * size, y);
            cairo_stroke(cr);
            canvas.colour(0.1, 0.1, 0.1);
            canvas.text(labels[c], x + 2.4 * size, y, 0.0, 0.5);
            x += 2.0 * size + 0.4 * size + canvas.textWidth(labels[c]) + 1.2 * size;
        }
    }
    canvas.finish();
    return result;
}

#else

PlotResult renderPlot(const std::vector<PlotCurve>&, const PlotStyle&, const std::filesystem::path&) {
    throw data::error("Plot", "render",
                      "Plots are not available: zelpost was built without Cairo (install libcairo2-dev, then "
                      "configure and build again).",
                      ErrError);
}

#endif

} // namespace zel::host::render
