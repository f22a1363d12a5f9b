#include "framework/units/Quantity.h"

#include "framework/units/UnitsConverter.h"

namespace zel {

Quantity Quantity::convertTo(const std::string& units) const {
    if (isUndefined()) {
        // Still reject a target that is no unit text: the caller's mistake should not hide
        // behind an undefined value.
        UnitsConverter::instance()->parse(units);
        return Quantity();
    }
    double out = 0.0;
    UnitsConverter::instance()->convertUnits(m_units, units, static_cast<double>(m_value), out);
    return Quantity(static_cast<float>(out), units);
}

UnitDimensions Quantity::getDimensions() const { return UnitsConverter::instance()->dimsFromUnits(m_units); }

} // namespace zel
