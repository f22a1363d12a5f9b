#include "framework/core/StringUtilities.h"

#include <array>
#include <charconv>
#include <cmath>

namespace zel {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view trimView(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b])) ++b;
    while (e > b && isBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

template <typename T> std::string integerText(T value) {
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    return std::string(buf.data(), res.ptr);
}

template <typename T> std::string floatText(T value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    return std::string(buf.data(), res.ptr);
}

} // namespace

bool StringUtilities::startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool StringUtilities::endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool StringUtilities::equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool StringUtilities::isTrue(std::string_view text) {
    const std::string_view t = trimView(text);
    for (const char* word : {"true", "t", "yes", "y", "on", "1"})
        if (equalsIgnoreCase(t, word)) return true;
    return false;
}

std::vector<std::string> StringUtilities::stringToVector(std::string_view text, std::string_view separators,
                                                         bool keepEmpty) {
    std::vector<std::string> out;
    if (trimView(text).empty()) return out;
    std::size_t begin = 0;
    while (true) {
        const std::size_t end = separators.empty() ? std::string_view::npos : text.find_first_of(separators, begin);
        const std::string_view field =
            trimView(text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
        if (keepEmpty || !field.empty()) out.emplace_back(field);
        if (end == std::string_view::npos) break;
        begin = end + 1;
    }
    return out;
}

std::string StringUtilities::vectorToString(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += separator;
        out += items[i];
    }
    return out;
}

std::string StringUtilities::trim(std::string_view text) { return std::string(trimView(text)); }

std::string StringUtilities::escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string StringUtilities::simplifyWhitespace(std::string_view text) {
    const std::string_view t = trimView(text);
    std::string out;
    out.reserve(t.size());
    bool inBlank = false;
    for (char c : t) {
        if (isBlank(c)) {
            inBlank = true;
            continue;
        }
        if (inBlank) out += ' ';
        inBlank = false;
        out += c;
    }
    return out;
}

std::string StringUtilities::removeWhitespace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!isBlank(c)) out += c;
    return out;
}

std::string StringUtilities::replaceSubstring(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (true) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::string StringUtilities::toUpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upper(c);
    return out;
}

std::string StringUtilities::toLowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower(c);
    return out;
}

std::string StringUtilities::toString(double value) { return floatText(value); }
std::string StringUtilities::toString(float value) { return floatText(value); }
std::string StringUtilities::toString(int value) { return integerText(value); }
std::string StringUtilities::toString(long value) { return integerText(value); }
std::string StringUtilities::toString(long long value) { return integerText(value); }
std::string StringUtilities::toString(unsigned value) { return integerText(value); }
std::string StringUtilities::toString(unsigned long value) { return integerText(value); }
std::string StringUtilities::toString(unsigned long long value) { return integerText(value); }

} // namespace zel
