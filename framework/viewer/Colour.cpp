#include "framework/viewer/Colour.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <algorithm>
#include <cmath>

namespace zel {

Colour Colour::fromValues(std::span<const float> rgb) {
    if (rgb.size() != 3)
        throw data::invalid("Colour", "fromValues",
                            _("A colour needs %d values (red, green, blue); %d given.", 3, rgb.size()));
    for (float v : rgb)
        if (!(v >= 0.0f && v <= 1.0f))
            throw data::invalid("Colour", "fromValues", _("Colour components must lie between 0 and 1; %g given.", v));
    return {rgb[0], rgb[1], rgb[2]};
}

ColourMap::ColourMap(std::string name, std::vector<Colour> controlColours)
    : m_name(std::move(name)), m_controls(std::move(controlColours)) {
    if (m_controls.empty())
        throw internal::badParam("ColourMap", "ColourMap", _("Colour map '%s' needs at least one colour.", m_name));
}

Colour ColourMap::getColour(float t) const {
    if (!(t >= 0.0f)) // NaN and negative values
        t = 0.0f;
    if (t > 1.0f) t = 1.0f;
    if (m_controls.size() == 1) return m_controls.front();
    const float position = t * float(m_controls.size() - 1);
    const std::size_t i = std::min<std::size_t>(std::size_t(position), m_controls.size() - 2);
    const float f = position - float(i);
    const Colour& a = m_controls[i];
    const Colour& b = m_controls[i + 1];
    return {a.r + f * (b.r - a.r), a.g + f * (b.g - a.g), a.b + f * (b.b - a.b)};
}

float ColourMap::addCustomColour(const Colour& colour) {
    auto it = std::find(m_custom.begin(), m_custom.end(), colour);
    std::size_t index = std::size_t(it - m_custom.begin());
    if (it == m_custom.end()) m_custom.push_back(colour);
    return CustomColourBase + float(index);
}

const Colour& ColourMap::getCustomColour(float value) const {
    const float index = value - CustomColourBase;
    if (!(index >= 0.0f) || index != std::floor(index) || std::size_t(index) >= m_custom.size())
        throw data::notFound("ColourMap", "getCustomColour",
                             _("Colour map '%s' has no custom colour of value %g.", m_name, value));
    return m_custom[std::size_t(index)];
}

Colour ColourMap::getColourForValue(float value) const {
    if (value >= CustomColourBase) return getCustomColour(value);
    return getColour(value);
}

ColourMapDB* ColourMapDB::m_instance = nullptr;

ColourMapDB* ColourMapDB::instance() {
    if (!m_instance) m_instance = new ColourMapDB(); // lives until the process ends, like the maps it hands out
    return m_instance;
}

ColourMapDB::ColourMapDB() {
    const Colour blue(0, 0, 1), cyan(0, 1, 1), green(0, 1, 0), yellow(1, 1, 0), red(1, 0, 0);
    addMap(DefaultMapName, {blue, cyan, green, yellow, red});
    addMap("Rainbow", {blue, cyan, green, yellow, red});
    addMap("Inverse Rainbow", {red, yellow, green, cyan, blue});
    addMap("Greyscale", {Colour(0, 0, 0), Colour(1, 1, 1)});
    addMap("Blue to White", {blue, Colour(1, 1, 1)});
}

ColourMap* ColourMapDB::getMap(const std::string& name) {
    const std::string& key = name.empty() ? std::string(DefaultMapName) : name;
    auto it = m_maps.find(key);
    if (it == m_maps.end()) throw data::notFound("ColourMapDB", "getMap", _("Colour map '%s' does not exist.", key));
    return it->second.get();
}

bool ColourMapDB::hasMap(const std::string& name) const {
    return m_maps.count(name.empty() ? std::string(DefaultMapName) : name) != 0;
}

ColourMap* ColourMapDB::addMap(const std::string& name, std::vector<Colour> controlColours) {
    auto replacement = std::make_unique<ColourMap>(name, std::move(controlColours));
    auto it = m_maps.find(name);
    if (it == m_maps.end()) return m_maps.emplace(name, std::move(replacement)).first->second.get();
    // Keep the object: graphic objects may hold pointers to it. Custom colours stay.
    ColourMap& existing = *it->second;
    ColourMap fresh(name, replacement->getControlColours());
    for (std::size_t i = 0; i < existing.getNumCustomColours(); ++i)
        fresh.addCustomColour(existing.getCustomColour(ColourMap::CustomColourBase + float(i)));
    existing = std::move(fresh);
    return &existing;
}

std::vector<std::string> ColourMapDB::getMapNames() const {
    std::vector<std::string> names;
    names.reserve(m_maps.size());
    for (const auto& [name, map] : m_maps) names.push_back(name);
    return names;
}

} // namespace zel
