#pragma once
// A Cairo drawing surface that becomes a picture file: PNG or SVG by the file's extension.
// The file is written under a temporary name beside it and renamed when it is complete,
// so a failed picture leaves no file (and an earlier file of that name untouched).
// Built only with Cairo (ZEL_HAVE_CAIRO).
#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace zel::host::render {

enum class PictureFormat { Png, Svg };

// By the extension (".png", ".svg", any case); data::invalid naming the file otherwise.
PictureFormat pictureFormat(const std::filesystem::path& file);

class Canvas {
public:
    // Opens the picture; data::error naming the file when its folder cannot be written.
    Canvas(const std::filesystem::path& file, int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() { return m_cr; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    void colour(double r, double g, double b) { cairo_set_source_rgb(m_cr, r, g, b); }
    void colour(std::uint32_t packed);
    // Sans-serif text of `size` pixels.
    void font(double size, bool bold = false);
    double textWidth(const std::string& text);
    // Draws text with its box (advance width × font height) placed so that the point
    // (x, y) lies at (alignX, alignY) of it: 0 left/top, 0.5 centre, 1 right/bottom.
    // `angle` turns it (radians, counter-clockwise on the picture) about that point.
    void text(const std::string& text, double x, double y, double alignX, double alignY, double angle = 0.0);
    // Paints `pixels` (width × height packed colours, row after row) at the top left.
    void image(const std::uint32_t* pixels, int width, int height);

    // Writes and renames the file; data::error naming it on failure.
    void finish();

private:
    std::filesystem::path m_file, m_part;
    PictureFormat m_format;
    int m_width, m_height;
    cairo_surface_t* m_surface = nullptr;
    cairo_t* m_cr = nullptr;
    bool m_done = false;
};

} // namespace zel::host::render
