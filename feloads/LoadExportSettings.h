#pragma once
// The settings of the structural load export, kept by the host's "/EXPORT" object (its
// export dialog, or a session's "EXPORT:" block): whether the heat transfer coefficient is
// taken against a reference (bulk) temperature, that temperature, and the supplemental
// coefficient that replaces negative ones. Where the database has no "/EXPORT" object, the
// defaults of the "EXPORT" type stand.
#include "framework/ZelExport.h"

#include <string>

namespace zel {

class ZEL_API LoadExportSettings {
public:
    static constexpr const char* kSpecifyReferenceTemperature = "NORVA Specify Reference Temperature";
    static constexpr const char* kReferenceTemperature = "NORVA Reference Temperature";
    static constexpr const char* kSupplementalHTC = "NORVA Supplemental HTC";

    // The text of a setting: the "/EXPORT" object's parameter, else the type's default, else
    // empty.
    static std::string getValue(const std::string& setting);
    static bool specifyReferenceTemperature();
    // The reference temperature in K and the supplemental coefficient in W m^-2 K^-1 (base
    // units). data::invalid (naming the setting) when the text is not a quantity of that kind.
    static double referenceTemperature();
    static double supplementalHTC();

    // The "Variable Description" of the exported heat transfer coefficient (`htc`) or
    // adjacent temperature.
    static std::string variableDescription(bool htc);
};

} // namespace zel
