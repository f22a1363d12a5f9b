#include "framework/units/UnitSystemHandler.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/units/UnitsConverter.h"

namespace zel {

std::string UnitSystemHandler::getPreferredUnitFor(const std::string& quantity) const {
    const UnitsConverter* uc = UnitsConverter::instance();
    if (quantity.empty() || !uc->isKnownQuantity(quantity)) return std::string();
    if (auto it = m_preferred.find(quantity); it != m_preferred.end()) return it->second;
    // A case-insensitive match of a known quantity: look the preference up by its own name.
    for (const std::string& name : uc->getQuantityNames()) {
        if (name != quantity && StringUtilities::equalsIgnoreCase(name, quantity)) {
            if (auto it = m_preferred.find(name); it != m_preferred.end()) return it->second;
            break;
        }
    }
    return uc->getDefaultUnitsFromQuant(quantity);
}

std::string UnitSystemHandler::getPreferredUnitFor(const UnitDimensions& dims) const {
    const UnitsConverter* uc = UnitsConverter::instance();
    const std::string quantity = uc->getQuantityFromDims(dims);
    if (!quantity.empty()) return getPreferredUnitFor(quantity);
    return uc->getBaseUnitName(dims);
}

void UnitSystemHandler::setPreferredUnitFor(const std::string& quantity, const std::string& units) {
    const UnitsConverter* uc = UnitsConverter::instance();
    if (!uc->isKnownQuantity(quantity))
        throw data::notFound("UnitSystemHandler", "setPreferredUnitFor", _("Unknown quantity '%s'.", quantity));
    // Preferences are kept under the quantity's own spelling.
    std::string name = quantity;
    for (const std::string& n : uc->getQuantityNames())
        if (n == quantity || StringUtilities::equalsIgnoreCase(n, quantity)) {
            name = n;
            if (n == quantity) break;
        }
    if (StringUtilities::trim(units).empty() && !uc->getDimsFromQuant(name).isDimensionless()) {
        m_preferred.erase(name); // back to the default unit
        return;
    }
    if (uc->dimsFromUnits(units) != uc->getDimsFromQuant(name))
        throw data::invalid(
            "UnitSystemHandler", "setPreferredUnitFor",
            _("Units '%s' are not units of quantity '%s' ('%s').", units, name, uc->getBaseUnitsFromQuant(name)));
    m_preferred[name] = units;
}

std::string UnitSystemHandler::getQuantityTypeFromUnits(const std::string& units) const {
    const UnitsConverter* uc = UnitsConverter::instance();
    return uc->getQuantityFromDims(uc->dimsFromUnits(units));
}

void UnitSystemHandler::convertToUserUnits(double& value, std::string& units, const std::string& quantityType) const {
    if (isUndefined(value)) return;
    const UnitsConverter* uc = UnitsConverter::instance();
    const UnitDimensions dims = uc->dimsFromUnits(units);
    std::string quantity;
    if (!quantityType.empty() && uc->isKnownQuantity(quantityType) && uc->getDimsFromQuant(quantityType) == dims)
        quantity = quantityType;
    else
        quantity = uc->getQuantityFromDims(dims);
    if (quantity.empty()) return;
    const std::string preferred = getPreferredUnitFor(quantity);
    if (preferred == units) return;
    double out = 0.0;
    uc->convertUnits(units, preferred, value, out);
    value = out;
    units = preferred;
}

void UnitSystemHandler::convertToUserUnits(float& value, std::string& units, const std::string& quantityType) const {
    if (isUndefined(value)) return;
    double v = value;
    convertToUserUnits(v, units, quantityType);
    value = static_cast<float>(v);
}

Quantity UnitSystemHandler::convertToUserUnits(const Quantity& quantity, const std::string& quantityType) const {
    if (quantity.isUndefined()) return quantity;
    float value = quantity.getValue();
    std::string units = quantity.getUnits();
    convertToUserUnits(value, units, quantityType);
    return Quantity(value, units);
}

EngineUnitSystemHandler* EngineUnitSystemHandler::m_instance = nullptr;

EngineUnitSystemHandler* EngineUnitSystemHandler::instance() {
    if (!m_instance) m_instance = new EngineUnitSystemHandler(); // lives until the process ends
    return m_instance;
}

} // namespace zel
