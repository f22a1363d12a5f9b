#include "framework/units/UnitsConverter.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/core/Undefined.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <numbers>
#include <unordered_map>

namespace zel {

namespace {

const char* const CLASS_NAME = "UnitsConverter";

// One unit symbol: value_SI = value * scale (+ offset for an absolute temperature).
struct UnitDef {
    double scale = 1.0;
    double offset = 0.0;
    UnitDimensions dims;
    bool temperature = false; // an absolute temperature when it stands alone
    bool prefixable = false;  // SI prefixes attach to it
};

struct QuantityDef {
    std::string name;
    UnitDimensions dims;
    std::string baseUnits;
    std::string defaultUnits;
};

// A symbol of a unit text with its exponent, after the prefix is resolved.
struct Term {
    const UnitDef* def;
    double prefixScale;
    double exponent;
};

// Base unit symbols in the order of the UnitDimensions indices.
constexpr const char* BASE_SYMBOLS[UnitDimensions::NUM_DIMENSIONS - 1] = {"kg",  "m", "s",  "K", "radian",
                                                                          "mol", "A", "cd", "sr"};

// Parse results kept per text; the number of distinct unit texts of a session is small,
// the cap only guards against a caller that builds texts from numbers.
constexpr std::size_t MAX_CACHED = 4096;

bool isSymbolChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || u >= 0x80;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

struct UnitsConverter::Impl {
    Impl();

    void symbol(const std::string& name, double scale, const UnitDimensions& dims, bool prefixable = false,
                double offset = 0.0, bool temperature = false) {
        symbols[name] = UnitDef{scale, offset, dims, temperature, prefixable};
    }
    void alias(const std::string& word, const std::string& target) { words[word] = target; }
    void quantity(const std::string& name, const std::string& units, const std::string& defaultUnits = {});

    // Resolves one symbol: the exact symbol, a spelled-out word in any case, or an SI
    // prefix on a prefixable symbol. Null when unknown.
    const UnitDef* resolve(std::string_view sym, double& prefixScale) const;
    UnitInfo parseUncached(std::string_view text) const;
    const QuantityDef* findQuantity(const std::string& name) const;

    std::unordered_map<std::string, UnitDef> symbols;
    std::unordered_map<std::string, std::string> words; // lower-case word -> symbol
    std::vector<std::pair<std::string, double>> prefixes;
    std::vector<QuantityDef> quantities; // table order decides ties between equal dimensions

    mutable std::mutex mutex; // guards cache and quantities
    mutable std::unordered_map<std::string, UnitInfo> cache;
};

namespace {

// Recursive-descent parser of one unit text (grammar in UnitsConverter.h). resolve(symbol,
// prefixScale) gives the unit of a symbol or null.
template <typename Resolver> class UnitParser {
public:
    UnitParser(const Resolver& resolve, std::string_view text) : m_resolve(resolve), m_text(text) {}

    std::vector<Term> run() {
        std::vector<Term> terms;
        parseProduct(terms);
        if (m_pos < m_text.size()) fail(_("unexpected '%c'", m_text[m_pos]));
        return terms;
    }

private:
    [[noreturn]] void fail(const std::string& reason) const {
        throw data::invalid(CLASS_NAME, "parse", _("Invalid unit text '%s': %s.", std::string(m_text), reason));
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    void skipBlanks() {
        while (!atEnd() && isBlank(peek())) ++m_pos;
    }

    void parseProduct(std::vector<Term>& out) {
        bool first = true;
        while (true) {
            skipBlanks();
            if (atEnd() || peek() == ')') {
                if (first) fail(atEnd() ? std::string("no unit") : std::string("empty parentheses"));
                return;
            }
            double sign = 1.0;
            if (peek() == '*' || peek() == '/') {
                const char op = peek();
                if (first) fail(_("'%c' without a unit before it", op));
                sign = op == '/' ? -1.0 : 1.0;
                ++m_pos;
                skipBlanks();
                if (atEnd() || peek() == ')' || peek() == '*' || peek() == '/') fail(_("missing unit after '%c'", op));
            }
            parseFactor(out, sign);
            first = false;
        }
    }

    void parseFactor(std::vector<Term>& out, double sign) {
        const std::size_t firstTerm = out.size();
        const char c = peek();
        if (c == '(') {
            ++m_pos;
            parseProduct(out);
            if (peek() != ')') fail("missing ')'");
            ++m_pos;
        } else if (isDigit(c) || c == '.') {
            const std::size_t start = m_pos;
            while (!atEnd() && (isDigit(peek()) || peek() == '.')) ++m_pos;
            const std::string_view number = m_text.substr(start, m_pos - start);
            if (number != "1") fail(_("unexpected number '%s'", std::string(number)));
        } else if (isSymbolChar(c)) {
            const std::size_t start = m_pos;
            while (!atEnd() && isSymbolChar(peek())) ++m_pos;
            const std::string_view sym = m_text.substr(start, m_pos - start);
            double prefixScale = 1.0;
            const UnitDef* def = m_resolve(sym, prefixScale);
            if (!def) fail(_("unknown unit '%s'", std::string(sym)));
            out.push_back(Term{def, prefixScale, 1.0});
        } else {
            fail(_("unexpected '%c'", c));
        }
        if (peek() == '^') {
            ++m_pos;
            const double e = parseExponent();
            for (std::size_t i = firstTerm; i < out.size(); ++i) out[i].exponent *= e;
        }
        for (std::size_t i = firstTerm; i < out.size(); ++i) out[i].exponent *= sign;
    }

    double parseExponent() {
        if (atEnd() || isBlank(peek())) fail("missing exponent after '^'");
        if (peek() == '(') {
            ++m_pos;
            skipBlanks();
            double e = parseNumber();
            skipBlanks();
            if (peek() == '/') {
                ++m_pos;
                skipBlanks();
                const double d = parseNumber();
                if (d == 0.0) fail("zero denominator in exponent");
                e /= d;
                skipBlanks();
            }
            if (peek() != ')') fail("missing ')' after exponent");
            ++m_pos;
            return e;
        }
        return parseNumber();
    }

    // [+|-] digits [. digits] | [+|-] . digits
    double parseNumber() {
        const std::size_t start = m_pos;
        double sign = 1.0;
        if (peek() == '+' || peek() == '-') {
            sign = peek() == '-' ? -1.0 : 1.0;
            ++m_pos;
        }
        const std::size_t digits = m_pos;
        while (!atEnd() && (isDigit(peek()) || peek() == '.')) ++m_pos;
        double v = 0.0;
        const char* b = m_text.data() + digits;
        const char* e = m_text.data() + m_pos;
        const auto res = std::from_chars(b, e, v, std::chars_format::fixed);
        if (b == e || res.ec != std::errc() || res.ptr != e) {
            std::size_t end = m_pos;
            while (end < m_text.size() && !isBlank(m_text[end]) && m_text[end] != ')') ++end;
            const std::string_view bad = m_text.substr(start, end - start);
            if (bad.empty()) fail("missing exponent after '^'");
            fail(_("invalid exponent '%s'", std::string(bad)));
        }
        return sign * v;
    }

    const Resolver& m_resolve;
    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

const UnitDef* UnitsConverter::Impl::resolve(std::string_view sym, double& prefixScale) const {
    prefixScale = 1.0;
    const std::string name(sym);
    if (auto it = symbols.find(name); it != symbols.end()) return &it->second;
    if (auto w = words.find(StringUtilities::toLowerCase(name)); w != words.end()) {
        if (auto it = symbols.find(w->second); it != symbols.end()) return &it->second;
    }
    for (const auto& [prefix, factor] : prefixes) {
        if (name.size() <= prefix.size() || !StringUtilities::startsWith(name, prefix)) continue;
        auto it = symbols.find(name.substr(prefix.size()));
        if (it != symbols.end() && it->second.prefixable) {
            prefixScale = factor;
            return &it->second;
        }
    }
    return nullptr;
}

UnitInfo UnitsConverter::Impl::parseUncached(std::string_view text) const {
    UnitInfo info;
    if (StringUtilities::trim(text).empty()) return info;
    const auto resolver = [this](std::string_view sym, double& prefixScale) { return resolve(sym, prefixScale); };
    const std::vector<Term> terms = UnitParser<decltype(resolver)>(resolver, text).run();
    for (const Term& t : terms) {
        info.scale *= std::pow(t.def->scale * t.prefixScale, t.exponent);
        info.dims.add(t.def->dims * t.exponent);
    }
    if (terms.size() == 1 && terms[0].def->temperature && terms[0].exponent == 1.0) {
        info.absoluteTemperature = true;
        info.offset = terms[0].def->offset;
    }
    return info;
}

void UnitsConverter::Impl::quantity(const std::string& name, const std::string& units,
                                    const std::string& defaultUnits) {
    const UnitInfo base = parseUncached(units);
    QuantityDef q{name, base.dims, std::string(), defaultUnits.empty() ? units : defaultUnits};
    quantities.push_back(std::move(q));
}

const QuantityDef* UnitsConverter::Impl::findQuantity(const std::string& name) const {
    for (const QuantityDef& q : quantities)
        if (q.name == name) return &q;
    for (const QuantityDef& q : quantities)
        if (StringUtilities::equalsIgnoreCase(q.name, name)) return &q;
    return nullptr;
}

UnitsConverter::Impl::Impl() {
    using D = UnitDimensions;
    const double pi = std::numbers::pi;
    const D none;
    const D mass(1, 0, 0), length(0, 1, 0), time(0, 0, 1), temp(0, 0, 0, 1), angle(0, 0, 0, 0, 1);
    const D amount(0, 0, 0, 0, 0, 1), current(0, 0, 0, 0, 0, 0, 1), luminous(0, 0, 0, 0, 0, 0, 0, 1);
    const D solidAngle(0, 0, 0, 0, 0, 0, 0, 0, 1);
    const D force(1, 1, -2), pressure(1, -1, -2), energy(1, 2, -2), power(1, 2, -3);
    const D volume(0, 3, 0), frequency(0, 0, -1);

    // Base units (kg is g with the prefix k).
    symbol("g", 1e-3, mass, true);
    symbol("m", 1.0, length, true);
    symbol("s", 1.0, time, true);
    symbol("K", 1.0, temp, true, 0.0, true);
    symbol("radian", 1.0, angle);
    symbol("rad", 1.0, angle, true);
    symbol("mol", 1.0, amount, true);
    symbol("A", 1.0, current, true);
    symbol("cd", 1.0, luminous, true);
    symbol("sr", 1.0, solidAngle);

    // Mass, length, time.
    symbol("t", 1000.0, mass);
    symbol("lb", 0.45359237, mass);
    symbol("lbm", 0.45359237, mass);
    symbol("slug", 14.593902937206364, mass);
    symbol("in", 0.0254, length);
    symbol("ft", 0.3048, length);
    symbol("yd", 0.9144, length);
    symbol("mile", 1609.344, length);
    symbol("micron", 1e-6, length);
    symbol("min", 60.0, time);
    symbol("h", 3600.0, time);
    symbol("hr", 3600.0, time);
    symbol("day", 86400.0, time);

    // Temperatures: C and F carry the offsets of their zero points.
    symbol("C", 1.0, temp, false, 273.15, true);
    symbol("F", 5.0 / 9.0, temp, false, 459.67 * 5.0 / 9.0, true);
    symbol("R", 5.0 / 9.0, temp, false, 0.0, true);
    symbol("degC", 1.0, temp, false, 273.15, true);
    symbol("degF", 5.0 / 9.0, temp, false, 459.67 * 5.0 / 9.0, true);
    symbol("\xC2\xB0"
           "C",
           1.0, temp, false, 273.15, true);
    symbol("\xC2\xB0"
           "F",
           5.0 / 9.0, temp, false, 459.67 * 5.0 / 9.0, true);

    // Angles.
    symbol("degree", pi / 180.0, angle);
    symbol("deg", pi / 180.0, angle);
    symbol("rev", 2.0 * pi, angle);
    symbol("rpm", 2.0 * pi / 60.0, angle + frequency);

    // Derived units.
    symbol("N", 1.0, force, true);
    symbol("lbf", 4.4482216152605, force);
    symbol("kgf", 9.80665, force);
    symbol("dyn", 1e-5, force);
    symbol("Pa", 1.0, pressure, true);
    symbol("bar", 1e5, pressure, true);
    symbol("atm", 101325.0, pressure);
    symbol("psi", 6894.757293168361, pressure);
    symbol("Torr", 101325.0 / 760.0, pressure);
    symbol("mmHg", 133.322387415, pressure);
    symbol("J", 1.0, energy, true);
    symbol("cal", 4.184, energy);
    symbol("kcal", 4184.0, energy);
    symbol("BTU", 1055.05585262, energy);
    symbol("Btu", 1055.05585262, energy);
    symbol("erg", 1e-7, energy);
    symbol("eV", 1.602176634e-19, energy, true);
    symbol("Wh", 3600.0, energy, true);
    symbol("W", 1.0, power, true);
    symbol("hp", 745.69987158227022, power);
    symbol("Hz", 1.0, frequency, true);
    symbol("L", 1e-3, volume, true);
    symbol("l", 1e-3, volume, true);
    symbol("gal", 3.785411784e-3, volume);
    symbol("V", 1.0, D(1, 2, -3, 0, 0, 0, -1), true);
    symbol("Dimensionless", 1.0, none);

    // Spelled-out names, matched in any case.
    for (const char* s : {"radian", "degree", "rev", "rpm", "psi", "atm", "bar",  "min", "day", "mile",
                          "micron", "slug",   "lbf", "lbm", "btu", "cal", "kcal", "erg", "gal", "hp"})
        alias(s, s == std::string("btu") ? "BTU" : s);
    alias("dimensionless", "Dimensionless");
    alias("radians", "radian");
    alias("degrees", "degree");
    alias("revolution", "rev");
    alias("revolutions", "rev");
    alias("sec", "s");
    alias("second", "s");
    alias("seconds", "s");
    alias("minute", "min");
    alias("minutes", "min");
    alias("hour", "h");
    alias("hours", "h");
    alias("days", "day");
    alias("meter", "m");
    alias("metre", "m");
    alias("meters", "m");
    alias("metres", "m");
    alias("inch", "in");
    alias("foot", "ft");
    alias("feet", "ft");
    alias("kelvin", "K");
    alias("celsius", "C");
    alias("fahrenheit", "F");
    alias("rankine", "R");
    alias("newton", "N");
    alias("pascal", "Pa");
    alias("joule", "J");
    alias("watt", "W");
    alias("hertz", "Hz");
    alias("litre", "L");
    alias("liter", "L");
    alias("torr", "Torr");

    // Longest first so that "da" wins over "d".
    prefixes = {{"da", 1e1},  {"Y", 1e24},  {"Z", 1e21},        {"E", 1e18},       {"P", 1e15},  {"T", 1e12},
                {"G", 1e9},   {"M", 1e6},   {"k", 1e3},         {"h", 1e2},        {"d", 1e-1},  {"c", 1e-2},
                {"m", 1e-3},  {"u", 1e-6},  {"n", 1e-9},        {"p", 1e-12},      {"f", 1e-15}, {"a", 1e-18},
                {"z", 1e-21}, {"y", 1e-24}, {"\xC2\xB5", 1e-6}, {"\xCE\xBC", 1e-6}};
    std::stable_sort(prefixes.begin(), prefixes.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });

    // Quantities. Where several share dimensions, the first listed is the one
    // getQuantityFromDims gives.
    quantity("Dimensionless", "");
    quantity("Length", "m");
    quantity("Area", "m^2");
    quantity("Volume", "m^3");
    quantity("Inverse Length", "m^-1");
    quantity("Time", "s");
    quantity("Frequency", "s^-1", "Hz");
    quantity("Mass", "kg");
    quantity("Temperature", "K");
    quantity("Angle", "radian");
    quantity("Angular Velocity", "radian s^-1");
    quantity("Velocity", "m s^-1");
    quantity("Acceleration", "m s^-2");
    quantity("Density", "kg m^-3");
    quantity("Area Density", "kg m^-2");
    quantity("Pressure", "kg m^-1 s^-2", "Pa");
    quantity("Stress", "kg m^-1 s^-2", "Pa");
    quantity("Shear Stress", "kg m^-1 s^-2", "Pa");
    quantity("Momentum Flux", "kg m^-1 s^-2", "Pa");
    quantity("Force", "kg m s^-2", "N");
    quantity("Momentum Flow", "kg m s^-2", "N");
    quantity("Energy", "kg m^2 s^-2", "J");
    quantity("Torque", "kg m^2 s^-2", "N m");
    quantity("Power", "kg m^2 s^-3", "W");
    quantity("Heat Flow", "kg m^2 s^-3", "W");
    quantity("Heat Flux", "kg s^-3", "W m^-2");
    quantity("Heat Flux in", "kg s^-3", "W m^-2");
    quantity("Heat Transfer Coefficient", "kg s^-3 K^-1", "W m^-2 K^-1");
    quantity("Mass Flow", "kg s^-1");
    quantity("Mass Flux", "kg m^-2 s^-1");
    quantity("Volumetric Flow", "m^3 s^-1");
    quantity("Specific Energy", "m^2 s^-2", "J kg^-1");
    quantity("Turbulence Kinetic Energy", "m^2 s^-2");
    quantity("Energy Dissipation", "m^2 s^-3");
    quantity("Turbulence Eddy Dissipation", "m^2 s^-3");
    quantity("Turbulence Eddy Frequency", "s^-1");
    quantity("Specific Heat Capacity", "m^2 s^-2 K^-1", "J kg^-1 K^-1");
    quantity("Thermal Conductivity", "kg m s^-3 K^-1", "W m^-1 K^-1");
    quantity("Dynamic Viscosity", "kg m^-1 s^-1", "Pa s");
    quantity("Kinematic Viscosity", "m^2 s^-1");
    quantity("Entropy", "kg m^2 s^-2 K^-1", "J K^-1");
    quantity("Temperature Gradient", "K m^-1");
    quantity("Pressure Gradient", "kg m^-2 s^-2", "Pa m^-1");
    quantity("Amount of Substance", "mol");
    quantity("Molar Mass", "kg mol^-1");
    quantity("Molar Concentration", "mol m^-3");
    quantity("Electric Current", "A");
    quantity("Electric Potential", "kg m^2 s^-3 A^-1", "V");
    quantity("Luminous Intensity", "cd");
    quantity("Solid Angle", "sr");
}

UnitsConverter* UnitsConverter::m_instance = nullptr;

UnitsConverter* UnitsConverter::instance() {
    if (!m_instance) m_instance = new UnitsConverter(); // lives until the process ends
    return m_instance;
}

UnitsConverter::UnitsConverter() : m_impl(std::make_unique<Impl>()) {
    for (QuantityDef& q : m_impl->quantities) q.baseUnits = getBaseUnitName(q.dims);
}

UnitsConverter::~UnitsConverter() = default;

UnitInfo UnitsConverter::parse(std::string_view units) const {
    std::string key(units);
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        if (auto it = m_impl->cache.find(key); it != m_impl->cache.end()) return it->second;
    }
    UnitInfo info = m_impl->parseUncached(units);
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->cache.size() >= MAX_CACHED) m_impl->cache.clear();
    m_impl->cache.emplace(std::move(key), info);
    return info;
}

bool UnitsConverter::isValidUnit(std::string_view units) const {
    try {
        parse(units);
        return true;
    } catch (const data::invalid&) {
        return false;
    }
}

bool UnitsConverter::convertUnits(const std::string& from, const std::string& to, double value, double& out,
                                  bool temperatureDifference) const {
    const UnitInfo a = parse(from);
    const UnitInfo b = parse(to);
    if (a.dims != b.dims)
        throw data::invalid(CLASS_NAME, "convertUnits",
                            _("Cannot convert from '%s' to '%s': incompatible dimensions (%s and %s).", from, to,
                              a.dims.commaString(), b.dims.commaString()));
    if (isUndefined(value)) {
        out = value;
        return true;
    }
    const bool offsets = !temperatureDifference && a.absoluteTemperature && b.absoluteTemperature;
    const double si = value * a.scale + (offsets ? a.offset : 0.0);
    out = (si - (offsets ? b.offset : 0.0)) / b.scale;
    return true;
}

bool UnitsConverter::convertUnits(const std::string& from, const std::string& to, float value, float& out,
                                  bool temperatureDifference) const {
    if (isUndefined(value)) {
        double ignored = 0.0;
        convertUnits(from, to, 0.0, ignored, temperatureDifference); // still check the texts
        out = value;
        return true;
    }
    double converted = 0.0;
    convertUnits(from, to, static_cast<double>(value), converted, temperatureDifference);
    out = static_cast<float>(converted);
    return true;
}

bool UnitsConverter::tryConvertUnits(const std::string& from, const std::string& to, double value, double& out,
                                     bool temperatureDifference) const noexcept {
    try {
        double converted = 0.0;
        convertUnits(from, to, value, converted, temperatureDifference);
        out = converted;
        return true;
    } catch (...) {
        return false;
    }
}

bool UnitsConverter::areCompatible(const std::string& a, const std::string& b) const {
    return parse(a).dims == parse(b).dims;
}

UnitDimensions UnitsConverter::dimsFromUnits(const std::string& units) const { return parse(units).dims; }

std::string UnitsConverter::dimsStringFromUnits(const std::string& units) const {
    return parse(units).dims.commaString();
}

std::string UnitsConverter::getBaseUnitName(const UnitDimensions& dims) const {
    if (std::fabs(dims.getValue(UnitDimensions::Reserved)) > 1e-9)
        throw data::invalid(
            CLASS_NAME, "getBaseUnitName",
            _("Dimensions (%s) use the reserved exponent; they have no base unit.", dims.commaString()));
    std::string out;
    for (int i = 0; i < UnitDimensions::NUM_DIMENSIONS - 1; ++i) {
        const double v = dims.getValue(i);
        if (std::fabs(v) <= 1e-9) continue;
        if (!out.empty()) out += ' ';
        out += BASE_SYMBOLS[i];
        const std::string e = UnitDimensions::exponentText(v);
        if (e != "1") out += "^" + e;
    }
    return out;
}

std::string UnitsConverter::getBaseUnitsOf(const std::string& units) const {
    return getBaseUnitName(parse(units).dims);
}

std::string UnitsConverter::getBaseUnitsFromQuant(const std::string& quantity) const {
    if (quantity.empty()) return std::string();
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    const QuantityDef* q = m_impl->findQuantity(quantity);
    if (!q) throw data::notFound(CLASS_NAME, "getBaseUnitsFromQuant", _("Unknown quantity '%s'.", quantity));
    return q->baseUnits;
}

UnitDimensions UnitsConverter::getDimsFromQuant(const std::string& quantity) const {
    if (quantity.empty()) return UnitDimensions();
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    const QuantityDef* q = m_impl->findQuantity(quantity);
    if (!q) throw data::notFound(CLASS_NAME, "getDimsFromQuant", _("Unknown quantity '%s'.", quantity));
    return q->dims;
}

std::string UnitsConverter::getDefaultUnitsFromQuant(const std::string& quantity) const {
    if (quantity.empty()) return std::string();
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    const QuantityDef* q = m_impl->findQuantity(quantity);
    if (!q) throw data::notFound(CLASS_NAME, "getDefaultUnitsFromQuant", _("Unknown quantity '%s'.", quantity));
    return q->defaultUnits;
}

bool UnitsConverter::isKnownQuantity(const std::string& quantity) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->findQuantity(quantity) != nullptr;
}

std::vector<std::string> UnitsConverter::getQuantityNames() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    std::vector<std::string> names;
    names.reserve(m_impl->quantities.size());
    for (const QuantityDef& q : m_impl->quantities) names.push_back(q.name);
    return names;
}

std::string UnitsConverter::getQuantityFromDims(const UnitDimensions& dims) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    for (const QuantityDef& q : m_impl->quantities)
        if (q.dims == dims) return q.name;
    return std::string();
}

void UnitsConverter::addQuantity(const std::string& quantity, const std::string& baseUnits,
                                 const std::string& defaultUnits) {
    if (StringUtilities::trim(quantity).empty())
        throw data::invalid(CLASS_NAME, "addQuantity", "A quantity needs a name.");
    const UnitInfo base = parse(baseUnits);
    const std::string preferred = defaultUnits.empty() ? baseUnits : defaultUnits;
    if (parse(preferred).dims != base.dims)
        throw data::invalid(
            CLASS_NAME, "addQuantity",
            _("Units '%s' of quantity '%s' do not have the dimensions of '%s'.", preferred, quantity, baseUnits));
    QuantityDef def{quantity, base.dims, getBaseUnitName(base.dims), preferred};
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    for (QuantityDef& q : m_impl->quantities) {
        if (q.name == quantity) {
            q = std::move(def);
            return;
        }
    }
    m_impl->quantities.push_back(std::move(def));
}

void UnitsConverter::clearCache() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->cache.clear();
}

} // namespace zel
