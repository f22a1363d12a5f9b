#pragma once
// A float value with its unit text. The undefined quantity is UNDEFINED_VALUE with an
// empty unit text; a default-constructed Quantity is undefined.
#include "framework/core/Undefined.h"
#include "framework/units/UnitDimensions.h"

#include <string>

namespace zel {

class Quantity {
public:
    Quantity() = default;
    Quantity(float value, std::string units) : m_value(value), m_units(std::move(units)) {}
    static Quantity undefined() { return Quantity(); }

    float getValue() const { return m_value; }
    const std::string& getUnits() const { return m_units; }
    void setValue(float value) { m_value = value; }
    void setUnits(std::string units) { m_units = std::move(units); }
    // True when the value is the undefined marker (whatever the units).
    bool isUndefined() const { return zel::isUndefined(m_value); }

    // A new quantity holding this one in the given units; this one is unchanged. An
    // undefined quantity converts to the undefined quantity. Offsets apply when both unit
    // texts are single absolute temperatures (see UnitsConverter). data::invalid for a unit
    // text that cannot be parsed or of other dimensions.
    [[nodiscard]] Quantity convertTo(const std::string& units) const;
    // Dimensions of the unit text (data::invalid when it cannot be parsed).
    UnitDimensions getDimensions() const;

private:
    float m_value = UNDEFINED_VALUE;
    std::string m_units;
};

} // namespace zel
