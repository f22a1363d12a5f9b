#pragma once
// A picture of a location coloured by a variable: the scene rasterised with a depth buffer
// (the value interpolated across each face per pixel, faces lit by a light at the camera),
// or its lines drawn with the value's colours along them; a title, a colour legend (its
// title, the range's ends and 5 to 7 ticks) and an axis triad, written as PNG or SVG.
//
// Layout: the title across the top, the legend at the right, the location fitted into the
// rest. Text scales with the picture's height.
#include "framework/geometry/Containers.h"
#include "host/render/Camera.h"
#include "host/render/ColourMap.h"
#include "host/render/Scene.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zel::host::render {

struct PictureStyle {
    int width = 1600, height = 1200;
    std::string title;
    std::string legendTitle;               // "Pressure [Pa]"
    const ColourMap* colourMap = nullptr;  // null: viridis
    std::optional<double> min, max;        // fixed ends of the colour range; else the scene's
    bool drawMesh = false;                 // the faces' edges
    std::optional<TripletD> viewDirection; // else autoViewDirection
};

// What was drawn, for the caller's report and for tests.
struct PictureResult {
    std::filesystem::path file;
    int width = 0, height = 0;
    double legendMin = 0.0, legendMax = 0.0; // the colour range
    std::vector<double> ticks;               // the legend's round values between them
    std::vector<std::string> labels;         // every label the legend shows, bottom to top
    Projection projection;                   // world points to pixels of the picture
    std::size_t rasterBytes = 0;             // the memory of the depth and colour samples
};

// The camera direction a location is best seen along: a flat set of faces along its normal
// (planeViewDirection), any other faces from the iso direction; lines that lie in a plane
// along its normal, a straight line across it (down -z where it can be), others iso.
TripletD autoViewDirection(const Scene& scene);

// Draws the scene and writes `file` (.png or .svg). data::invalid when the scene has no
// faces and no lines, when its faces have no area, or when it is a single point as seen;
// data::error when the file cannot be written. Nothing is written on failure. Without
// Cairo at build time: data::error saying so.
PictureResult renderPicture(const Scene& scene, const PictureStyle& style, const std::filesystem::path& file);

// Whether pictures can be written (Cairo was found at build time).
bool picturesAvailable();

} // namespace zel::host::render
