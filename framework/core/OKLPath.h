#pragma once
// A path in the object database: components separated by '/', each "TYPE:Name" or a
// singleton's name alone ("/LIBRARY/ROX/EXPRESSIONS", "/DATA READER/CASE:Case 1").
// A leading '/' makes the path absolute. Blanks around components are trimmed, empty
// components (doubled or trailing '/') are dropped; blanks inside names are kept.
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class OKLPath {
public:
    struct Component {
        std::string type; // empty for a singleton ("ROX")
        std::string name; // "Name" of "TYPE:Name", or the singleton's name
        // "TYPE:Name" or "Name".
        std::string toString() const;
        bool operator==(const Component&) const = default;
    };

    OKLPath() = default;
    explicit OKLPath(std::string_view text);

    // Number of components.
    int depth() const { return static_cast<int>(m_components.size()); }
    bool isAbsolute() const { return m_absolute; }
    bool empty() const { return m_components.empty(); }
    const std::vector<Component>& components() const { return m_components; }
    // Component i (0 = the outermost); internal::badParam when out of range.
    const Component& getComponent(int i) const;

    // The first n components as text, with the leading '/' of an absolute path;
    // n is clamped to [0, depth()].
    std::string getSubPath(int n) const;
    // count components from component start as text; the leading '/' is kept only when
    // start is 0 and the path is absolute. Out-of-range parts are clamped.
    std::string getSubPath(int start, int count) const;
    // Name of the last component ("Name" of "CASE:Name"); empty for an empty path.
    std::string getLastName() const;
    // Type of the last component; empty for a singleton or an empty path.
    std::string getLastType() const;
    // The path without its last component (an empty path stays empty).
    OKLPath getParent() const;
    // The path with one more component appended ("TYPE:Name" or "Name").
    OKLPath append(std::string_view component) const;

    std::string toString() const { return getSubPath(depth()); }
    bool operator==(const OKLPath&) const = default;

private:
    bool m_absolute = false;
    std::vector<Component> m_components;
};

} // namespace zel
