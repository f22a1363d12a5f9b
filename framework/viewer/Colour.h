#pragma once
// Colours and colour maps of the viewer.
//
// A colour map turns a normalised value t in [0, 1] into a colour by linear interpolation
// between evenly spaced control colours. Besides its range, a map keeps custom colours: the
// constant colours that objects ask for ("Colour", "Line Colour"). addCustomColour returns a
// float colour value outside the map's range (2 + the custom colour's index), so a graphic
// object carries one float whatever its colour mode, and getColourForValue resolves both.
#include <cstddef>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zel {

// Red, green and blue, each nominally in [0, 1].
struct Colour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;

    constexpr Colour() = default;
    constexpr Colour(float red, float green, float blue) : r(red), g(green), b(blue) {}
    // From a parameter's float list (red, green, blue). data::invalid unless it holds
    // exactly three values, each in [0, 1].
    static Colour fromValues(std::span<const float> rgb);
    bool operator==(const Colour&) const = default;
};

class ColourMap {
public:
    // Colour values from this number on are custom colours (2 + index).
    static constexpr float CustomColourBase = 2.0f;

    // controlColours: at least one colour, spread evenly over [0, 1] (internal::badParam
    // for an empty list).
    ColourMap(std::string name, std::vector<Colour> controlColours);

    const std::string& getName() const { return m_name; }
    const std::vector<Colour>& getControlColours() const { return m_controls; }

    // The map's colour at t (clamped to [0, 1]; an undefined or NaN t gives the first colour).
    Colour getColour(float t) const;

    // Registers a constant colour and returns its colour value (CustomColourBase + index).
    // Adding a colour equal to one already registered returns that one's value.
    float addCustomColour(const Colour& colour);
    std::size_t getNumCustomColours() const { return m_custom.size(); }
    // The custom colour of a value returned by addCustomColour; data::notFound otherwise.
    const Colour& getCustomColour(float value) const;
    // A custom colour value gives its custom colour; any other value the map's colour at it.
    Colour getColourForValue(float value) const;

private:
    std::string m_name;
    std::vector<Colour> m_controls;
    std::vector<Colour> m_custom;
};

// The colour maps by name. Built in: "Default Colour Map" (blue, cyan, green, yellow, red),
// "Rainbow" (the same), "Inverse Rainbow", "Greyscale", "Blue to White".
class ColourMapDB {
public:
    static constexpr const char* DefaultMapName = "Default Colour Map";

    static ColourMapDB* instance();

    // The map of that name; the empty name gives the default map. data::notFound naming an
    // unknown map. The database owns the map; it lives until the process ends.
    ColourMap* getMap(const std::string& name);
    bool hasMap(const std::string& name) const;
    // Adds a map, or replaces the control colours of a map of that name (keeping the same
    // object, so that pointers handed out stay valid). Returns the stored map.
    ColourMap* addMap(const std::string& name, std::vector<Colour> controlColours);
    std::vector<std::string> getMapNames() const;

    ColourMapDB(const ColourMapDB&) = delete;
    ColourMapDB& operator=(const ColourMapDB&) = delete;

private:
    ColourMapDB();
    static ColourMapDB* m_instance;
    std::map<std::string, std::unique_ptr<ColourMap>> m_maps;
};

} // namespace zel
