#if ZEL_HAVE_CAIRO
#include "host/render/Canvas.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

namespace zel::host::render {
namespace {

constexpr const char* kClass = "Picture";

std::string lowerExtension(const std::filesystem::path& file) {
    std::string e = file.extension().string();
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

} // namespace

PictureFormat pictureFormat(const std::filesystem::path& file) {
    const std::string e = lowerExtension(file);
    if (e == ".png") return PictureFormat::Png;
    if (e == ".svg") return PictureFormat::Svg;
    throw data::invalid(kClass, "pictureFormat", _("Picture file '%s' must end in .png or .svg.", file.string()),
                        ErrError);
}

Canvas::Canvas(const std::filesystem::path& file, int width, int height)
    : m_file(file), m_part(file.string() + ".part"), m_format(pictureFormat(file)), m_width(width), m_height(height) {
    // Find out now, before any drawing, whether the file can be written at all.
    {
        std::ofstream probe(m_part, std::ios::binary | std::ios::trunc);
        if (!probe)
            throw data::error(kClass, "write", _("Cannot write the picture file '%s'.", file.string()), ErrError);
    }
    if (m_format == PictureFormat::Png) {
        m_surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    } else {
        m_surface = cairo_svg_surface_create(m_part.string().c_str(), width, height);
        cairo_svg_surface_set_document_unit(m_surface, CAIRO_SVG_UNIT_PX); // 1600 x 1200 pixels, not points
    }
    m_cr = cairo_create(m_surface);
    if (cairo_status(m_cr) != CAIRO_STATUS_SUCCESS) {
        const std::string why = cairo_status_to_string(cairo_status(m_cr));
        cairo_destroy(m_cr);
        cairo_surface_destroy(m_surface);
        m_cr = nullptr;
        m_surface = nullptr;
        std::error_code ignored;
        std::filesystem::remove(m_part, ignored);
        throw data::error(kClass, "write", _("Cannot make the picture '%s': %s.", file.string(), why), ErrError);
    }
    cairo_set_source_rgb(m_cr, 1, 1, 1);
    cairo_paint(m_cr);
}

Canvas::~Canvas() {
    if (m_cr != nullptr) cairo_destroy(m_cr);
    if (m_surface != nullptr) cairo_surface_destroy(m_surface);
    if (!m_done) {
        std::error_code ignored;
        std::filesystem::remove(m_part, ignored);
    }
}

void Canvas::colour(std::uint32_t p) {
    cairo_set_source_rgb(m_cr, double((p >> 16) & 0xFF) / 255.0, double((p >> 8) & 0xFF) / 255.0,
                         double(p & 0xFF) / 255.0);
}

void Canvas::font(double size, bool bold) {
    cairo_select_font_face(m_cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m_cr, size);
}

double Canvas::textWidth(const std::string& text) {
    cairo_text_extents_t e;
    cairo_text_extents(m_cr, text.c_str(), &e);
    return e.x_advance;
}

void Canvas::text(const std::string& text, double x, double y, double alignX, double alignY, double angle) {
    cairo_font_extents_t f;
    cairo_font_extents(m_cr, &f);
    const double w = textWidth(text), h = f.ascent + f.descent;
    cairo_save(m_cr);
    cairo_translate(m_cr, x, y);
    cairo_rotate(m_cr, -angle);
    cairo_move_to(m_cr, -alignX * w, -alignY * h + f.ascent);
    cairo_show_text(m_cr, text.c_str());
    cairo_restore(m_cr);
}

void Canvas::image(const std::uint32_t* pixels, int width, int height) {
    cairo_surface_t* source =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(pixels)),
                                            CAIRO_FORMAT_RGB24, width, height, width * 4);
    cairo_save(m_cr);
    cairo_set_source_surface(m_cr, source, 0, 0);
    cairo_rectangle(m_cr, 0, 0, width, height);
    cairo_fill(m_cr);
    cairo_restore(m_cr);
    cairo_surface_destroy(source);
}

void Canvas::finish() {
    cairo_status_t status = cairo_status(m_cr);
    cairo_destroy(m_cr);
    m_cr = nullptr;
    if (status == CAIRO_STATUS_SUCCESS) {
        if (m_format == PictureFormat::Png) {
            status = cairo_surface_write_to_png(m_surface, m_part.string().c_str());
        } else {
            cairo_surface_finish(m_surface);
            status = cairo_surface_status(m_surface);
        }
    }
    cairo_surface_destroy(m_surface);
    m_surface = nullptr;
    if (status != CAIRO_STATUS_SUCCESS)
        throw data::error(kClass, "write",
                          _("Cannot write the picture file '%s': %s.", m_file.string(), cairo_status_to_string(status)),
                          ErrError);
    std::error_code error;
    std::filesystem::rename(m_part, m_file, error);
    if (error)
        throw data::error(kClass, "write",
                          _("Cannot write the picture file '%s': %s.", m_file.string(), error.message()), ErrError);
    m_done = true;
}

} // namespace zel::host::render
#endif
