#pragma once
// zelpost's start-up and session runner.
//
// Constructing a Host brings the library up in the order the library expects:
//   1. the concrete storage (CaseStorage) and definition store (CaseDefStore), each
//      registered once;
//   2. the built-in variable library, loaded into the store (VariableLibrary::load), and the
//      expression server, which answers the expression language from the store and the
//      object database;
//   3. the calculator (FunctionCalculator::instance), which makes itself the expression
//      language's callbacks;
//   4. one calc function per location type (registerLocatorCalcFuncs);
//   5. the "calculate" action (CalculateExecutor), wrapped so that every result is recorded;
//   6. the CALCULATOR object;
//   7. the "picture" and "plot" actions and their PICTURE and PLOT objects (host/render).
// Destroying it clears the object database, withdraws both registrations and the action.
// One Host at a time per process (the registries are process-wide).
//
//   Host host;
//   host.loadCase("VTK/elbow_200.vtm", {});
//   host.runSession("PLANE: Plane 1\n  Option = XY Plane\nEND\n> calculate area, Plane 1\n", "inline");
//   for (const ResultRow& r : host.results()) ...
#include "expressions/VariableDefStoreBase.h"
#include "host/CaseLoader.h"
#include "host/CaseStorage.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zel {
class ActionExecutor;
class ExpressionLocatorsInterface;
class ExpressionServer;
class GeometricOKLObject;
} // namespace zel

namespace zel::host {

class Collective;

namespace render {
class PictureCommands;
struct PictureRecord;
} // namespace render

// The definition store: the operator words of the expression language are those of the
// library's table.
class CaseDefStore : public VariableDefStoreBase {
public:
    const std::vector<std::pair<std::string, std::string>>& getVariableSuffixes() override {
        return getOperatorTable();
    }
};

// One result: a calculation of the "calculate" action or an expression.
struct ResultRow {
    std::string call;            // as given: "areaAve, Pressure, Plane 1" or the expression text
    std::string function;        // "areaAve"; for an expression the text itself
    std::string expression;      // the function's expression argument ("Pressure"), when it takes one
    std::string location;        // empty for an expression
    std::string extra;           // the arguments after the location (axis, fluid), joined by ", "
    std::optional<double> value; // empty when undefined
    std::string units;
    // Filled in a run over several processes (Host::setCollective): the combined result in
    // base SI units, before the rounding to float of `value`.
    std::optional<double> exact;
    // Filled by the demo: the exact value and |value - exact| / |exact|.
    std::optional<double> analytic;
};

class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    CaseStorage& storage() { return *m_storage; }

    // Reads and loads a case file (readCase, then loadCase). With `progressBar`, a bar on
    // the standard error stream follows the reading.
    LoadedCase loadCase(const std::filesystem::path& file, const LoadOptions& options, bool progressBar = false);
    LoadedCase loadCase(const CaseData& data, const LoadOptions& options);

    // Applies command text (docs/command-language.md). Failures pass on as data::invalid
    // naming `source` and the failure's own message. Boundary types are re-read afterwards.
    void runSession(const std::string& text, const std::string& source);
    void runSessionFile(const std::filesystem::path& file);

    // Evaluates one expression to a single value (base SI units) and records it.
    const ResultRow& evaluate(const std::string& expression);

    const std::vector<ResultRow>& results() const { return m_results; }
    std::vector<ResultRow>& results() { return m_results; }
    void recordResult(ResultRow row) { m_results.push_back(std::move(row)); }

    // Writes the geometry of every location and boundary (with the solver variables on
    // it) as VTK files into `folder` (legacy .vtk; with `xml`, VTK XML .vtp, which a .pvtp
    // can list as pieces); returns the files.
    std::vector<std::string> writeVtk(const std::filesystem::path& folder, bool xml = false);

    // Number of error reports (not warnings or notices) since the Host was made.
    std::size_t errorCount() const;

    // With a stream (not owned; null stops it), one line per phase with its wall time: the
    // reading and decoding of a case file, the phases of loadCase, each statement of a session
    // and each expression ("timing: <what>  <seconds> s").
    void setTimings(std::ostream* out) { m_timings = out; }

    // A run over several processes, each holding pieces of the case (borrowed; null for one
    // process holding all of it): "> calculate" combines the partial results of all processes
    // and every process records the same total, and loads drop the faces between pieces from
    // the boundaries. A load surface is mapped onto its associated boundary made whole on
    // every process (WholeBoundary.h), and only the first process writes the import report
    // and the exported loads. Set it on every process before loading.
    void setCollective(Collective* collective);
    Collective* collective() const { return m_collective; }
    // In a run over several processes, the boundary `name` made whole (gatherBoundary), once
    // per load: collective the first time. Owned by the Host.
    GeometricOKLObject& wholeBoundary(const std::string& name);

    // The folder that "> picture" and "> plot" write into; without one they write nothing
    // (a notice says so).
    void setPictureFolder(std::optional<std::filesystem::path> folder);
    // The pictures and plots written, in order.
    const std::vector<render::PictureRecord>& pictures() const;

private:
    void registerCase(const std::string& file, const LoadedCase& loaded);
    void reportTime(const std::string& what, double seconds, const std::string& note = {}) const;
    LoadOptions timed(const LoadOptions& options) const;
    LoadedCase loadShared(LoadOptions options, const std::function<LoadedCase(const LoadOptions&)>& load);

    std::unique_ptr<CaseStorage> m_storage;
    std::unique_ptr<CaseDefStore> m_defs;
    std::unique_ptr<ExpressionServer> m_server;
    std::vector<ResultRow> m_results;
    std::size_t m_reportsAtStart = 0;
    std::ostream* m_timings = nullptr;
    Collective* m_collective = nullptr;
    std::shared_ptr<render::PictureCommands> m_pictures; // shared with the action dispatcher
    std::shared_ptr<ActionExecutor> m_calculate;         // "calculate", shared likewise
    // In a run over several processes: the associated boundaries of load surfaces made whole,
    // once per boundary and load (a surface's interpolant keeps pointing into its boundary).
    // Owned here; those of an earlier load stay until the Host goes, as its surfaces may.
    std::vector<std::unique_ptr<GeometricOKLObject>> m_wholeBoundaries;
    std::map<std::string, GeometricOKLObject*> m_wholeBoundaryByName; // of the current load
    // In a run over several processes: the expression language's locations, with the
    // boundaries of the other processes' pieces (Host.cpp). Null for one process.
    std::unique_ptr<ExpressionLocatorsInterface> m_locations;
};

} // namespace zel::host
