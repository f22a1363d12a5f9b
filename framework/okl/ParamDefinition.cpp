#include "framework/okl/ParamDefinition.h"

#include "framework/core/StringUtilities.h"

namespace zel {

std::pair<std::string, std::string> ParamDefinition::splitNameValue(std::string_view line) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return {StringUtilities::trim(line), std::string()};
    return {StringUtilities::trim(line.substr(0, eq)), StringUtilities::trim(line.substr(eq + 1))};
}

std::vector<std::string> ParamDefinition::splitValue(std::string_view value) {
    std::vector<std::string> items;
    if (StringUtilities::trim(value).empty()) return items;
    int depth = 0;       // nesting of () and []
    bool quoted = false; // inside "..."
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (quoted) {
            continue;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == ']') && depth > 0) {
            --depth;
        } else if (c == ',' && depth == 0) {
            items.push_back(StringUtilities::trim(value.substr(start, i - start)));
            start = i + 1;
        }
    }
    items.push_back(StringUtilities::trim(value.substr(start)));
    return items;
}

} // namespace zel
