#include "feloads/LoadExportSettings.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/OKLObject.h"
#include "framework/units/UnitsConverter.h"

namespace zel {

namespace {

// The setting as a quantity in the base units of `quantity`; a bare number is taken in them.
double settingIn(const char* setting, const char* quantity) {
    const std::string text = LoadExportSettings::getValue(setting);
    // A scratch object parses the text as the database parses parameters.
    OKLObject scratch("EXPORT", "EXPORT");
    scratch.setParameter(setting, text);
    Quantity value;
    try {
        value = scratch.getQuantityValue(setting);
    } catch (const Error&) {
        throw data::invalid("LoadExportSettings", "getValue",
                            _("The export setting '%s' is not a quantity: '%s'.", setting, text), ErrError);
    }
    const std::string base = UnitsConverter::instance()->getBaseUnitsFromQuant(quantity);
    if (value.getUnits().empty()) return value.getValue();
    double out = 0.0;
    UnitsConverter::instance()->convertUnits(value.getUnits(), base, double(value.getValue()), out);
    return out;
}

} // namespace

std::string LoadExportSettings::getValue(const std::string& setting) {
    if (const OKLObject* object = OKLCoreAPI::instance()->getObjectByPath("/EXPORT"))
        return object->hasParam(setting) ? object->getValue(setting) : std::string();
    for (const ParamDefinition& p : OKLCoreAPI::instance()->getParamsForObjectType("EXPORT"))
        if (p.getName() == setting) return p.getDefault();
    return std::string();
}

bool LoadExportSettings::specifyReferenceTemperature() {
    return StringUtilities::isTrue(getValue(kSpecifyReferenceTemperature));
}

double LoadExportSettings::referenceTemperature() { return settingIn(kReferenceTemperature, "Temperature"); }

double LoadExportSettings::supplementalHTC() { return settingIn(kSupplementalHTC, "Heat Transfer Coefficient"); }

std::string LoadExportSettings::variableDescription(bool htc) {
    if (specifyReferenceTemperature())
        return std::string("The values for this ") + (htc ? "Heat Transfer Coefficient" : "Temperature") +
               " variable are calculated based on the 'Heat Flux' and 'Temperature' variables and may have been "
               "adjusted based on a specified reference (bulk) temperature of " +
               getValue(kReferenceTemperature) + " and Supplemental HTC of " + getValue(kSupplementalHTC) +
               ".  These settings may be modified in the 'Export NORVA Load File' dialog.";
    return htc ? "This HTC is equivalent to the 'Wall Heat Transfer Coefficient'."
               : "This Temperature is equivalent to the 'Wall Adjacent Temperature'.";
}

} // namespace zel
