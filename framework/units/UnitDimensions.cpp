#include "framework/units/UnitDimensions.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"

#include <charconv>
#include <cmath>

namespace zel {

namespace {

constexpr double EXPONENT_TOLERANCE = 1e-9;

} // namespace

UnitDimensions::UnitDimensions(double mass, double length, double time, double temperature, double angle, double amount,
                               double current, double luminous, double solidAngle)
    : m_values{mass, length, time, temperature, angle, amount, current, luminous, solidAngle, 0.0} {}

UnitDimensions UnitDimensions::fromCommaString(std::string_view text) {
    const std::vector<std::string> fields = StringUtilities::stringToVector(text, ",", true);
    if (fields.size() > NUM_DIMENSIONS)
        throw data::invalid("UnitDimensions", "fromCommaString",
                            _("Dimension text '%s' has %u values; at most %d are allowed.", std::string(text),
                              fields.size(), NUM_DIMENSIONS));
    UnitDimensions dims;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string& f = fields[i];
        double v = 0.0;
        const char* b = f.data();
        const char* e = f.data() + f.size();
        if (b != e && *b == '+') ++b;
        const auto res = std::from_chars(b, e, v);
        if (f.empty() || res.ec != std::errc() || res.ptr != e || !std::isfinite(v))
            throw data::invalid("UnitDimensions", "fromCommaString",
                                _("Invalid dimension value '%s' in '%s'.", f, std::string(text)));
        dims.m_values[i] = v;
    }
    return dims;
}

void UnitDimensions::setValue(int index, double value) {
    if (index < 0 || index >= NUM_DIMENSIONS)
        throw internal::badParam("UnitDimensions", "setValue",
                                 _("Dimension index %d is outside 0..%d.", index, NUM_DIMENSIONS - 1));
    m_values[static_cast<std::size_t>(index)] = value;
}

double UnitDimensions::getValue(int index) const {
    if (index < 0 || index >= NUM_DIMENSIONS)
        throw internal::badParam("UnitDimensions", "getValue",
                                 _("Dimension index %d is outside 0..%d.", index, NUM_DIMENSIONS - 1));
    return m_values[static_cast<std::size_t>(index)];
}

UnitDimensions& UnitDimensions::add(const UnitDimensions& other) {
    for (std::size_t i = 0; i < m_values.size(); ++i) m_values[i] += other.m_values[i];
    return *this;
}

UnitDimensions& UnitDimensions::subtract(const UnitDimensions& other) {
    for (std::size_t i = 0; i < m_values.size(); ++i) m_values[i] -= other.m_values[i];
    return *this;
}

UnitDimensions& UnitDimensions::scale(double factor) {
    for (double& v : m_values) v *= factor;
    return *this;
}

bool UnitDimensions::isDimensionless() const {
    for (double v : m_values)
        if (std::fabs(v) > EXPONENT_TOLERANCE) return false;
    return true;
}

bool UnitDimensions::operator==(const UnitDimensions& other) const {
    for (std::size_t i = 0; i < m_values.size(); ++i)
        if (std::fabs(m_values[i] - other.m_values[i]) > EXPONENT_TOLERANCE) return false;
    return true;
}

std::string UnitDimensions::exponentText(double v) {
    const double r = std::round(v);
    if (std::fabs(r) < 1e15 && std::fabs(v - r) <= EXPONENT_TOLERANCE)
        return StringUtilities::toString(static_cast<long long>(r));
    return StringUtilities::toString(v);
}

std::string UnitDimensions::commaString() const {
    std::string out;
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        if (i) out += ',';
        out += exponentText(m_values[i]);
    }
    return out;
}

} // namespace zel
