#include "calculator/FluidRule.h"

#include "datastorage/DataStorageBase.h"

#include <algorithm>

namespace zel {

FluidSelection FluidSelection::resolve(const std::string& fluid, const std::vector<std::string>& domains) {
    FluidSelection s;
    if (domains.size() == 1) s.domain = domains.front();
    s.phases = DataStorageBase::instance()->getPhases(1, s.domain);
    if (!fluid.empty())
        s.fluids.push_back(fluid);
    else
        s.fluids = s.phases;
    return s;
}

std::string FluidSelection::fluidPrefix(const std::string& fluid) const {
    const bool isPhase = std::find(phases.begin(), phases.end(), fluid) != phases.end();
    if (phases.size() < 2 && isPhase) return {};
    return fluid + ".";
}

} // namespace zel
