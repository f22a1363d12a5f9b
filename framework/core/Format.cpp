#include "framework/core/Format.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace zel {

std::int64_t FormatArg::asInt() const {
    switch (m_kind) {
    case Int: return m_int;
    case UInt:
        return m_uint > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(m_uint);
    case Float:
        if (std::isnan(m_float)) return 0;
        if (m_float >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
        if (m_float <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(m_float);
    case Str: {
        try {
            return static_cast<std::int64_t>(std::stoll(m_str));
        } catch (...) {
            return 0;
        }
    }
    case Ptr: return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(m_ptr));
    case Null: return 0;
    }
    return 0;
}

std::uint64_t FormatArg::asUInt() const {
    if (m_kind == UInt) return m_uint;
    if (m_kind == Float) {
        if (!(m_float > 0.0)) return static_cast<std::uint64_t>(asInt());
        if (m_float >= 1.8e19) return std::numeric_limits<std::uint64_t>::max();
        return static_cast<std::uint64_t>(m_float);
    }
    return static_cast<std::uint64_t>(asInt());
}

double FormatArg::asFloat() const {
    switch (m_kind) {
    case Int: return static_cast<double>(m_int);
    case UInt: return static_cast<double>(m_uint);
    case Float: return m_float;
    case Str: {
        try {
            return std::stod(m_str);
        } catch (...) {
            return 0.0;
        }
    }
    default: return 0.0;
    }
}

std::string FormatArg::asString() const {
    char buf[64];
    switch (m_kind) {
    case Int: return std::to_string(m_int);
    case UInt: return std::to_string(m_uint);
    case Float: std::snprintf(buf, sizeof buf, "%g", m_float); return buf;
    case Str: return m_str;
    case Ptr: std::snprintf(buf, sizeof buf, "%p", m_ptr); return buf;
    case Null: return "(null)";
    }
    return {};
}

namespace {

// Runs snprintf on one conversion whose argument type matches by construction.
template <typename T> void appendOne(std::string& out, const std::string& directive, T value) {
    char small[128];
    int n = std::snprintf(small, sizeof small, directive.c_str(), value);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        out.append(small, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), directive.c_str(), value);
    big.resize(static_cast<size_t>(n));
    out += big;
}

} // namespace

std::string formatMessage(std::string_view format, const std::vector<FormatArg>& args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    size_t next = 0;
    auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };
    static const char* missing = "(missing)";

    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Parse %[flags][width][.precision][length]conversion into a clean directive.
        size_t j = i + 1;
        std::string directive = "%";
        while (j < format.size() && std::string_view("-+ #0").find(format[j]) != std::string_view::npos)
            directive += format[j++];
        auto readNumberOrStar = [&]() {
            if (j < format.size() && format[j] == '*') {
                ++j;
                const FormatArg* a = take();
                long long v = a ? a->asInt() : 0;
                if (v > 4096) v = 4096; // a width or precision beyond this is a mistake
                if (v < -4096) v = -4096;
                directive += std::to_string(v);
                return;
            }
            std::string digits;
            while (j < format.size() && format[j] >= '0' && format[j] <= '9') digits += format[j++];
            if (digits.size() > 4) digits = "4096";
            directive += digits;
        };
        readNumberOrStar();
        if (j < format.size() && format[j] == '.') {
            directive += '.';
            ++j;
            readNumberOrStar();
            if (directive.back() == '.')
                directive += '0';
            else if (directive[directive.size() - 2] == '.' && directive.back() == '-')
                directive.back() = '0';
        }
        while (j < format.size() && std::string_view("hlLqjzt").find(format[j]) != std::string_view::npos) ++j;
        if (j >= format.size()) { // dangling '%': print the rest as it stands
            out.append(format.substr(i));
            break;
        }
        char conv = format[j];
        i = j;
        switch (conv) {
        case 'd':
        case 'i': {
            const FormatArg* a = take();
            if (!a) {
                out += missing;
                break;
            }
            appendOne(out, directive + "lld", static_cast<long long>(a->asInt()));
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            const FormatArg* a = take();
            if (!a) {
                out += missing;
                break;
            }
            appendOne(out, directive + "ll" + conv, static_cast<unsigned long long>(a->asUInt()));
            break;
        }
        case 'c': {
            const FormatArg* a = take();
            if (!a) {
                out += missing;
                break;
            }
            if (a->kind() == FormatArg::Str) {
                std::string s = a->asString();
                appendOne(out, directive + "c", static_cast<int>(s.empty() ? ' ' : static_cast<unsigned char>(s[0])));
            } else {
                appendOne(out, directive + "c", static_cast<int>(static_cast<unsigned char>(a->asInt() & 0xff)));
            }
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            const FormatArg* a = take();
            if (!a) {
                out += missing;
                break;
            }
            appendOne(out, directive + conv, a->asFloat());
            break;
        }
        case 's': {
            const FormatArg* a = take();
            std::string s = a ? a->asString() : std::string(missing);
            appendOne(out, directive + "s", s.c_str());
            break;
        }
        case 'p': {
            const FormatArg* a = take();
            if (!a) {
                out += missing;
                break;
            }
            appendOne(out, directive + "p", a->kind() == FormatArg::Ptr ? a->asPtr() : nullptr);
            break;
        }
        case 'n': take(); break;
        default: // unknown conversion: keep the text as written
            out += '%';
            out += directive.substr(1);
            out += conv;
            break;
        }
    }
    return out;
}

} // namespace zel
