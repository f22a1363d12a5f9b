#pragma once
// The definition of one parameter of an object type (its name and default value text),
// and the text helpers that split parameter lines and list values.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel {

class ParamDefinition {
public:
    ParamDefinition() = default;
    ParamDefinition(std::string name, std::string defaultValue = std::string())
        : m_name(std::move(name)), m_default(std::move(defaultValue)) {}

    const std::string& getName() const { return m_name; }
    const std::string& getDefault() const { return m_default; }
    // Same as getDefault(): the value an object of the type has until it is set.
    const std::string& getValue() const { return m_default; }

    // Splits "Name = value" at the first '=' into the trimmed name and the trimmed value.
    // A line without '=' (a block header "PLANE: Slice 1", "END") gives the whole trimmed
    // line as name and an empty value.
    static std::pair<std::string, std::string> splitNameValue(std::string_view line);

    // Splits a list value "a, b, c" at the commas into trimmed items. Commas inside
    // parentheses, square brackets or double-quoted text do not split ("max(a, b)" stays
    // one item). An empty or all-blank value gives an empty list; an empty item between
    // two commas is kept as an empty string ("a, , b" -> {"a", "", "b"}).
    static std::vector<std::string> splitValue(std::string_view value);

    bool operator==(const ParamDefinition&) const = default;

private:
    std::string m_name;
    std::string m_default;
};

} // namespace zel
