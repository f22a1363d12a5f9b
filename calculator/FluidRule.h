#pragma once
// How the calculator's visitors find the fluids of a geometry: the geometry's single domain,
// that domain's phases from the data storage, and the name prefix of each fluid's variables.
//
//   - the domain is the only entry of the list the visitor gives (the interpolant's domains
//     or the geometry's parent domains), or empty when the list has none or several;
//   - the phases are DataStorageBase::instance()->getPhases(1, domain);
//   - the fluids to visit are the visitor's fluid when it is not empty, else every phase;
//   - a fluid's variables are named with its prefix: none when the domain has fewer than two
//     phases and the fluid is one of them ("Mass Flow"), else the fluid's name and "."
//     ("Water.Mass Flow").
#include <string>
#include <vector>

namespace zel {

struct FluidSelection {
    std::string domain;
    std::vector<std::string> phases;
    std::vector<std::string> fluids;

    // Resolves the rule above for a visitor's fluid and the domain list of a geometry.
    static FluidSelection resolve(const std::string& fluid, const std::vector<std::string>& domains);
    // The prefix of a fluid's variables in this selection's domain.
    std::string fluidPrefix(const std::string& fluid) const;
};

} // namespace zel
