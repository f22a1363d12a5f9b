#pragma once
// The built-in variable library: the definitions of the variables a CFD user meets
// (pressures, velocity, temperatures, density, viscosities, turbulence quantities, wall
// shear and heat transfer, forces and flows, volume fractions, coordinates), each with its
// physical quantity, and common physical constants, as command text under "/LIBRARY"
// (the format is described in expressions/VariableDefs.h).
//
// The text is compiled into the library (VariableLibrary.cpp is its only copy), so a host
// finds it without a path on every platform. At start-up, after registering its storage and
// definition store:
//
//   VariableLibrary::load();        // processOKL(text()), then VariableDefs::process
//   ExpressionServer server;        // answers the expression language from the store
//
// `zelpost`-style hosts that want the text as a file (to show or edit it) write text().
#include "framework/ZelExport.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class ZEL_API VariableLibrary {
public:
    // The whole library as command text.
    static std::string text();
    // The pieces text() joins, in order. Each stays below 16,000 bytes, the longest string
    // literal every supported compiler accepts.
    static std::vector<std::string_view> pieces();
    static constexpr std::size_t kMaxPieceBytes = 16000;

    // Applies text() to the object database (OKLCoreAPI::processOKL, update mode) and moves
    // it into the registered definition store with VariableDefs::process, which deletes
    // "/LIBRARY" again. Failures pass on (a long name that the store defines already:
    // data::duplicate, with "/LIBRARY" left in place).
    static void load();
};

} // namespace zel
