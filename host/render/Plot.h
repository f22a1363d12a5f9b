#pragma once
// Profile plots: curves of values along a line against arc length or a coordinate, with
// labelled axes (quantity and units), grid lines at round values, a legend for several
// curves, and markers at the sample points when asked; written as PNG or SVG. Curves of one
// kind of units share the left axis; a second kind gets an axis at the right.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zel::host::render {

struct PlotCurve {
    std::string label; // the expression
    std::string units; // its units as a unit text ("m s^-1"); curves are grouped by it
    // The points in path order: x[i], y[i]. A NaN y is a gap (an undefined value); a NaN x
    // ends a piece (the next point starts a new one).
    std::vector<double> x, y;
};

struct PlotStyle {
    int width = 1600, height = 1200;
    std::string title;
    std::string xLabel;   // with its units: "Arc Length [m]"
    bool markers = false; // a dot at every point
};

struct PlotAxis {
    double lo = 0.0, hi = 1.0; // the values at the ends
    std::vector<double> ticks;
    std::string label;
};

// What was drawn: the plot area, the axes and the curves' colours, so that a caller can find
// the pixel of a value.
struct PlotResult {
    std::filesystem::path file;
    int width = 0, height = 0;
    double left = 0, top = 0, right = 0, bottom = 0; // the plot area, pixels
    PlotAxis x, y, y2;                               // y2: the right axis, when there is one
    bool hasRightAxis = false;
    std::vector<int> axisOfCurve;       // 0 left, 1 right
    std::vector<std::uint32_t> colours; // packed, one per curve

    double pixelX(double v) const { return left + (v - x.lo) / (x.hi - x.lo) * (right - left); }
    double pixelY(double v, int axis = 0) const {
        const PlotAxis& a = axis == 0 ? y : y2;
        return bottom - (v - a.lo) / (a.hi - a.lo) * (bottom - top);
    }
};

// Draws the curves and writes `file`. data::invalid when there is no curve, when no curve
// has a defined point, or when the curves have more than two kinds of units; data::error
// when the file cannot be written (nothing is written then). Without Cairo: data::error.
PlotResult renderPlot(const std::vector<PlotCurve>& curves, const PlotStyle& style, const std::filesystem::path& file);

} // namespace zel::host::render
