#pragma once
// Text helpers used across the framework and the system. All functions are static and
// work on bytes (ASCII case mapping; other bytes pass through unchanged). "Blank" means
// one of ' ', '\t', '\n', '\r', '\f', '\v'.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class StringUtilities {
public:
    static bool startsWith(std::string_view text, std::string_view prefix);
    static bool endsWith(std::string_view text, std::string_view suffix);
    // Case-insensitive equality (ASCII).
    static bool equalsIgnoreCase(std::string_view a, std::string_view b);
    // True for "true", "t", "yes", "y", "on", "1" in any case, after trimming; false otherwise.
    static bool isTrue(std::string_view text);

    // Splits at any of the separator characters and trims blanks from every field.
    // Empty fields (two separators in a row, a separator at either end, a field of blanks)
    // are dropped unless keepEmpty is set; an empty or all-blank text gives an empty list.
    // With keepEmpty, "a,,b," split at "," gives {"a", "", "b", ""}.
    static std::vector<std::string> stringToVector(std::string_view text, std::string_view separators,
                                                   bool keepEmpty = false);
    // Joins with the separator between items (no separator after the last).
    static std::string vectorToString(const std::vector<std::string>& items, std::string_view separator);

    // Removes leading and trailing blanks.
    static std::string trim(std::string_view text);
    // `text` with XML's escapes for '&', '<', '>' and '"' (for element text and attributes).
    static std::string escapeXml(std::string_view text);
    // Trims and collapses every run of blanks inside to one ' '.
    static std::string simplifyWhitespace(std::string_view text);
    // Removes every blank.
    static std::string removeWhitespace(std::string_view text);
    // Replaces every non-overlapping occurrence of from, left to right. An empty from
    // leaves the text unchanged.
    static std::string replaceSubstring(std::string_view text, std::string_view from, std::string_view to);
    static std::string toUpperCase(std::string_view text);
    static std::string toLowerCase(std::string_view text);

    // Shortest text that reads back to the same value ("0.1", "1e+20", "-0", "inf", "nan").
    static std::string toString(double value);
    static std::string toString(float value);
    static std::string toString(int value);
    static std::string toString(long value);
    static std::string toString(long long value);
    static std::string toString(unsigned value);
    static std::string toString(unsigned long value);
    static std::string toString(unsigned long long value);
};

} // namespace zel
