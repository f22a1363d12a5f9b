#pragma once
// The function calculator: the 22 quantitative functions of the post-processor (area, mass
// flow, area-weighted average, force, torque, ...) evaluated on a location, a geometric
// object of the object database, with units.
//
// Three callers reach it: the expression language through ExpressionCallbacksInterface
// ("areaAve(Pressure)@Outlet"), the "calculate" action (CalculateExecutor, which reads the
// call from the CALCULATOR object) and the exported C functions (zel_calculator.h).
//
// A call is a function name and a list of strings in this order: the expression (only when
// the function takes one), the location, the axis (only when taken), the fluid (only when
// taken); optional arguments may be left off the end. evaluate never raises: a failure is
// reported through ErrorProgressReporter and the result is the undefined quantity (value
// UNDEFINED_VALUE, empty units).
//
// One calculator per process, created on first use (instance) and alive until the process
// ends. Constructing it makes it the expression language's callbacks. Not thread-safe:
// every call comes on the host's command thread.
#include "framework/ZelExport.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/expressions/FunctionInfo.h"
#include "framework/units/Quantity.h"

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zel {

class GeometricOKLObject;
class Geometry;
class OKLObject;

// The parts of a function's result that add up over disjoint pieces of a location, so that a
// host holding a case in pieces (one per process) can combine them and finish the result from
// the totals, exactly as if one process held the whole location:
//   values[0..3]  sums: integral and weight (the integrals and their averages), sum and count
//                 (the vertex functions), the x, y, z sums of force or torque
//   values[4], values[5]  minimum and maximum over the vertices (+inf, -inf without any)
//   values[6], values[7]  probe: above 0 when this piece gives the point a value (a host
//                 may rank how well, e.g. 2 for a cell containing it, 1 for a nearby one),
//                 and the value
// Combining is elementwise: add the sums, take min and max, and of the probes the first
// one of the highest rank.
struct PartialResult {
    std::array<double, 8> values{0, 0, 0, 0, 0, 0, 0, 0};
    std::string units;   // of the finished result (base SI)
    bool present = true; // the location exists here (see evaluatePartial)
    // False where the units could not be told without the location's geometry (variables of
    // a location that has none here): take them from a piece that has.
    bool unitsKnown = true;
};

// Combines `other` into `into` as described for PartialResult (`into` is the earlier piece).
ZEL_API void combinePartial(PartialResult& into, const PartialResult& other);

class ZEL_API FunctionCalculator : public ExpressionCallbacksInterface {
public:
    // massFlowEverywhere: the four mass-flow functions are offered on every location kind
    // (onPoint, onLine, onVolume), not only on surfaces. Evaluation checks the kind itself
    // and still requires a surface.
    explicit FunctionCalculator(bool massFlowEverywhere);
    ~FunctionCalculator() override;
    FunctionCalculator(const FunctionCalculator&) = delete;
    FunctionCalculator& operator=(const FunctionCalculator&) = delete;

    // The calculator, created with the given flag on the first call; later calls ignore it.
    static FunctionCalculator* instance(bool massFlowEverywhere);

    // The record of one function (exact, case-sensitive name), or null.
    const FunctionInfo* getFunctionInfo(const std::string& name) override;
    // The callback of the expression language: builds the argument list from the non-empty
    // strings among expression, location, axis and fluid, in that order, and evaluates it.
    Quantity evaluate(const std::string& function, const std::string& location, const std::string& expression,
                      const std::string& axis, const std::string& fluid) override;
    // The whole table, ordered by name (byte order: capitals first).
    const std::map<std::string, FunctionInfo>& getFunctionInfo() override;

    // Evaluates a call; args as described at the top. Never raises (see there).
    Quantity evaluate(const std::string& function, const std::vector<std::string>& args);

    // The partial result of a call on the part of the location this process holds; unlike
    // evaluate it raises every failure (Error or std::exception). An empty location gives
    // zero sums and no range. With `missingIsEmpty`, a location object that does not exist
    // here (a patch with no face in this process's pieces) is taken as empty, `present` false.
    // `keep`, when given, picks the vertices that the vertex functions (count, sum, ave,
    // minVal, maxVal) and the integrals take: a decomposed case's shared vertices once, or of
    // a location every process holds whole, the vertices that lie in this process's cells.
    PartialResult evaluatePartial(const std::string& function, const std::vector<std::string>& args,
                                  bool missingIsEmpty = false,
                                  const std::function<bool(const Geometry&, std::size_t)>& keep = {});
    // The result of a call from the combined partial results of all pieces, in the units of
    // `total.units`; empty when undefined (no weight, no vertex). Raises for a probe that no
    // piece held. The value is not rounded to float, unlike evaluate's.
    std::optional<double> finishPartial(const std::string& function, const std::vector<std::string>& args,
                                        const PartialResult& total);

    // Writes the function table to standard output: an empty line, the header and rule, one
    // line per function formatted "%-20s %s" (name, then "<Required> " / "[Optional] "
    // argument words, the location always as "[Location] "), and one more empty line.
    void printHelp() const;
    // The same text (what printHelp writes).
    std::string helpText() const;

    // Reads a call from the calculator object's parameters "Function", "Expression",
    // "Location", "Axis" and "Fluid" (only those the function takes; empty values are kept).
    // data::notFound for a function that is not in the table.
    void getArgsFromObj(std::string& function, std::vector<std::string>& args, OKLObject& object);
    // Writes a call into the calculator object's parameters; parameters the call does not
    // give are set to the empty string. internal::error for a function that is not in the
    // table ("Function" is set all the same); data::error when args lacks the location.
    void updateObjFromArgs(const std::string& function, const std::vector<std::string>& args, OKLObject& object);

    // Required and maximum argument count of a function record.
    static int requiredArgCount(const FunctionInfo& info);
    static int maximumArgCount(const FunctionInfo& info);

    // The base units of an expression: of its variable object when one exists (empty when
    // the definition store does not know it), else of the expression's dimensions.
    static std::string unitsOfExpression(const std::string& name);

private:
    // One call with its arguments by role.
    struct Call {
        std::string function;
        std::string expression;
        std::string location;
        std::string axis;
        std::string fluid;
    };
    using Evaluation = Quantity (FunctionCalculator::*)(const Call&, GeometricOKLObject&);

    Quantity evaluateCall(const std::string& function, const std::vector<std::string>& args);
    // Checks a call's arguments and finds its location (raises data::error when it can't).
    // With `allowMissing`, a location object that does not exist gives a null `location`.
    Call parseCall(const std::string& function, const std::vector<std::string>& args, GeometricOKLObject*& location,
                   bool allowMissing = false);

    Quantity evalMassFlow(const Call&, GeometricOKLObject&);
    Quantity evalArea(const Call&, GeometricOKLObject&);
    Quantity evalVolume(const Call&, GeometricOKLObject&);
    Quantity evalCount(const Call&, GeometricOKLObject&);
    Quantity evalMassFlowAve(const Call&, GeometricOKLObject&);
    Quantity evalMassFlowAveAbs(const Call&, GeometricOKLObject&);
    Quantity evalMassFlowInt(const Call&, GeometricOKLObject&);
    Quantity evalAreaAve(const Call&, GeometricOKLObject&);
    Quantity evalVolumeAve(const Call&, GeometricOKLObject&);
    Quantity evalAreaInt(const Call&, GeometricOKLObject&);
    Quantity evalVolumeInt(const Call&, GeometricOKLObject&);
    Quantity evalAve(const Call&, GeometricOKLObject&);
    Quantity evalSum(const Call&, GeometricOKLObject&);
    Quantity evalMinVal(const Call&, GeometricOKLObject&);
    Quantity evalMaxVal(const Call&, GeometricOKLObject&);
    Quantity evalProbe(const Call&, GeometricOKLObject&);
    Quantity evalLength(const Call&, GeometricOKLObject&);
    Quantity evalLengthInt(const Call&, GeometricOKLObject&);
    Quantity evalLengthAve(const Call&, GeometricOKLObject&);
    Quantity evalForce(const Call&, GeometricOKLObject&);
    Quantity evalForceNorm(const Call&, GeometricOKLObject&);
    Quantity evalTorque(const Call&, GeometricOKLObject&);

    // The massFlowAve family: absolute for massFlowAveAbs.
    Quantity massFlowAverage(const Call&, GeometricOKLObject&, bool absolute);
    // (minimum, maximum) of the expression over a point location.
    std::pair<Quantity, Quantity> rangeOf(GeometricOKLObject& location, const std::string& expression);
    static FunctionCalculator* m_instance; // created on first use, never destroyed

    std::map<std::string, FunctionInfo> m_functions;
};

} // namespace zel
