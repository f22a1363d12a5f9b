#pragma once
// The transfer diagnostics report: after a load surface has been projected onto its
// associated boundary (import) and after the host has exported loads to the structural
// solver (export), the figures on both sides of the transfer — the boundary's forces against
// the surface's, its heat flow and average temperatures against the surface's — are added as
// one block to the XML file "./KVO2NORVADiagnostics.xml" in the working directory:
//
//     <KVO2NORVA>
//       <IMPORT-DIAGNOSTICS>
//         <KVOFILE>results file</KVOFILE>
//         <NORVAFILE>load file</NORVAFILE>
//         <KVO-RESULTS location="boundary">
//           <FORCE component="X" units="N">0.665242</FORCE>          (Y, Z)
//         </KVO-RESULTS>
//         <NORVA-LOAD location="surface">
//           <PROJECTION-SUCCESS type="percentage">100</PROJECTION-SUCCESS>
//           <FORCE component="X" units="N">0.665242</FORCE>          (Y, Z)
//         </NORVA-LOAD>
//       </IMPORT-DIAGNOSTICS>
//
//       <EXPORT-DIAGNOSTICS> ... TEMPAVERAGE, or HEATFLOW, BULKTEMPAVERAGE,
//                                CONVECTIONFILMCOEFF on both sides ...
//     </KVO2NORVA>
//
// Earlier blocks are kept (an empty line between blocks); a file without the root element
// keeps its lines and gains the root after them. Numbers have six significant digits, in the
// user's preferred units. Names are written with XML's escapes for '&', '<', '>' and '"', so
// that any surface or file name leaves a readable report. The new report is written beside
// the old one and then renamed over it: a failed write leaves the old report as it was.
//
// Neither operation raises: the transfer itself has succeeded, so a report that cannot be
// made is reported (class "KVO2NorvaUtilities") and the caller goes on.
#include "framework/ZelExport.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Projection.h"
#include "framework/geometry/Variable.h"

#include <string>
#include <vector>

namespace zel {

class GeometricOKLObject;

class ZEL_API KVO2NorvaUtilities {
public:
    // What an export moved: 0 heat transfer (heat flow, bulk temperature, film
    // coefficient), 1 temperature; any other value writes the block without figures.
    enum DiagnosticsType : int { HeatTransferExport = 0, TemperatureExport = 1 };

    static constexpr const char* kReportFile = "./KVO2NORVADiagnostics.xml";

    // `surface`: the load surface (not owned), with its "Associated Boundary" and "Input
    // File"; `statistics`: how its vertices fell onto the boundary.
    static void writeImportDiagnostics(GeometricOKLObject* surface, Geometry::ProjectionStatistics statistics);
    // `type`: DiagnosticsType; `varType`: the value kind of the exported variables.
    static void writeExportDiagnostics(GeometricOKLObject* surface, DiagnosticsType type, VarType varType);
    // Whether the two above write the report (on by default). Their figures are computed
    // either way: a host running one session on several processes, whose calculator calls are
    // collective, has every process compute them and one write them.
    static void setReportWriting(bool on);

    // --- the parts of the report, for hosts and tests
    // The calculator expression of `function` of `variable` at `location`, one per fluid
    // joined with " + " unless the results have fewer than two fluids or a top-level object
    // named `phaseTest` exists. `on`: the object name after " on " (empty: none);
    // `component`: " X" etc. without the blank (empty: none); `volumeFraction`: multiply by
    // each fluid's volume fraction; `weight`: a further factor (empty: none).
    static std::string buildExpression(const std::string& function, const std::string& variable,
                                       const std::string& phaseTest, const std::string& on,
                                       const std::string& component, bool volumeFraction, const std::string& weight,
                                       const std::string& location);
    // A location as the expression language reads it after '@': as it is, or in double
    // quotes when it holds characters the language reads as operators ("wall-4").
    static std::string locationText(const std::string& location);
    // Adds `block` (whole lines, each ending in '\n') to the report at `file` by the opening
    // rules above. Framework errors when the file cannot be read or written; the old file
    // is then unchanged.
    static void appendBlock(const std::string& file, const std::string& block);
    // `text` with '&', '<', '>' and '"' escaped.
    static std::string escape(const std::string& text);
};

} // namespace zel
