#pragma once
// _(format, args...): printf-like message formatting that is safe whatever it is given.
// Arguments are captured with their types, so a mismatch between a conversion and its
// argument converts the value instead of invoking undefined behaviour:
//   %s accepts std::string, const char*, numbers (printed as with %g / %d) and null;
//   %d %i %u %x %X %o %c accept integers, floating values (truncated), bools;
//   %f %e %g %a (and capitals) accept any number;
//   a missing argument prints "(missing)", extra arguments are ignored, %n prints nothing;
//   flags, width, precision and '*' work as in printf; length modifiers are ignored.
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace zel {

class FormatArg {
public:
    enum Kind { Int, UInt, Float, Str, Ptr, Null };

    FormatArg(const std::string& s) : m_kind(Str), m_str(s) {}
    FormatArg(std::string_view s) : m_kind(Str), m_str(s) {}
    FormatArg(const char* s) : m_kind(s ? Str : Null), m_str(s ? s : "") {}
    FormatArg(char* s) : FormatArg(static_cast<const char*>(s)) {}
    FormatArg(std::nullptr_t) : m_kind(Null) {}
    FormatArg(bool b) : m_kind(Int), m_int(b ? 1 : 0) {}
    FormatArg(char c) : m_kind(Int), m_int(c) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
    FormatArg(T v) : m_kind(Int), m_int(static_cast<std::int64_t>(v)) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T>, int> = 0>
    FormatArg(T v) : m_kind(UInt), m_uint(static_cast<std::uint64_t>(v)) {}
    template <typename T, std::enable_if_t<std::is_enum_v<T>, int> = 0>
    FormatArg(T v) : FormatArg(static_cast<std::underlying_type_t<T>>(v)) {}
    template <typename T, std::enable_if_t<std::is_floating_point_v<T>, int> = 0>
    FormatArg(T v) : m_kind(Float), m_float(static_cast<double>(v)) {}
    template <typename T> FormatArg(const T* p) : m_kind(p ? Ptr : Null), m_ptr(static_cast<const void*>(p)) {}

    Kind kind() const { return m_kind; }
    std::int64_t asInt() const;
    std::uint64_t asUInt() const;
    double asFloat() const;
    std::string asString() const;
    const void* asPtr() const { return m_ptr; }

private:
    Kind m_kind;
    std::int64_t m_int = 0;
    std::uint64_t m_uint = 0;
    double m_float = 0.0;
    std::string m_str;
    const void* m_ptr = nullptr;
};

// Formats with an explicit argument list (the engine behind _()).
std::string formatMessage(std::string_view format, const std::vector<FormatArg>& args);

template <typename... Args> std::string _(std::string_view format, const Args&... args) {
    return formatMessage(format, std::vector<FormatArg>{FormatArg(args)...});
}

} // namespace zel
