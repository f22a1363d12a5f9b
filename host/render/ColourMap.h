#pragma once
// The colour maps of pictures: a normalised value t in [0, 1] to an sRGB colour, by linear
// interpolation between the evenly spaced entries of a published table (ColourTables.cpp):
//
//   "Viridis"       perceptually uniform, the default (256 entries)
//   "Cool to Warm"  diverging, blue through grey to red, for values about a reference (33)
//   "Rainbow"       Turbo, a rainbow whose lightness varies smoothly (256)
//
// Names match ignoring case, blanks, '-' and '_' ("cool-to-warm", "CoolToWarm"); "Turbo" is
// the rainbow too.
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace zel::host::render {

// Red, green and blue in [0, 1].
struct Rgb {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
};

// An opaque colour as Cairo's image surfaces keep it: 0xFFRRGGBB in one native word.
std::uint32_t packRgb(const Rgb& colour);
Rgb unpackRgb(std::uint32_t packed);

class ColourMap {
public:
    // The map of that name; data::invalid naming the text and listing the maps otherwise.
    static const ColourMap& byName(const std::string& name);
    static const ColourMap& viridis();
    static std::vector<std::string> names();

    const std::string& name() const { return m_name; }
    std::span<const Rgb> table() const { return m_table; }

    // The colour at t, clamped to [0, 1]; NaN gives the first colour.
    Rgb at(double t) const;
    // `size` (>= 2) packed colours at t = i / (size - 1), for look-ups per pixel.
    std::vector<std::uint32_t> packedTable(int size) const;

    ColourMap(std::string name, std::span<const Rgb> table) : m_name(std::move(name)), m_table(table) {}

private:
    std::string m_name;
    std::span<const Rgb> m_table; // a table of ColourTables.cpp (static storage)
};

namespace tables {
extern const Rgb kViridis[256];
extern const Rgb kCoolToWarm[33];
extern const Rgb kTurbo[256];
} // namespace tables

} // namespace zel::host::render
