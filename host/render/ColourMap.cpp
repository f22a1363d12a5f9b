#include "host/render/ColourMap.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace zel::host::render {
namespace {

const ColourMap& map(int index) {
    static const ColourMap maps[] = {
        ColourMap("Viridis", tables::kViridis),
        ColourMap("Cool to Warm", tables::kCoolToWarm),
        ColourMap("Rainbow", tables::kTurbo),
    };
    return maps[index];
}

// Lower case without blanks, '-' and '_'.
std::string key(const std::string& name) {
    std::string k;
    for (const char c : name)
        if (c != ' ' && c != '-' && c != '_' && c != '\t')
            k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
}

std::uint8_t channel(float v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

} // namespace

std::uint32_t packRgb(const Rgb& c) {
    return 0xFF000000u | (std::uint32_t(channel(c.r)) << 16) | (std::uint32_t(channel(c.g)) << 8) | channel(c.b);
}

Rgb unpackRgb(std::uint32_t p) {
    return {float((p >> 16) & 0xFF) / 255.0f, float((p >> 8) & 0xFF) / 255.0f, float(p & 0xFF) / 255.0f};
}

const ColourMap& ColourMap::viridis() { return map(0); }

std::vector<std::string> ColourMap::names() { return {map(0).name(), map(1).name(), map(2).name()}; }

const ColourMap& ColourMap::byName(const std::string& name) {
    const std::string k = key(name);
    if (k == "turbo") return map(2);
    for (int i = 0; i < 3; ++i)
        if (key(map(i).name()) == k) return map(i);
    std::string known;
    for (const std::string& n : names()) known += (known.empty() ? "" : ", ") + n;
    throw data::invalid("ColourMap", "byName", _("Unknown colour map '%s'; the maps are %s.", name, known), ErrError);
}

Rgb ColourMap::at(double t) const {
    if (!(t > 0.0)) return m_table.front(); // also NaN
    if (t >= 1.0) return m_table.back();
    const double x = t * double(m_table.size() - 1);
    const std::size_t i = static_cast<std::size_t>(x);
    const float f = static_cast<float>(x - double(i));
    const Rgb& a = m_table[i];
    const Rgb& b = m_table[std::min(i + 1, m_table.size() - 1)];
    return {a.r + f * (b.r - a.r), a.g + f * (b.g - a.g), a.b + f * (b.b - a.b)};
}

std::vector<std::uint32_t> ColourMap::packedTable(int size) const {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(std::max(size, 2)));
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = packRgb(at(double(i) / double(out.size() - 1)));
    return out;
}

} // namespace zel::host::render
