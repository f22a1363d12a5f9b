#pragma once
// The user's preferred units. The default system is SI: every known quantity is shown in
// its default SI unit ("Pressure" in "Pa", "Force" in "N", "Temperature" in "K"). A host
// setting changes the unit of one quantity (setPreferredUnitFor).
//
// Quantity types of a unit text: getQuantityTypeFromUnits returns the first quantity, in
// the converter's table order, whose dimensions equal those of the text. Where several
// share dimensions the more general comes first ("Pressure" before "Stress", "Energy"
// before "Torque", "Force" before "Momentum Flow", "Frequency" before the turbulence
// frequency, "Dimensionless" first of all dimensionless ones).
#include "framework/units/Quantity.h"
#include "framework/units/UnitDimensions.h"

#include <map>
#include <string>

namespace zel {

class UnitSystemHandler {
public:
    UnitSystemHandler() = default;
    virtual ~UnitSystemHandler() = default;

    // Preferred unit of a quantity: the unit set for it, else its default SI unit; empty
    // for the empty name or an unknown quantity.
    std::string getPreferredUnitFor(const std::string& quantity) const;
    // Preferred unit of the first quantity with these dimensions, else the base unit name.
    std::string getPreferredUnitFor(const UnitDimensions& dims) const;
    // Host setting. data::notFound for an unknown quantity, data::invalid for a unit text
    // that cannot be parsed or whose dimensions are not the quantity's.
    void setPreferredUnitFor(const std::string& quantity, const std::string& units);
    // Back to SI for every quantity.
    void resetToDefaults() { m_preferred.clear(); }

    // The quantity name of a unit text (see the tie rule above); empty when no known
    // quantity has its dimensions. data::invalid when the text cannot be parsed.
    std::string getQuantityTypeFromUnits(const std::string& units) const;

    // The quantity in the preferred unit of its quantity type: quantityType when given and
    // known with the same dimensions as the units, else the type found from the units. A
    // quantity with no known type, or an undefined one, is returned unchanged.
    Quantity convertToUserUnits(const Quantity& quantity, const std::string& quantityType = std::string()) const;
    // In place: value and units are replaced by the converted value and the preferred unit.
    void convertToUserUnits(float& value, std::string& units, const std::string& quantityType) const;
    void convertToUserUnits(double& value, std::string& units, const std::string& quantityType) const;

private:
    std::map<std::string, std::string> m_preferred; // quantity -> unit set by the host
};

// The unit system of the engine's session, the one the calculator and the exports use.
class EngineUnitSystemHandler : public UnitSystemHandler {
public:
    static EngineUnitSystemHandler* instance();

private:
    EngineUnitSystemHandler() = default;
    static EngineUnitSystemHandler* m_instance;
};

} // namespace zel
