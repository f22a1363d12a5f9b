// make_load_deck: writes a structural solver's load surface file for a boundary of a case,
// for trying the load exchange without a structural model (host/LoadDeckWriter.h).
//
//   make_load_deck CASE BOUNDARY OUT.cdb [--units mm] [--split N] [--corners-only]
#include "framework/core/Error.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "host/Host.h"
#include "host/LoadDeckWriter.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace zel;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> positional;
    host::LoadDeckOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--units" && i + 1 < args.size()) {
            options.units = args[++i];
        } else if (args[i] == "--split" && i + 1 < args.size()) {
            options.split = std::atoi(args[++i].c_str());
        } else if (args[i] == "--corners-only") {
            options.midSideNodes = false;
        } else if (!args[i].empty() && args[i][0] == '-') {
            positional.clear();
            break;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 3) {
        std::cerr << "usage: make_load_deck CASE BOUNDARY OUT.cdb [--units mm] [--split N] [--corners-only]\n";
        return 2;
    }
    try {
        host::Host host;
        host.loadCase(positional[0], {});
        auto* boundary = dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(positional[1]));
        if (boundary == nullptr || boundary->getType() != "BOUNDARY")
            throw data::invalid("make_load_deck", "main", "'" + positional[1] + "' is no boundary of the case.",
                                ErrError);
        const std::vector<std::string> names = boundary->getGeometryNames();
        if (names.size() != 1)
            throw data::invalid("make_load_deck", "main", "'" + positional[1] + "' does not lie in one domain.",
                                ErrError);
        const host::LoadDeckCounts counts =
            host::writeLoadDeck(*boundary->getGeometry(names.front()), positional[2], options);
        std::cout << "wrote " << positional[2] << ": " << counts.nodes << " nodes, " << counts.elements
                  << " elements\n";
    } catch (const Error& e) {
        std::cerr << "make_load_deck: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
