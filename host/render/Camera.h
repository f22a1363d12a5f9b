#pragma once
// The orthographic camera of pictures: which way it looks, which way is up, and the
// mapping from world points to pixels that fits a location into a picture.
//
// A view direction is the direction the camera looks along (as ParaView's "look along +X"):
// "+X" looks from the -x side towards +x. Up is kept upright: world +z projected onto the
// picture plane, or +y when the camera looks (nearly) along z; right = forward × up, so
// every view is right-handed (x right and y up when looking along -z).
#include "framework/geometry/Containers.h"

#include <optional>
#include <span>
#include <string>

namespace zel::host::render {

struct ViewBasis {
    TripletD right;
    TripletD up;
    TripletD forward; // the direction the camera looks along; depth grows along it
};

// "+X", "-X", "+Y", "-Y", "+Z", "-Z" (sign optional, any case), "Iso" (looking along
// (-1, -1, -1): x to the lower left, y to the lower right, z up) or three numbers ("1 1 0",
// "1, 1, 0", "(1, 1, 0)"). "Auto" and the empty text give nullopt: the picture chooses.
// data::invalid naming the text for anything else or a zero vector.
std::optional<TripletD> parseViewDirection(const std::string& text);

// The basis of a camera looking along `forward` (not necessarily unit; not zero).
ViewBasis viewBasis(const TripletD& forward);

// The way to look at a plane of that normal: along +normal or -normal, whichever puts the
// plane's coordinates the natural way round (the larger component of the right vector
// positive): an XY plane is seen from +z with x right and y up, a YZ plane from +x with y
// right and z up, an XZ plane from -y with x right and z up.
TripletD planeViewDirection(const TripletD& normal);

// World points to picture coordinates (pixels, y down) and depths.
struct Projection {
    ViewBasis basis;
    TripletD centre;           // the world point at the centre of the fitted region
    double scale = 1.0;        // pixels per length unit
    double cx = 0.0, cy = 0.0; // the pixel of `centre`

    double pixelX(const TripletD& p) const { return cx + (p - centre).dot(basis.right) * scale; }
    double pixelY(const TripletD& p) const { return cy - (p - centre).dot(basis.up) * scale; }
    double depth(const TripletD& p) const { return (p - centre).dot(basis.forward); }

    // Fits `points` into the rectangle (x0, y0, width, height) in pixels with a margin of
    // `padding` times its size on each side, keeping the aspect ratio, centred. A set of
    // points that projects onto a single pixel position (or none) gives nullopt.
    static std::optional<Projection> fit(const ViewBasis& basis, std::span<const TripletF> points, double x0, double y0,
                                         double width, double height, double padding);
};

} // namespace zel::host::render
