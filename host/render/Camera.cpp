#include "host/render/Camera.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/okl/ParamDefinition.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace zel::host::render {
namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TripletD unit(const TripletD& v) { return v / std::sqrt(v.lengthSquared()); }

} // namespace

std::optional<TripletD> parseViewDirection(const std::string& text) {
    std::string t = lower(text);
    t.erase(std::remove_if(t.begin(), t.end(), [](char c) { return c == ' ' || c == '\t'; }), t.end());
    if (t.empty() || t == "auto") return std::nullopt;
    if (t == "iso" || t == "isometric") return TripletD(-1, -1, -1);
    if (t.size() <= 2 && (t.back() == 'x' || t.back() == 'y' || t.back() == 'z') &&
        (t.size() == 1 || t[0] == '+' || t[0] == '-')) {
        const double sign = t[0] == '-' ? -1.0 : 1.0;
        TripletD d(0, 0, 0);
        d[t.back() - 'x'] = sign;
        return d;
    }
    // Three numbers, separated by commas or blanks, optionally in parentheses.
    std::string numbers = text;
    for (char& c : numbers)
        if (c == ',' || c == '(' || c == ')') c = ' ';
    std::istringstream in(numbers);
    TripletD d;
    std::string rest;
    if ((in >> d.x >> d.y >> d.z) && !(in >> rest) && std::isfinite(d.lengthSquared()) && d.lengthSquared() > 0.0)
        return d;
    throw data::invalid("Camera", "parseViewDirection",
                        _("View Direction '%s' is none of Auto, +X, -X, +Y, -Y, +Z, -Z, Iso or a vector such as "
                          "'1 1 0'.",
                          text),
                        ErrError);
}

ViewBasis viewBasis(const TripletD& forward) {
    ViewBasis b;
    b.forward = unit(forward);
    // Upright: world z up, unless the camera looks (nearly) along z.
    const TripletD hint = std::fabs(b.forward.z) > 0.95 ? TripletD(0, 1, 0) : TripletD(0, 0, 1);
    b.up = unit(hint - b.forward * hint.dot(b.forward));
    b.right = b.forward.cross(b.up);
    return b;
}

TripletD planeViewDirection(const TripletD& normal) {
    const TripletD n = unit(normal);
    const TripletD right = viewBasis(-n).right;
    int largest = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(right[i]) > std::fabs(right[largest]) + 1e-9) largest = i;
    return right[largest] >= 0.0 ? -n : n;
}

std::optional<Projection> Projection::fit(const ViewBasis& basis, std::span<const TripletF> points, double x0,
                                          double y0, double width, double height, double padding) {
    double umin = std::numeric_limits<double>::infinity(), umax = -umin, vmin = umin, vmax = -umin;
    for (const TripletF& pf : points) {
        const TripletD p(pf);
        const double u = p.dot(basis.right), v = p.dot(basis.up);
        umin = std::min(umin, u);
        umax = std::max(umax, u);
        vmin = std::min(vmin, v);
        vmax = std::max(vmax, v);
    }
    if (!(umax >= umin)) return std::nullopt;
    const double du = umax - umin, dv = vmax - vmin;
    const double extent = std::max(du, dv);
    // Extents below the float resolution of the coordinates are a single point.
    double size = 0.0;
    for (const TripletF& p : points) size = std::max(size, std::sqrt(TripletD(p).lengthSquared()));
    if (!(extent > 1e-6 * std::max(size, 1e-30))) return std::nullopt;
    const double w = width * (1.0 - 2.0 * padding), h = height * (1.0 - 2.0 * padding);
    const double su = du > 1e-9 * extent ? w / du : std::numeric_limits<double>::infinity();
    const double sv = dv > 1e-9 * extent ? h / dv : std::numeric_limits<double>::infinity();
    Projection p;
    p.basis = basis;
    p.scale = std::min(su, sv);
    const double uc = 0.5 * (umin + umax), vc = 0.5 * (vmin + vmax);
    p.centre = basis.right * uc + basis.up * vc;
    p.cx = x0 + 0.5 * width;
    p.cy = y0 + 0.5 * height;
    return p;
}

} // namespace zel::host::render
