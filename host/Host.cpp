#include "host/Host.h"

#include "calculator/CalculateExecutor.h"
#include "calculator/FunctionCalculator.h"
#include "domain/DomainGeometryBase.h"
#include "expressions/ExpressionServer.h"
#include "expressions/library/VariableLibrary.h"
#include "feloads/KVO2NorvaUtilities.h"
#include "feloads/NorvaGeometryReader.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/geometry/FileReaderBase.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/GeometrySearch.h"
#include "framework/okl/ActionExecutor.h"
#include "framework/okl/CalcBase.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/OKLProcessor.h"
#include "framework/okl/ObjectDB.h"
#include "framework/viewer/ViewerInterface.h"
#include "host/BoundaryGeometry.h"
#include "host/Collective.h"
#include "host/LoadExport.h"
#include "host/NameTable.h"
#include "host/WholeBoundary.h"
#include "host/readers/CaseReader.h"
#include "host/render/PictureCommands.h"
#include "locators/LocatorRegistration.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <optional>
#include <set>
#include <sstream>
#include <unistd.h>
#include <unordered_map>

namespace zel::host {
namespace {

constexpr const char* kClass = "Host";

// The location object of a call, or null (when it does not exist here or the call is bad).
GeometricOKLObject* locationOf(FunctionCalculator& calc, const std::string& function,
                               const std::vector<std::string>& args) {
    const FunctionInfo* info = calc.getFunctionInfo(function);
    if (info == nullptr) return nullptr;
    const std::size_t at = info->expressionArg != ArgumentUse::NotTaken ? 1 : 0;
    if (at >= args.size()) return nullptr;
    OKLObject* o = args[at].find_first_of("/:") != std::string::npos
                       ? ObjectDB::instance()->getObjectByPath(args[at])
                       : ObjectDB::instance()->getTopObjectByName(args[at]);
    return dynamic_cast<GeometricOKLObject*>(o);
}

// The boundary variables whose vertex values are shares of face quantities (the face's flow
// split among its vertices), and their components.
bool isShareOfFlow(const std::string& component) {
    const std::string name = vectorOfComponent(component);
    for (const char* share :
         {"Force", "Pressure Force", "Viscous Force", "Mass Flow", "momentum flow", "Heat Flow", "Area"})
        if (name == share) return true;
    return false;
}

// Whether the vertex shares `name` of every part of `location` here are the whole boundary's
// at the vertices its pieces share (BoundaryGeometry::isWholeAtSeams).
bool sharesAreWhole(GeometricOKLObject* location, const std::string& name) {
    if (location == nullptr) return false;
    bool any = false;
    for (const std::string& g : location->getGeometryNames()) {
        const auto* boundary = dynamic_cast<const BoundaryGeometry*>(location->getGeometry(g));
        if (boundary == nullptr || !boundary->isWholeAtSeams(name)) return false;
        any = true;
    }
    return any;
}

// A user surface that maps a structural model's loads (Option = NORVA).
bool isLoadSurface(const OKLObject& object) {
    return object.getType() == "USER SURFACE" && object.hasParam("Option") && object.getValue("Option") == "NORVA";
}

// Locations that do not come from the pieces but from their own parameters or files, so that
// every process holds the whole of them: sample planes, polylines and user surfaces read from
// files. (The same session makes them on every process alike.)
bool isWholeEverywhere(const GeometricOKLObject& location) {
    const std::string type = location.getType();
    auto param = [&](const char* name) { return location.hasParam(name) ? location.getValue(name) : std::string(); };
    if (type == "PLANE") return param("Plane Type") == "Sample";
    if (type == "POLYLINE" || type == "USER SURFACE") {
        // A load surface's values too: they come from its boundary made whole everywhere.
        if (param("Option") == "From File" || param("Option") == "NORVA") return true;
        if (param("Option") == "Transformed Surface") {
            const auto* source = dynamic_cast<const GeometricOKLObject*>(
                ObjectDB::instance()->getTopObjectByName(param("Surface Name")));
            return source != nullptr && source != &location && isWholeEverywhere(*source);
        }
    }
    return false;
}

// Where the values of a whole location's vertices come from: a transformed surface's are its
// source's (moved, not interpolated again).
const GeometricOKLObject& valueSource(const GeometricOKLObject& location) {
    if (location.getType() == "USER SURFACE" && location.hasParam("Option") &&
        location.getValue("Option") == "Transformed Surface")
        if (const auto* source = dynamic_cast<const GeometricOKLObject*>(
                ObjectDB::instance()->getTopObjectByName(location.getValue("Surface Name"))))
            if (source != &location) return valueSource(*source);
    return location;
}

// A vertex's coordinates as a key (FNV-1a over their bits, -0 taken as +0).
std::uint64_t vertexKey(const TripletF& v) {
    std::uint64_t h = 14695981039346656037ull;
    for (float c : {v.x, v.y, v.z}) {
        const float z = c == 0.0f ? 0.0f : c;
        unsigned char b[sizeof z];
        std::memcpy(b, &z, sizeof z);
        for (unsigned char x : b) h = (h ^ x) * 1099511628211ull;
    }
    return h;
}

using CalculatorCall = ExpressionEvaluator::CalculatorCall;

// The calculator calls that evaluating `text` makes: its own, and those of the expressions of
// the user variables it needs, each once, in order. `followed`: the user variables followed.
// An expression that does not compile adds nothing: its own evaluation reports it.
void callsOf(const std::string& text, std::vector<CalculatorCall>& calls, std::vector<std::string>& followed) {
    auto add = [&](const CalculatorCall& c) {
        for (const CalculatorCall& d : calls)
            if (d.function == c.function && d.location == c.location && d.expression == c.expression &&
                d.axis == c.axis && d.fluid == c.fluid)
                return;
        calls.push_back(c);
    };
    std::vector<std::string> needed;
    try {
        for (const CalculatorCall& c : ExpressionEvaluator::getCalculatorCalls(text)) add(c);
        needed = ExpressionEvaluator::getNeededVariables(text);
    } catch (const std::exception&) {
        return;
    }
    for (const std::string& name : needed) {
        if (std::find(followed.begin(), followed.end(), name) != followed.end()) continue;
        followed.push_back(name);
        const OKLObject* v = ObjectDB::instance()->getObjectByName(name);
        if (v == nullptr || !v->hasParam("Recipe") || v->getValue("Recipe") != "Expression") continue;
        for (const char* param : {"Expression", "X Expression", "Y Expression", "Z Expression"})
            if (v->hasParam(param) && !v->getValue(param).empty()) callsOf(v->getValue(param), calls, followed);
    }
}

// The arguments of a calculate for a call written in an expression.
std::vector<std::string> argsOf(const std::string& expression, const std::string& location, const std::string& axis,
                                const std::string& fluid) {
    std::vector<std::string> args;
    for (const std::string* a : {&expression, &location, &axis, &fluid})
        if (!a->empty()) args.push_back(*a);
    return args;
}

// Calculator calls of expressions answered in a way of its own, with the calculator's table of
// functions.
class CalculatorCallsAnswered : public ExpressionCallbacksInterface {
public:
    const FunctionInfo* getFunctionInfo(const std::string& name) override {
        return FunctionCalculator::instance(false)->getFunctionInfo(name);
    }
    const std::map<std::string, FunctionInfo>& getFunctionInfo() override {
        return FunctionCalculator::instance(false)->getFunctionInfo();
    }
};

// While it lives, the calculator calls of expressions are answered from `answers` (the
// totals over the processes); others are this process's own.
class CombinedAnswers : public CalculatorCallsAnswered {
public:
    CombinedAnswers(std::vector<std::pair<CalculatorCall, Quantity>> answers, ExpressionCallbacksInterface* previous)
        : m_answers(std::move(answers)), m_previous(previous) {
        ExpressionInterfaces::setCallbacks(this);
    }
    ~CombinedAnswers() override { ExpressionInterfaces::setCallbacks(m_previous); }
    CombinedAnswers(const CombinedAnswers&) = delete;
    CombinedAnswers& operator=(const CombinedAnswers&) = delete;

    Quantity evaluate(const std::string& function, const std::string& location, const std::string& expression,
                      const std::string& axis, const std::string& fluid) override {
        for (const auto& [c, q] : m_answers)
            if (c.function == function && c.location == location && c.expression == expression && c.axis == axis &&
                c.fluid == fluid)
                return q;
        return FunctionCalculator::instance(false)->evaluate(function, location, expression, axis, fluid);
    }

private:
    std::vector<std::pair<CalculatorCall, Quantity>> m_answers;
    ExpressionCallbacksInterface* m_previous; // restored at the end; not owned
};

// In a run over several processes: the names of locations are those this process has and the
// boundaries that only other processes' pieces have faces of (their calculator calls are
// combined over the processes), so that an expression naming one compiles everywhere.
class PiecesLocations : public ExpressionLocatorsInterface {
public:
    PiecesLocations(ExpressionLocatorsInterface* inner, std::set<std::string> elsewhere)
        : m_inner(inner), m_elsewhere(std::move(elsewhere)) {}
    ~PiecesLocations() override { ExpressionInterfaces::setLocators(m_inner); }
    PiecesLocations(const PiecesLocations&) = delete;
    PiecesLocations& operator=(const PiecesLocations&) = delete;
    bool isLocator(const std::string& name) override {
        return (m_inner != nullptr && m_inner->isLocator(name)) || m_elsewhere.count(name) != 0;
    }

private:
    ExpressionLocatorsInterface* m_inner; // the expression server; not owned
    std::set<std::string> m_elsewhere;
};

// The "calculate" action of the library, with each result recorded in the Host.
class RecordingCalculate : public ActionExecutor {
public:
    explicit RecordingCalculate(Host& host) : m_host(host) {}

    void invoke(const std::vector<std::string>& action) override {
        if (action.size() > 1 && action[1] == "help") return m_inner.invoke(action);
        std::optional<double> exact;
        if (m_host.collective() != nullptr)
            exact = combined(*m_host.collective(), action);
        else
            m_inner.invoke(action);
        OKLObject* calculator = ObjectDB::instance()->getTopObjectByName("CALCULATOR");
        if (calculator == nullptr) return;
        ResultRow row;
        std::vector<std::string> args;
        if (action.size() > 1) {
            row.function = action[1];
            args.assign(action.begin() + 2, action.end());
        } else {
            FunctionCalculator::instance(false)->getArgsFromObj(row.function, args, *calculator);
            while (!args.empty() && args.back().empty()) args.pop_back();
        }
        row.call = row.function;
        for (const std::string& a : args) row.call += ", " + a;
        const FunctionInfo* info = FunctionCalculator::instance(false)->getFunctionInfo(row.function);
        // The location is the first argument after the expression, when the function takes one.
        const std::size_t at = info != nullptr && info->expressionArg != ArgumentUse::NotTaken ? 1 : 0;
        if (at == 1 && !args.empty()) row.expression = args[0];
        if (at < args.size()) row.location = args[at];
        for (std::size_t i = at + 1; i < args.size(); ++i) row.extra += (row.extra.empty() ? "" : ", ") + args[i];
        const std::string value = calculator->getValue("Result");
        row.units = calculator->getValue("Result Units");
        try {
            std::size_t used = 0;
            const double v = std::stod(value, &used);
            if (used > 0 && !isUndefined(static_cast<float>(v))) row.value = v;
        } catch (const std::exception&) {
            // "undefined": no value
        }
        row.exact = exact;
        m_host.recordResult(std::move(row));
    }

private:
    // Whether a cell of this process's domains contains the probe's point: then its value is
    // the one process holding the whole case finds, not a nearby piece's extrapolation.
    bool heldHere(FunctionCalculator& calc, const std::string& function, const std::vector<std::string>& args) {
        GeometricOKLObject* location = locationOf(calc, function, args);
        if (location == nullptr) return false;
        std::vector<std::pair<std::string, Geometry*>> domains;
        m_host.storage().getGeometries(domains);
        for (const std::string& name : location->getGeometryNames()) {
            const Geometry* g = location->getGeometry(name);
            if (g == nullptr || g->getVertices().empty()) continue;
            ElementWeights weights;
            for (auto& [domainName, d] : domains)
                if (dynamic_cast<DomainGeometryBase*>(d) != nullptr &&
                    d->findElement(g->getVertices()[0], weights, false, SearchMode::Containing))
                    return true;
        }
        return false;
    }

    // This process's domains with their boxes, grown by a twentieth of their size: the nearest
    // cell search accepts points a little outside its cells, and a point outside every box
    // needs no search at all (most of them: the other processes' parts of the location).
    struct Searched {
        const Geometry* domain;
        TripletF lo, hi;
    };
    std::vector<Searched> searchedDomains() {
        std::vector<std::pair<std::string, Geometry*>> domains;
        m_host.storage().getGeometries(domains);
        std::vector<Searched> out;
        for (auto& [name, d] : domains) {
            if (dynamic_cast<DomainGeometryBase*>(d) == nullptr || d->getVertices().empty()) continue;
            TripletF lo = d->getVertices()[0], hi = lo;
            for (const TripletF& v : d->getVertices()) {
                lo = TripletF(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
                hi = TripletF(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
            }
            const TripletF grow = (hi - lo) * 0.05f;
            out.push_back({d, lo - grow, hi + grow});
        }
        return out;
    }

    // 2 when a cell of this process's domains contains the point, 1 when one is near it.
    static int cellScore(const std::vector<Searched>& domains, const TripletF& p) {
        ElementWeights weights;
        int score = 0;
        for (const Searched& d : domains) {
            if (p.x < d.lo.x || p.y < d.lo.y || p.z < d.lo.z || p.x > d.hi.x || p.y > d.hi.y || p.z > d.hi.z) continue;
            if (d.domain->findElement(p, weights, true, SearchMode::Containing)) return 2;
            if (score == 0 && d.domain->findElement(p, weights, true, SearchMode::Nearest)) score = 1;
        }
        return score;
    }

    // The call on this process's pieces, combined with the other processes' (one exchange),
    // finished from the totals and stored as the plain action stores it. A failure on any
    // process is reported on all, with the lowest failing process's message.
    std::optional<double> combined(Collective& collective, const std::vector<std::string>& action) {
        FunctionCalculator& calc = *FunctionCalculator::instance(false);
        OKLObject* object = ObjectDB::instance()->getObjectByName("CALCULATOR");
        if (object == nullptr) {
            if (action.size() == 1)
                throw data::error("CalculateExecutor", "invoke", "Insufficient Data provided to perform calculation.",
                                  ErrError);
            object =
                ObjectDB::instance()->addObject(ObjectFactory::instance()->createObject("CALCULATOR", "CALCULATOR"));
        }
        std::string function;
        std::vector<std::string> args;
        if (action.size() == 1) {
            calc.getArgsFromObj(function, args, *object);
        } else {
            function = action[1];
            args.assign(action.begin() + 2, action.end());
        }
        std::string units;
        const std::optional<double> value = combinedCall(collective, function, args, units);
        CalculateExecutor::storeResult(*object, function,
                                       value ? Quantity(static_cast<float>(*value), units) : Quantity::undefined());
        return value;
    }

public:
    // function(args) over all processes' pieces (collective: every process makes the same
    // calls in the same order); its units in `units`. A failure is reported (on every process,
    // with the lowest failing one's message) and gives no value.
    std::optional<double> combinedCall(Collective& collective, const std::string& function,
                                       const std::vector<std::string>& args, std::string& units) {
        FunctionCalculator& calc = *FunctionCalculator::instance(false);
        // The calculator calls inside the expression (areaAve(Pressure)@inlet in a user
        // variable, say) are combined first, each as a calculate of its own, on every process
        // alike; this process's part is then evaluated with their totals.
        std::vector<std::pair<CalculatorCall, Quantity>> answers;
        if (const FunctionInfo* info = calc.getFunctionInfo(function);
            info != nullptr && info->expressionArg != ArgumentUse::NotTaken && !args.empty()) {
            std::vector<CalculatorCall> calls;
            std::vector<std::string> followed;
            callsOf(args[0], calls, followed);
            for (const CalculatorCall& c : calls) {
                std::string callUnits;
                const std::optional<double> v =
                    combinedCall(collective, c.function, argsOf(c.expression, c.location, c.axis, c.fluid), callUnits);
                answers.emplace_back(c, v ? Quantity(static_cast<float>(*v), callUnits) : Quantity::undefined());
            }
        }
        std::optional<CombinedAnswers> answered;
        if (!answers.empty()) answered.emplace(std::move(answers), ExpressionInterfaces::callbacks());
        // Vertices that several pieces share count once, for the lowest process holding them
        // (matched by their coordinates); min and max need no such care.
        std::vector<char> owned;
        std::unordered_map<const Geometry*, std::size_t> firstVertex;
        GeometricOKLObject* const location = locationOf(calc, function, args);
        GeometricOKLObject* const whole = location != nullptr && isWholeEverywhere(*location) ? location : nullptr;
        if (whole != nullptr) {
            // Every process holds all of it: each vertex counts on the process whose cells
            // hold it, whose values are those of one process holding the whole case.
            std::vector<int> scores;
            const std::vector<Searched> domains = searchedDomains();
            const GeometricOKLObject& source = valueSource(*whole);
            const std::vector<std::string> names = whole->getGeometryNames(), sourceNames = source.getGeometryNames();
            for (std::size_t k = 0; k < names.size(); ++k) {
                const Geometry* g = whole->getGeometry(names[k]);
                if (g == nullptr || firstVertex.count(g) != 0) continue;
                const Geometry* from = k < sourceNames.size() ? source.getGeometry(sourceNames[k]) : nullptr;
                if (from == nullptr || from->getVertices().size() != g->getVertices().size()) from = g;
                firstVertex[g] = scores.size();
                for (const TripletF& v : from->getVertices()) scores.push_back(cellScore(domains, v));
            }
            owned = collective.bestScores(scores);
        } else if (function == "count" || function == "sum" || function == "ave" || function == "force" ||
                   function == "torque") {
            std::vector<std::uint64_t> keys;
            if (location != nullptr)
                for (const std::string& name : location->getGeometryNames()) {
                    const Geometry* g = location->getGeometry(name);
                    if (g == nullptr || firstVertex.count(g) != 0) continue;
                    firstVertex[g] = keys.size();
                    for (const TripletF& v : g->getVertices()) keys.push_back(vertexKey(v));
                }
            owned = collective.ownedKeys(keys);
        }
        std::function<bool(const Geometry&, std::size_t)> keep;
        if (!firstVertex.empty())
            keep = [&](const Geometry& g, std::size_t i) {
                const auto it = firstVertex.find(&g);
                return it == firstVertex.end() || owned[it->second + i] != 0;
            };
        PartialResult mine;
        std::string failure;
        try {
            // A location missing here may be in other processes' pieces (a patch none of whose
            // faces are here): empty here, an error only when it is missing everywhere.
            mine = calc.evaluatePartial(function, args, true, keep);
            // A vertex's share of a face flow (Force, Mass Flow, Area, ...) is the whole
            // boundary's where its faces in other pieces have added theirs (completeSeams);
            // elsewhere (a cut plane, flows from point values) only this piece's faces': such
            // shares add up over the pieces, only the count is of distinct vertices.
            const bool forces = function == "force" || function == "torque";
            if (keep && whole == nullptr &&
                (forces || (function != "count" && !args.empty() && isShareOfFlow(args[0]))) &&
                !sharesAreWhole(location, forces ? "Force" : args[0])) {
                const double distinct = mine.values[3];
                mine = calc.evaluatePartial(function, args, true);
                if (!forces) mine.values[3] = distinct;
            }
        } catch (const std::exception& e) {
            failure = e.what();
            if (failure.empty()) failure = "the calculation failed";
        }
        if (function == "probe" && mine.values[6] != 0.0 && heldHere(calc, function, args)) mine.values[6] = 2.0;
        const PartialResult total = collective.combine(mine, failure);
        std::optional<double> value;
        if (failure.empty() && (!total.present || !total.unitsKnown)) {
            try {
                calc.evaluatePartial(function, args, false);
            } catch (const std::exception& e) {
                failure = e.what();
            }
        }
        if (failure.empty()) {
            try {
                value = calc.finishPartial(function, args, total);
            } catch (const std::exception& e) {
                failure = e.what();
            }
        }
        if (!failure.empty())
            ErrorProgressReporter::instance()->reportError(ErrorMsg(kClass, "calculate", failure, ErrError));
        units = total.units;
        return value;
    }

private:
    Host& m_host;
    CalculateExecutor m_inner;
};

// The expression language's calculator while a parallel run evaluates a -e expression: each
// calculator call of the expression is combined over the processes as "> calculate" is (every
// process evaluates the same expression, so they make the same calls in the same order).
// Calls made while one is being combined (an expression variable that itself calls the
// calculator, evaluated on this process's vertices only) stay on this process: not every
// process makes them.
class CollectiveCallbacks : public CalculatorCallsAnswered {
public:
    CollectiveCallbacks(Collective& collective, RecordingCalculate& calculate)
        : m_collective(collective), m_calculate(calculate) {}
    ~CollectiveCallbacks() override { ExpressionInterfaces::setCallbacks(FunctionCalculator::instance(false)); }

    Quantity evaluate(const std::string& function, const std::string& location, const std::string& expression,
                      const std::string& axis, const std::string& fluid) override {
        if (m_busy) return FunctionCalculator::instance(false)->evaluate(function, location, expression, axis, fluid);
        const std::vector<std::string> args = argsOf(expression, location, axis, fluid);
        m_busy = true;
        std::string units;
        std::optional<double> value;
        try {
            value = m_calculate.combinedCall(m_collective, function, args, units);
        } catch (...) {
            m_busy = false;
            throw;
        }
        m_busy = false;
        return value ? Quantity(static_cast<float>(*value), units) : Quantity::undefined();
    }

private:
    Collective& m_collective;
    RecordingCalculate& m_calculate;
    bool m_busy = false;
};

// The user surface calc function of a run over several processes. A load surface (Option =
// NORVA) maps the structural model's nodes onto the boundary faces nearest to them, and its
// loads come from vertex sums over the faces around their vertices: it is mapped onto its
// associated boundary made whole on every process (Host::wholeBoundary), so that every
// process holds the loads of every node, as one process holding the whole case has them. The
// calculator calls of its import report are combined over the processes, as any other.
class LoadSurfaceOverPieces : public CalcBase {
public:
    LoadSurfaceOverPieces(Host& host, RecordingCalculate& calculate, std::unique_ptr<CalcBase> inner)
        : m_host(host), m_calculate(calculate), m_inner(std::move(inner)) {}
    LoadSurfaceOverPieces(const LoadSurfaceOverPieces& other)
        : CalcBase(other), m_host(other.m_host), m_calculate(other.m_calculate), m_inner(other.m_inner->clone()) {}
    LoadSurfaceOverPieces& operator=(const LoadSurfaceOverPieces&) = delete;

    void operator()(OKLObject* object, const std::string& action) override {
        if (object == nullptr || action != "top" || !isLoadSurface(*object) || m_host.collective() == nullptr)
            return (*m_inner)(object, action);
        if (object->getBoolValue("Associated Boundary Specified"))
            m_host.wholeBoundary(object->getValue("Associated Boundary"));
        CollectiveCallbacks combined(*m_host.collective(), m_calculate);
        (*m_inner)(object, action);
    }
    CalcBase* clone() const override { return new LoadSurfaceOverPieces(*this); }

private:
    Host& m_host;
    RecordingCalculate& m_calculate;
    std::unique_ptr<CalcBase> m_inner;
};

// "> export" in a run over several processes: every process computes the loads (the same on
// each) and the report's figures with combined calculator calls; the first writes the files.
class ExportOverPieces : public LoadExportAction {
public:
    ExportOverPieces(Collective& collective, RecordingCalculate& calculate)
        : LoadExportAction(collective.rank() == 0), m_collective(collective), m_calculate(calculate) {}
    void invoke(const std::vector<std::string>& action) override {
        CollectiveCallbacks combined(m_collective, m_calculate);
        LoadExportAction::invoke(action);
    }

private:
    Collective& m_collective;
    RecordingCalculate& m_calculate;
};

bool isErrorReport(int type) { return type == ErrError || type == ErrInternal || type == ErrStdException; }

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

Host::Host() {
    ObjectDB::instance()->clear();
    m_reportsAtStart = ErrorProgressReporter::instance()->count();
    m_storage = std::make_unique<CaseStorage>();
    m_storage->registerInstance(m_storage.get());
    m_defs = std::make_unique<CaseDefStore>();
    VariableDefStoreBase::registerInstance(m_defs.get());
    VariableLibrary::load();
    m_server = std::make_unique<ExpressionServer>();
    FunctionCalculator::instance(false);
    registerLocatorCalcFuncs();
    m_calculate = std::make_shared<RecordingCalculate>(*this);
    ActionDispatcher::instance()->registerExecutor("calculate", m_calculate);
    ActionDispatcher::instance()->registerExecutor("export", std::make_shared<LoadExportAction>());
    ObjectDB::instance()->addObject(ObjectFactory::instance()->createObject("CALCULATOR", ""));
    render::PictureCommands::registerObjectTypes();
    m_pictures = std::make_shared<render::PictureCommands>();
    ActionDispatcher::instance()->registerExecutor("picture", m_pictures);
    ActionDispatcher::instance()->registerExecutor("plot", m_pictures);
}

Host::~Host() {
    ActionDispatcher::instance()->unregisterExecutor("calculate");
    ActionDispatcher::instance()->unregisterExecutor("export");
    ActionDispatcher::instance()->unregisterExecutor("picture");
    ActionDispatcher::instance()->unregisterExecutor("plot");
    ViewerInterface::instance()->clear();
    ObjectDB::instance()->clear();
    CalcRegistry::instance()->clear();
    if (m_collective != nullptr) {
        NorvaGeometryReader::setBoundaryLookup({});
        KVO2NorvaUtilities::setReportWriting(true);
    }
    m_wholeBoundaryByName.clear();
    m_wholeBoundaries.clear();
    m_locations.reset();
    m_server.reset();
    m_defs.reset();
    m_storage.reset();
}

LoadedCase Host::loadCase(const std::filesystem::path& file, const LoadOptions& options, bool progressBar) {
    ReadOptions read;
    const bool bar = progressBar && isatty(STDERR_FILENO) != 0;
    int shown = -1;
    if (bar)
        read.progress = [&](double fraction) {
            const int percent = static_cast<int>(fraction * 100.0 + 0.5);
            if (percent == shown) return;
            shown = percent;
            const int filled = percent * 40 / 100;
            std::fprintf(stderr, "\rreading %s [%s%s] %3d%%", file.filename().string().c_str(),
                         std::string(std::size_t(filled), '#').c_str(),
                         std::string(std::size_t(40 - filled), ' ').c_str(), percent);
            if (percent >= 100) std::fprintf(stderr, "\n");
            std::fflush(stderr);
        };
    double readSeconds = 0;
    std::size_t readBytes = 0;
    if (m_timings != nullptr)
        read.readTime = [&](double seconds, std::size_t bytes) {
            readSeconds += seconds;
            readBytes += bytes;
        };
    const auto start = std::chrono::steady_clock::now();
    CaseData data = readCase(file, read);
    if (m_timings != nullptr) {
        reportTime("read", readSeconds, _("%.1f MB", double(readBytes) / 1e6));
        reportTime("decode", secondsSince(start) - readSeconds);
    }
    // The case data is ours: the load may drop its bulk arrays as it copies them.
    LoadedCase loaded = loadShared(
        timed(options), [&](const LoadOptions& o) { return host::loadCase(*m_storage, std::move(data), o); });
    registerCase(data.sourceFile, loaded); // the load keeps the case's names
    m_server->resetVariableUpdateFlags();  // new variable objects, new phases
    if (m_timings != nullptr) reportTime("load total", secondsSince(start), file.filename().string());
    return loaded;
}

LoadedCase Host::loadCase(const CaseData& data, const LoadOptions& options) {
    LoadedCase loaded =
        loadShared(timed(options), [&](const LoadOptions& o) { return host::loadCase(*m_storage, data, o); });
    registerCase(data.sourceFile, loaded);
    m_server->resetVariableUpdateFlags(); // new variable objects, new phases
    return loaded;
}

LoadedCase Host::loadShared(LoadOptions options, const std::function<LoadedCase(const LoadOptions&)>& load) {
    if (!options.sharedFaces) return load(options);
    // The exchange of face keys is collective: a load that fails before it still takes part,
    // with no faces, so that the other processes don't wait for it forever.
    bool exchanged = false;
    auto inner = std::move(options.sharedFaces);
    options.sharedFaces = [&](std::span<const std::uint64_t> keys) {
        exchanged = true;
        return inner(keys);
    };
    try {
        return load(options);
    } catch (...) {
        if (!exchanged) inner({});
        throw;
    }
}

void Host::registerCase(const std::string& file, const LoadedCase& loaded) {
    m_wholeBoundaryByName.clear(); // a new load: its boundaries are gathered anew
    if (m_collective != nullptr) {
        const auto start = std::chrono::steady_clock::now();
        completeSeams(*m_collective, loaded.boundaries);
        std::string mine;
        for (const std::string& b : loaded.boundaries) mine.append(b).push_back('\n');
        std::set<std::string> names;
        for (const std::vector<char>& theirs : m_collective->allGather(mine)) {
            std::istringstream in(std::string(theirs.begin(), theirs.end()));
            for (std::string b; std::getline(in, b);) names.insert(b);
        }
        m_locations.reset(); // gives the server back its place first
        m_locations = std::make_unique<PiecesLocations>(m_server.get(), std::move(names));
        reportTime("boundary seams", secondsSince(start));
    }
    // The results file of the boundaries, as a data reader records it: "/DATA READER/CASE:<name>"
    // with its "Current Case Name", the boundaries' "Case Name" naming it.
    std::string name = std::filesystem::path(file).stem().string();
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':' || c == '=' || c == '#') c = '_';
    if (name.empty()) name = "Case";
    ObjectDB& db = *ObjectDB::instance();
    OKLObject* reader = db.getObjectByPath("/DATA READER");
    if (reader == nullptr) reader = db.addObject(ObjectFactory::instance()->createObject("DATA READER", ""));
    OKLObject* entry = reader->findChild(name);
    if (entry == nullptr) entry = db.addObject(ObjectFactory::instance()->createObject("CASE", name), reader);
    entry->setParameter("Current Case Name", file);
    for (const std::string& b : loaded.boundaries)
        if (OKLObject* boundary = db.getObjectByName(b)) boundary->setParameter("Case Name", name);
}

LoadOptions Host::timed(const LoadOptions& options) const {
    LoadOptions out = options;
    if (m_collective != nullptr && !out.sharedFaces)
        out.sharedFaces = [c = m_collective](std::span<const std::uint64_t> keys) { return c->sharedKeys(keys); };
    if (m_timings != nullptr && !out.timing)
        out.timing = [this](const char* phase, double seconds) { reportTime(phase, seconds); };
    return out;
}

void Host::reportTime(const std::string& what, double seconds, const std::string& note) const {
    if (m_timings == nullptr) return;
    std::ostringstream line;
    line << "timing: " << std::left << std::setw(40) << what << ' ' << std::right << std::fixed << std::setprecision(3)
         << std::setw(9) << seconds << " s";
    if (!note.empty()) line << "  (" << note << ")";
    *m_timings << line.str() << '\n' << std::flush;
}

void Host::runSession(const std::string& text, const std::string& source) {
    OKLCoreAPI::StatementTimer timer;
    if (m_timings != nullptr)
        timer = [&](const OKLStatement& s, double seconds) {
            const std::string what = s.kind == OKLStatement::Action ? "> " + s.name + " " + s.value
                                     : s.type == s.name             ? s.type + ":"
                                                                    : s.type + ": " + s.name;
            reportTime(_("%s:%d %s", source, s.line, what), seconds);
        };
    try {
        OKLCoreAPI::instance()->processOKL(text, OKLCoreAPI::ModeUpdate, timer);
    } catch (const Error& e) {
        m_server->resetVariableUpdateFlags();
        std::vector<std::pair<std::string, Geometry*>> domains;
        m_storage->getGeometries(domains);
        for (auto& [name, g] : domains)
            if (auto* d = dynamic_cast<DomainGeometryBase*>(g)) d->addBoundaryTypes();
        throw data::invalid(kClass, "runSession", _("%s: %s", source, e.what()), ErrError, e.getErrorMsg().where());
    }
    // A session may have declared user variables or expressions.
    m_server->resetVariableUpdateFlags();
    std::vector<std::pair<std::string, Geometry*>> domains;
    m_storage->getGeometries(domains);
    for (auto& [name, g] : domains)
        if (auto* d = dynamic_cast<DomainGeometryBase*>(g)) d->addBoundaryTypes();
}

void Host::runSessionFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw data::notFound(kClass, "runSessionFile", _("Cannot open the session file '%s'.", file.string()),
                             ErrError);
    std::ostringstream text;
    text << in.rdbuf();
    // File names in a session (polyline and surface files) are relative to the session.
    const FileReaderBase::RelativeBaseScope base(file.parent_path().string());
    runSession(text.str(), file.string());
}

const ResultRow& Host::evaluate(const std::string& expression) {
    ResultRow row;
    row.call = expression;
    row.function = expression;
    const auto start = std::chrono::steady_clock::now();
    try {
        std::optional<CollectiveCallbacks> combined;
        if (m_collective != nullptr) combined.emplace(*m_collective, static_cast<RecordingCalculate&>(*m_calculate));
        const Quantity q = ExpressionEvaluator::evalSingleValue(expression, std::string());
        if (!q.isUndefined()) row.value = q.getValue();
        row.units = q.getUnits();
    } catch (const Error& e) {
        ErrorProgressReporter::instance()->reportError(e);
    }
    reportTime("-e " + expression, secondsSince(start));
    m_results.push_back(std::move(row));
    return m_results.back();
}

std::vector<std::string> Host::writeVtk(const std::filesystem::path& folder, bool xml) {
    ViewerInterface::instance()->clear();
    std::vector<std::string> fields;
    for (const std::string& name : ObjectDB::instance()->getNamesByCategory("variable"))
        if (name != "Mass Flow" && name != "Force" && name != "momentum flow") fields.push_back(name);
    for (OKLObject* object : ObjectDB::instance()->getTopObjects()) {
        auto* geometric = dynamic_cast<GeometricOKLObject*>(object);
        if (geometric == nullptr || object->getType() == "DOMAIN") continue;
        for (const std::string& g : geometric->getGeometryNames()) {
            Geometry* geometry = geometric->getGeometry(g);
            if (geometry == nullptr) continue;
            for (const std::string& field : fields) {
                // Components are written as part of their vectors.
                OKLObject* vo = ObjectDB::instance()->getObjectByName(field);
                if (vo != nullptr && vo->hasParam("Recipe") && vo->getValue("Recipe") == "Vector Component") continue;
                try {
                    geometry->getVariable(field, false);
                } catch (const Error&) {
                    // a variable that this geometry cannot provide is left out
                }
            }
        }
        geometric->renderPlane();
    }
    std::filesystem::create_directories(folder);
    return xml ? ViewerInterface::instance()->writeVTP(folder.string())
               : ViewerInterface::instance()->writeVTK(folder.string());
}

void Host::setCollective(Collective* collective) {
    m_collective = collective;
    auto& calculate = static_cast<RecordingCalculate&>(*m_calculate);
    CalcRegistry* registry = CalcRegistry::instance();
    CalcBase* surfaces = registry->find("USER SURFACE");
    if (collective != nullptr && surfaces != nullptr && dynamic_cast<LoadSurfaceOverPieces*>(surfaces) == nullptr)
        registry->registerCalcFunc("USER SURFACE", std::make_unique<LoadSurfaceOverPieces>(
                                                       *this, calculate, std::unique_ptr<CalcBase>(surfaces->clone())));
    if (collective != nullptr) {
        ActionDispatcher::instance()->registerExecutor("export",
                                                       std::make_shared<ExportOverPieces>(*collective, calculate));
        NorvaGeometryReader::setBoundaryLookup([this](const std::string& name) -> GeometricOKLObject* {
            const auto it = m_wholeBoundaryByName.find(name);
            return it != m_wholeBoundaryByName.end() ? it->second : nullptr;
        });
        KVO2NorvaUtilities::setReportWriting(collective->rank() == 0);
    } else {
        ActionDispatcher::instance()->registerExecutor("export", std::make_shared<LoadExportAction>());
        NorvaGeometryReader::setBoundaryLookup({});
        KVO2NorvaUtilities::setReportWriting(true);
    }
}

GeometricOKLObject& Host::wholeBoundary(const std::string& name) {
    if (const auto it = m_wholeBoundaryByName.find(name); it != m_wholeBoundaryByName.end()) return *it->second;
    if (m_collective == nullptr)
        throw internal::error(kClass, "wholeBoundary", "A boundary is made whole only over several processes.",
                              ErrError);
    m_wholeBoundaries.push_back(gatherBoundary(*m_collective, name));
    GeometricOKLObject* whole = m_wholeBoundaries.back().get();
    m_wholeBoundaryByName[name] = whole;
    return *whole;
}

void Host::setPictureFolder(std::optional<std::filesystem::path> folder) { m_pictures->setFolder(std::move(folder)); }

const std::vector<render::PictureRecord>& Host::pictures() const { return m_pictures->written(); }

std::size_t Host::errorCount() const {
    const auto& reports = ErrorProgressReporter::instance()->getReports();
    std::size_t n = 0;
    for (std::size_t i = m_reportsAtStart; i < reports.size(); ++i)
        if (isErrorReport(reports[i].getErrorType())) ++n;
    return n;
}

} // namespace zel::host
