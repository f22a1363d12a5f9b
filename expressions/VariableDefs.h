#pragma once
// The loader of the variable library: copies the definitions and physical constants that
// the command language put under "/LIBRARY" into the registered definition store
// (VariableDefStoreBase), then removes "/LIBRARY" from the object database.
//
// The library is command text (see expressions/library/VariableLibrary.h for the built-in
// one):
//
//   LIBRARY:
//     VARIABLE: p                       # the object name is the short name
//       Long Name = Pressure            # the key of the definition
//       Quantity = Pressure             # a quantity the units library knows
//       Tensor Type = SCALAR            # SCALAR, VECTOR or SYMTEN2 (not stored)
//       User Level = 1                  # read like atoi; missing: 0
//       Variable Description = Static pressure
//     END
//     VARIABLE: vel
//       Long Name = Velocity
//       Tensor Type = VECTOR
//       Component Long Names = Velocity X, Velocity Y, Velocity Z
//       Component Short Names = u, v, w
//       ...
//     END
//     ROX:
//       PHYSICAL CONSTANTS:
//         g = 9.80665 [m s^-2]          # name = value text (an expression)
//       END
//     END
//   END
//
// "VARIABLE" objects may stand anywhere below "/LIBRARY"; they are taken in database order.
#include "framework/ZelExport.h"

#include <string>

namespace zel {

class OKLAPI;

class ZEL_API VariableDefs {
public:
    // Reads every "VARIABLE" object below "/LIBRARY" and every parameter of
    // "/LIBRARY/ROX/PHYSICAL CONSTANTS" into VariableDefStoreBase::instance(), then deletes
    // "/LIBRARY". Called once by the host after the library text was applied and the store
    // registered.
    //
    //  - a missing "/LIBRARY" or constants branch is reported (notice "No variables were
    //    defined." / "No physical constants were defined.", class "VariableDefs",
    //    operation "processVariableDefs") and loading goes on without it;
    //  - "SYMTEN2" definitions are skipped silently; any other tensor type than "SCALAR",
    //    "VECTOR" and "SYMTEN2" is reported ("Unrecognised tensor type ...", error type 4)
    //    and skipped;
    //  - a failure of the store (a long name defined twice) passes out: the definitions
    //    stored before it stay and "/LIBRARY" is kept, so the library can be inspected.
    //
    // internal::nullPointer "Null pointer to OKLAPI." for a null api; internal::error when
    // no store is registered.
    static void process(OKLAPI* api);

    // The user level of a "User Level" text, read as the C library's atoi does: leading
    // blanks, an optional sign, then digits up to the first other character; no digits
    // give 0. Values beyond the int range are clamped (atoi leaves them undefined).
    static int userLevelOf(const std::string& text);
};

} // namespace zel
