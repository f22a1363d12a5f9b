#include "calculator/FunctionCalculator.h"

#include "calculator/ForceVisitor.h"
#include "calculator/MassflowVisitor.h"
#include "expressions/VariableDefStoreBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/OKLPath.h"
#include "framework/core/Reporter.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Variable.h"
#include "framework/geometry/Visitor.h"
#include "framework/okl/CoordinateFrameOKLObject.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/OKLObject.h"
#include "framework/units/UnitDimensions.h"
#include "framework/units/UnitsConverter.h"

#include <algorithm>
#include <iostream>
#include <limits>
#include <new>

namespace zel {

namespace {

// Errors of the call itself; the location checks use the class name in capitals.
const char* const kCallClass = "functionCalculator";
const char* const kClass = "FunctionCalculator";

constexpr ArgumentUse NotTaken = ArgumentUse::NotTaken;
constexpr ArgumentUse Optional = ArgumentUse::Optional;
constexpr ArgumentUse Required = ArgumentUse::Required;

// The base unit text of mass^m length^l time^t.
std::string baseUnit(int mass, int length, int time) {
    UnitDimensions dims;
    dims.clear();
    if (mass != 0) dims.setValue(UnitDimensions::Mass, mass);
    if (length != 0) dims.setValue(UnitDimensions::Length, length);
    if (time != 0) dims.setValue(UnitDimensions::Time, time);
    return UnitsConverter::instance()->getBaseUnitName(dims);
}

// The units of an integral: the expression's units, a blank, the weight's base unit (also
// when the expression's units are empty).
std::string integralUnits(const std::string& expressionUnits, const std::string& weightUnits) {
    return expressionUnits + " " + weightUnits;
}

void checkKind(const GeometricOKLObject& location, const char* kind, const char* operation, const char* message) {
    if (!location.isA(kind)) throw data::invalid(kClass, operation, message, ErrError);
}

Quantity quantity(double value, std::string units) { return Quantity(static_cast<float>(value), std::move(units)); }

// The direction of an axis text (the origin is dropped).
TripletF axisDirection(const std::string& axis) { return CoordinateFrameOKLObject::parseCFString(axis).second; }

const char* argumentWord(ArgumentUse use, const char* optional, const char* required) {
    return use == Optional ? optional : use == Required ? required : "";
}

} // namespace

FunctionCalculator* FunctionCalculator::m_instance = nullptr;

FunctionCalculator* FunctionCalculator::instance(bool massFlowEverywhere) {
    if (m_instance == nullptr) m_instance = new FunctionCalculator(massFlowEverywhere); // lives until exit
    return m_instance;
}

FunctionCalculator::FunctionCalculator(bool massFlowEverywhere) {
    struct Row {
        const char* name;
        ArgumentUse expression, axis, fluid;
        bool point, line, surface, volume;
        int mass, length, time; // exponents; 0 leaves the exponent unset
    };
    const bool mf = massFlowEverywhere;
    const Row rows[] = {
        {"volume", NotTaken, NotTaken, NotTaken, false, false, false, true, 0, 3, 0},
        {"length", NotTaken, NotTaken, NotTaken, false, true, false, false, 0, 1, 0},
        {"count", NotTaken, NotTaken, NotTaken, true, false, false, false, 0, 0, 0},
        {"massFlow", NotTaken, NotTaken, Optional, mf, mf, true, mf, 1, 0, -1},
        {"force", NotTaken, Required, Optional, false, false, true, false, 1, 1, -2},
        {"torque", NotTaken, Required, Optional, false, false, true, false, 1, 2, -2},
        {"forceNorm", NotTaken, Required, Optional, false, true, false, false, 1, 1, -2},
        {"area", NotTaken, Optional, NotTaken, false, false, true, false, 0, 2, 0},
        {"volumeAve", Required, NotTaken, NotTaken, false, false, false, true, 0, 0, 0},
        {"volumeInt", Required, NotTaken, NotTaken, false, false, false, true, 0, 3, 0},
        {"lengthAve", Required, NotTaken, NotTaken, false, true, false, false, 0, 0, 0},
        {"lengthInt", Required, NotTaken, NotTaken, false, true, false, false, 0, 1, 0},
        {"ave", Required, NotTaken, NotTaken, true, false, false, false, 0, 0, 0},
        {"sum", Required, NotTaken, NotTaken, true, false, false, false, 0, 0, 0},
        {"probe", Required, NotTaken, NotTaken, true, false, false, false, 0, 0, 0},
        {"minVal", Required, NotTaken, NotTaken, true, false, false, false, 0, 0, 0},
        {"maxVal", Required, NotTaken, NotTaken, true, false, false, false, 0, 0, 0},
        {"massFlowAve", Required, NotTaken, Optional, mf, mf, true, mf, 0, 0, 0},
        {"massFlowAveAbs", Required, NotTaken, Optional, mf, mf, true, mf, 0, 0, 0},
        {"massFlowInt", Required, NotTaken, Optional, mf, mf, true, mf, 1, 0, -1},
        {"areaAve", Required, Optional, NotTaken, false, false, true, false, 0, 0, 0},
        {"areaInt", Required, Optional, NotTaken, false, false, true, false, 0, 2, 0},
    };
    for (const Row& r : rows) {
        FunctionInfo info;
        info.expressionArg = r.expression;
        info.axisArg = r.axis;
        info.fluidArg = r.fluid;
        info.onPoint = r.point;
        info.onLine = r.line;
        info.onSurface = r.surface;
        info.onVolume = r.volume;
        info.dimensions.clear();
        if (r.mass != 0) info.dimensions.setValue(UnitDimensions::Mass, r.mass);
        if (r.length != 0) info.dimensions.setValue(UnitDimensions::Length, r.length);
        if (r.time != 0) info.dimensions.setValue(UnitDimensions::Time, r.time);
        m_functions.emplace(r.name, info);
    }
}

FunctionCalculator::~FunctionCalculator() {
    if (m_instance == this) m_instance = nullptr;
}

const FunctionInfo* FunctionCalculator::getFunctionInfo(const std::string& name) {
    const auto it = m_functions.find(name);
    return it == m_functions.end() ? nullptr : &it->second;
}

const std::map<std::string, FunctionInfo>& FunctionCalculator::getFunctionInfo() { return m_functions; }

int FunctionCalculator::requiredArgCount(const FunctionInfo& info) {
    return 1 + (info.expressionArg == Required) + (info.axisArg == Required) + (info.fluidArg == Required);
}

int FunctionCalculator::maximumArgCount(const FunctionInfo& info) {
    return requiredArgCount(info) + (info.expressionArg == Optional) + (info.axisArg == Optional) +
           (info.fluidArg == Optional);
}

// ---------------------------------------------------------------- help and the calculator object

std::string FunctionCalculator::helpText() const {
    std::vector<std::string> lines;
    lines.reserve(m_functions.size() + 2);
    lines.push_back(_("%-20s %s", "Function Name", "Arguments <required> [optional]"));
    lines.push_back(_("%-20s %s", "-------------", "-------------------------------"));
    for (const auto& [name, info] : m_functions) {
        std::string args = argumentWord(info.expressionArg, "[Expression] ", "<Expression> ");
        args += "[Location] ";
        args += argumentWord(info.axisArg, "[Axis] ", "<Axis> ");
        args += argumentWord(info.fluidArg, "[Fluid] ", "<Fluid> ");
        lines.push_back(_("%-20s %s", name, args));
    }
    std::string text = "\n";
    for (const std::string& line : lines) text += line + "\n";
    text += "\n";
    return text;
}

void FunctionCalculator::printHelp() const { std::cout << helpText() << std::flush; }

void FunctionCalculator::getArgsFromObj(std::string& function, std::vector<std::string>& args, OKLObject& object) {
    function = object.getValue("Function");
    const FunctionInfo* info = getFunctionInfo(function);
    if (info == nullptr)
        throw data::notFound(kCallClass, "getArgsFromObj", _("%s '%s' does not exist.", "Function named", function),
                             ErrError);
    args.clear();
    if (info->expressionArg != NotTaken) args.push_back(object.getValue("Expression"));
    args.push_back(object.getValue("Location"));
    if (info->axisArg != NotTaken) args.push_back(object.getValue("Axis"));
    if (info->fluidArg != NotTaken) args.push_back(object.getValue("Fluid"));
}

void FunctionCalculator::updateObjFromArgs(const std::string& function, const std::vector<std::string>& args,
                                           OKLObject& object) {
    object.setParameter("Function", function);
    const FunctionInfo* info = getFunctionInfo(function);
    if (info == nullptr)
        throw internal::error(kCallClass, "updateObjFromArgs", _("%s '%s' does not exist.", "Function named", function),
                              ErrError);
    std::size_t i = 0;
    if (info->expressionArg != NotTaken && !args.empty()) {
        object.setParameter("Expression", args[0]);
        i = 1;
    } else {
        object.setParameter("Expression", "");
    }
    if (args.size() <= i)
        throw data::error(kCallClass, "updateObjFromArgs", _("Function '%s' must have a locator argument.", function),
                          ErrError);
    object.setParameter("Location", args[i]);
    std::size_t j = i + 1;
    if (info->axisArg != NotTaken && args.size() > j) {
        object.setParameter("Axis", args[j]);
        j = i + 2;
    } else {
        object.setParameter("Axis", "");
    }
    if (info->fluidArg != NotTaken && args.size() > j)
        object.setParameter("Fluid", args[j]);
    else
        object.setParameter("Fluid", "");
}

// ---------------------------------------------------------------- evaluation

Quantity FunctionCalculator::evaluate(const std::string& function, const std::string& location,
                                      const std::string& expression, const std::string& axis,
                                      const std::string& fluid) {
    std::vector<std::string> args;
    for (const std::string* s : {&expression, &location, &axis, &fluid})
        if (!s->empty()) args.push_back(*s);
    return evaluate(function, args);
}

Quantity FunctionCalculator::evaluate(const std::string& function, const std::vector<std::string>& args) {
    ErrorProgressReporter* reporter = ErrorProgressReporter::instance();
    try {
        return evaluateCall(function, args);
    } catch (const Error& error) {
        reporter->reportError(error);
    } catch (const std::bad_alloc&) {
        reporter->reportError(ErrorMsg(kClass, "evaluate", _("Operation '%s' failed. Insufficient memory.", "evaluate"),
                                       ErrStdException));
    } catch (const std::exception& e) {
        reporter->reportError(ErrorMsg(kClass, "evaluate",
                                       _("Operation '%s' failed (system exception: %s).", "evaluate", e.what()),
                                       ErrStdException));
    } catch (...) {
        // Not a standard exception: nothing to tell but that it failed.
        reporter->reportError(ErrorMsg(kClass, "evaluate",
                                       _("Operation '%s' failed (system exception: %s).", "evaluate", "unknown"),
                                       ErrStdException));
    }
    return Quantity::undefined();
}

FunctionCalculator::Call FunctionCalculator::parseCall(const std::string& function,
                                                       const std::vector<std::string>& args, GeometricOKLObject*& found,
                                                       bool allowMissing) {
    found = nullptr;
    const FunctionInfo* info = getFunctionInfo(function);
    if (info == nullptr)
        throw data::error(kCallClass, "evaluate", _("%s '%s' does not exist.", "Function named", function), ErrError);

    const int required = requiredArgCount(*info);
    const int maximum = maximumArgCount(*info);
    const int count = static_cast<int>(args.size());
    if (count < required || count > maximum)
        throw data::error(kCallClass, "evaluate",
                          _("Function '%s' has %i required arguments and %i optional arguments. Received %i "
                            "arguments.",
                            function, required, maximum - required, count),
                          ErrError);
    if (info->expressionArg == Optional)
        throw internal::error(kCallClass, "evaluate",
                              _("Function '%s' cannot have an optional expression argument", function), ErrError);

    Call call;
    call.function = function;
    std::size_t next = 0;
    if (info->expressionArg == Required) call.expression = args[next++];
    if (next >= args.size())
        throw data::error(kCallClass, "evaluate", _("Function '%s' must have a locator argument.", function), ErrError);
    call.location = args[next++];
    if (info->axisArg != NotTaken && next < args.size()) call.axis = args[next++];
    if (info->fluidArg != NotTaken && next < args.size()) call.fluid = args[next++];
    if (call.fluid == "All Fluids") call.fluid.clear();

    OKLObject* object = nullptr;
    if (call.location.find_first_of("/:") != std::string::npos) {
        const OKLPath path(call.location);
        call.location = path.getSubPath(0, path.depth());
        object = OKLCoreAPI::instance()->getObjectByPath(call.location);
    } else {
        object = OKLCoreAPI::instance()->getTopObjectByName(call.location);
    }
    if (object == nullptr && allowMissing) return call;
    if (object == nullptr)
        throw data::error(kCallClass, "evaluate", _("%s '%s' does not exist.", "Object", call.location), ErrError);
    auto* location = dynamic_cast<GeometricOKLObject*>(object);
    if (location == nullptr)
        throw data::error(kCallClass, "evaluate",
                          _("Object %s is not a geometric object in evaluation of %s.", call.location, function),
                          ErrError);
    found = location;
    return call;
}

Quantity FunctionCalculator::evaluateCall(const std::string& function, const std::vector<std::string>& args) {
    GeometricOKLObject* location = nullptr;
    const Call call = parseCall(function, args, location);
    static const std::pair<const char*, Evaluation> evaluations[] = {
        {"massFlow", &FunctionCalculator::evalMassFlow},
        {"area", &FunctionCalculator::evalArea},
        {"volume", &FunctionCalculator::evalVolume},
        {"count", &FunctionCalculator::evalCount},
        {"massFlowAve", &FunctionCalculator::evalMassFlowAve},
        {"massFlowAveAbs", &FunctionCalculator::evalMassFlowAveAbs},
        {"massFlowInt", &FunctionCalculator::evalMassFlowInt},
        {"areaAve", &FunctionCalculator::evalAreaAve},
        {"volumeAve", &FunctionCalculator::evalVolumeAve},
        {"areaInt", &FunctionCalculator::evalAreaInt},
        {"volumeInt", &FunctionCalculator::evalVolumeInt},
        {"ave", &FunctionCalculator::evalAve},
        {"sum", &FunctionCalculator::evalSum},
        {"minVal", &FunctionCalculator::evalMinVal},
        {"maxVal", &FunctionCalculator::evalMaxVal},
        {"probe", &FunctionCalculator::evalProbe},
        {"length", &FunctionCalculator::evalLength},
        {"lengthInt", &FunctionCalculator::evalLengthInt},
        {"lengthAve", &FunctionCalculator::evalLengthAve},
        {"force", &FunctionCalculator::evalForce},
        {"forceNorm", &FunctionCalculator::evalForceNorm},
        {"torque", &FunctionCalculator::evalTorque},
    };
    for (const auto& [name, evaluation] : evaluations)
        if (function == name) return (this->*evaluation)(call, *location);
    throw internal::error(kCallClass, "evaluate", _("Attempted to evaluate unrecognized function '%s'.", function),
                          ErrError);
}

std::string FunctionCalculator::unitsOfExpression(const std::string& name) {
    if (OKLCoreAPI::instance()->getTopObjectByName(name) != nullptr) {
        try {
            return VariableDefStoreBase::instance()->getBaseUnits(name, true);
        } catch (const data::notFound&) {
            return {};
        }
    }
    return UnitsConverter::instance()->getBaseUnitName(ExpressionEvaluator::getDimensions(name, "expression"));
}

// ---------------------------------------------------------------- the functions

Quantity FunctionCalculator::evalMassFlow(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "surface", "massFlow",
              "Only geometries with surface data \nare allowed for calculating massFlow");
    MassflowVisitor visitor(call.fluid, "", false);
    location.acceptVisitor(visitor);
    return quantity(visitor.getTotalWeight(), baseUnit(1, 0, -1));
}

Quantity FunctionCalculator::evalArea(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "surface", "area", "Only geometries with surface data \nare allowed for calculating area");
    AreaVisitor visitor("");
    if (!call.axis.empty()) visitor.setAxis(axisDirection(call.axis));
    location.acceptVisitor(visitor);
    return quantity(visitor.getTotalWeight(), baseUnit(0, 2, 0));
}

Quantity FunctionCalculator::evalVolume(const Call&, GeometricOKLObject& location) {
    checkKind(location, "volume", "volume", "Only geometries with volume data\nare allowed for calculating volume");
    VolumeVisitor visitor("");
    location.acceptVisitor(visitor);
    return quantity(visitor.getTotalWeight(), baseUnit(0, 3, 0));
}

Quantity FunctionCalculator::evalCount(const Call&, GeometricOKLObject& location) {
    checkKind(location, "point", "count", "Only geometric objects are allowed for calculating count");
    SummationVisitor visitor("");
    location.acceptVisitor(visitor);
    return quantity(visitor.getCount(), "");
}

Quantity FunctionCalculator::massFlowAverage(const Call& call, GeometricOKLObject& location, bool absolute) {
    checkKind(location, "surface", "massFlowAve",
              "Only geometries with surface data \nare allowed for calculating massFlowAve");
    MassflowVisitor visitor(call.fluid, call.expression, absolute);
    location.acceptVisitor(visitor);
    return quantity(visitor.getAverage(), unitsOfExpression(call.expression));
}

Quantity FunctionCalculator::evalMassFlowAve(const Call& call, GeometricOKLObject& location) {
    return massFlowAverage(call, location, false);
}

Quantity FunctionCalculator::evalMassFlowAveAbs(const Call& call, GeometricOKLObject& location) {
    return massFlowAverage(call, location, true);
}

Quantity FunctionCalculator::evalMassFlowInt(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "surface", "massFlowInt",
              "Only geometries with surface data \nare allowed for calculating massFlowInt");
    MassflowVisitor visitor(call.fluid, call.expression, false);
    location.acceptVisitor(visitor);
    return quantity(visitor.getIntegral(), integralUnits(unitsOfExpression(call.expression), baseUnit(1, 0, -1)));
}

Quantity FunctionCalculator::evalAreaAve(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "surface", "areaAve",
              "Only geometries with surface data \nare allowed for calculating areaAve");
    AreaVisitor visitor(call.expression);
    if (!call.axis.empty()) visitor.setAxis(axisDirection(call.axis));
    location.acceptVisitor(visitor);
    return quantity(visitor.getAverage(), unitsOfExpression(call.expression));
}

Quantity FunctionCalculator::evalVolumeAve(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "volume", "volumeAve",
              "Only geometries with volume data\nare allowed for calculating volumeAve");
    VolumeVisitor visitor(call.expression);
    location.acceptVisitor(visitor);
    return quantity(visitor.getAverage(), unitsOfExpression(call.expression));
}

Quantity FunctionCalculator::evalAreaInt(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "surface", "areaInt",
              "Only geometries with surface data \nare allowed for calculating areaInt");
    AreaVisitor visitor(call.expression);
    if (!call.axis.empty()) visitor.setAxis(axisDirection(call.axis));
    location.acceptVisitor(visitor);
    return quantity(visitor.getIntegral(), integralUnits(unitsOfExpression(call.expression), baseUnit(0, 2, 0)));
}

Quantity FunctionCalculator::evalVolumeInt(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "volume", "volumeInt",
              "Only geometries with volume data\nare allowed for calculating volumeInt");
    VolumeVisitor visitor(call.expression);
    location.acceptVisitor(visitor);
    return quantity(visitor.getIntegral(), integralUnits(unitsOfExpression(call.expression), baseUnit(0, 3, 0)));
}

Quantity FunctionCalculator::evalAve(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "point", "ave", "Only geometric objects are allowed for calculating ave");
    SummationVisitor visitor(call.expression);
    location.acceptVisitor(visitor);
    if (visitor.getCount() < 1) return Quantity::undefined();
    return quantity(visitor.getSum() / visitor.getCount(), unitsOfExpression(call.expression));
}

Quantity FunctionCalculator::evalSum(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "point", "sum", "Only geometric objects are allowed for calculating sum");
    SummationVisitor visitor(call.expression);
    location.acceptVisitor(visitor);
    return quantity(visitor.getSum(), unitsOfExpression(call.expression));
}

std::pair<Quantity, Quantity> FunctionCalculator::rangeOf(GeometricOKLObject& location, const std::string& expression) {
    checkKind(location, "point", "range", "Only geometric objects are allowed for calculating range");
    SummationVisitor visitor(expression);
    location.acceptVisitor(visitor);
    const std::string units = unitsOfExpression(expression);
    return {quantity(visitor.getMin(), units), quantity(visitor.getMax(), units)};
}

Quantity FunctionCalculator::evalMinVal(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "point", "minVal", "Only geometric objects are allowed for calculating minVal");
    return rangeOf(location, call.expression).first;
}

Quantity FunctionCalculator::evalMaxVal(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "point", "maxVal", "Only geometric objects are allowed for calculating maxVal");
    return rangeOf(location, call.expression).second;
}

Quantity FunctionCalculator::evalProbe(const Call& call, GeometricOKLObject& location) {
    const std::string& type = location.getType();
    if (type != "POINT" && type != "INTERNAL POINT")
        throw data::error(kClass, "probe", _("%s '%s' is not a POINT.", "Object", location.getName()), ErrError);
    const std::vector<Variable*> variables = location.getVariable(call.expression);
    // TODO: the geometry library answers a variable no geometry of the point can provide
    // with an empty list rather than its own error; say so here instead.
    if (variables.empty())
        throw data::notFound(
            kClass, "probe",
            _("No data exists for variable '%s' specified in object '%s'.", call.expression, location.getName()),
            ErrError);
    const FloatZELVector* values = variables.front()->getFloatValues(VarTypeVertex);
    if (values == nullptr || values->empty())
        throw internal::error(kClass, "probe", _("Variable '%s' is empty.", call.expression), ErrError);
    return Quantity((*values)[0], unitsOfExpression(call.expression));
}

Quantity FunctionCalculator::evalLength(const Call&, GeometricOKLObject& location) {
    checkKind(location, "line", "length", "Only geometries with line data\nare allowed for calculating length");
    LengthVisitor visitor("");
    location.acceptVisitor(visitor);
    return quantity(visitor.getTotalWeight(), baseUnit(0, 1, 0));
}

Quantity FunctionCalculator::evalLengthInt(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "line", "lengthInt", "Only geometries with line data\nare allowed for calculating lengthInt");
    LengthVisitor visitor(call.expression);
    location.acceptVisitor(visitor);
    return quantity(visitor.getIntegral(), integralUnits(unitsOfExpression(call.expression), baseUnit(0, 1, 0)));
}

Quantity FunctionCalculator::evalLengthAve(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "line", "lengthAve", "Only geometries with line data\nare allowed for calculating lengthAve");
    LengthVisitor visitor(call.expression);
    location.acceptVisitor(visitor);
    return quantity(visitor.getAverage(), unitsOfExpression(call.expression));
}

Quantity FunctionCalculator::evalForce(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "surface", "force", "Only geometries with surface data\nare allowed for calculating force");
    const TripletF direction = axisDirection(call.axis);
    ForceVisitor visitor(call.fluid);
    location.acceptVisitor(visitor);
    return quantity(visitor.getForceProjection(direction), baseUnit(1, 1, -2));
}

Quantity FunctionCalculator::evalForceNorm(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "line", "forceNorm", "Only geometries with line data\nare allowed for calculating forceNorm");
    const TripletF direction = axisDirection(call.axis);
    ForceNormVisitor visitor(call.fluid);
    location.acceptVisitor(visitor);
    return quantity(visitor.getForceProjection(direction), baseUnit(1, 1, -2));
}

Quantity FunctionCalculator::evalTorque(const Call& call, GeometricOKLObject& location) {
    checkKind(location, "surface", "torque", "Only geometries with surface data \nare allowed for calculating torque");
    const auto [origin, direction] = CoordinateFrameOKLObject::parseCFString(call.axis);
    ForceVisitor visitor(origin, call.fluid);
    location.acceptVisitor(visitor);
    return quantity(visitor.getTorqueProjection(direction), baseUnit(1, 2, -2));
}

// ---------------------------------------------------------------- partial results

void combinePartial(PartialResult& into, const PartialResult& other) {
    auto& v = into.values;
    const auto& o = other.values;
    for (std::size_t i = 0; i < 4; ++i) v[i] += o[i];
    v[4] = std::min(v[4], o[4]);
    v[5] = std::max(v[5], o[5]);
    if (o[6] > v[6]) {
        v[6] = o[6];
        v[7] = o[7];
    }
}

PartialResult FunctionCalculator::evaluatePartial(const std::string& function, const std::vector<std::string>& args,
                                                  bool missingIsEmpty,
                                                  const std::function<bool(const Geometry&, std::size_t)>& keep) {
    GeometricOKLObject* location = nullptr;
    const Call call = parseCall(function, args, location, missingIsEmpty);
    PartialResult out;
    out.present = location != nullptr;
    // A missing location is empty: nothing to check or visit, but the units are the same.
    auto checkKind = [&](const GeometricOKLObject*, const char* kind, const char* operation, const char* message) {
        if (location != nullptr) zel::checkKind(*location, kind, operation, message);
    };
    // Variables that a location's calc function makes (a polyline's boundary normal) exist only
    // where the location has geometry; elsewhere the units are left to the pieces that have it.
    auto exprUnits = [&]() -> std::string {
        if (call.expression.empty()) return {};
        try {
            return unitsOfExpression(call.expression);
        } catch (const Error&) {
            if (location != nullptr && location->getNumGeometries() > 0) throw;
            out.unitsKnown = false;
            return {};
        }
    };
    auto visit = [&](GeometryVisitor& visitor) {
        if (location != nullptr) location->acceptVisitor(visitor);
    };
    out.values[4] = std::numeric_limits<double>::infinity();
    out.values[5] = -std::numeric_limits<double>::infinity();
    auto integration = [&](IntegrationVisitor& visitor, std::string units) {
        if (keep) visitor.setVertexFilter(keep);
        visit(visitor);
        out.values[0] = visitor.getIntegral();
        out.values[1] = visitor.getTotalWeight();
        out.units = std::move(units);
    };
    auto surface = [&]() {
        checkKind(location, "surface", function.c_str(),
                  _("Only geometries with surface data \nare allowed for calculating %s", function).c_str());
    };
    const std::string& f = function;
    if (f == "area" || f == "areaInt" || f == "areaAve") {
        surface();
        AreaVisitor visitor(f == "area" ? std::string() : call.expression);
        if (!call.axis.empty()) visitor.setAxis(axisDirection(call.axis));
        const std::string e = exprUnits();
        integration(visitor, f == "area"      ? baseUnit(0, 2, 0)
                             : f == "areaAve" ? e
                                              : integralUnits(e, baseUnit(0, 2, 0)));
    } else if (f == "massFlow" || f == "massFlowInt" || f == "massFlowAve" || f == "massFlowAveAbs") {
        surface();
        MassflowVisitor visitor(call.fluid, f == "massFlow" ? std::string() : call.expression, f == "massFlowAveAbs");
        const std::string e = f == "massFlow" ? std::string() : exprUnits();
        integration(visitor, f == "massFlow"      ? baseUnit(1, 0, -1)
                             : f == "massFlowInt" ? integralUnits(e, baseUnit(1, 0, -1))
                                                  : e);
    } else if (f == "volume" || f == "volumeInt" || f == "volumeAve") {
        checkKind(location, "volume", f.c_str(),
                  _("Only geometries with volume data\nare allowed for calculating %s", f).c_str());
        VolumeVisitor visitor(f == "volume" ? std::string() : call.expression);
        const std::string e = f == "volume" ? std::string() : exprUnits();
        integration(visitor, f == "volume"      ? baseUnit(0, 3, 0)
                             : f == "volumeAve" ? e
                                                : integralUnits(e, baseUnit(0, 3, 0)));
    } else if (f == "length" || f == "lengthInt" || f == "lengthAve") {
        checkKind(location, "line", f.c_str(),
                  _("Only geometries with line data\nare allowed for calculating %s", f).c_str());
        LengthVisitor visitor(f == "length" ? std::string() : call.expression);
        const std::string e = f == "length" ? std::string() : exprUnits();
        integration(visitor, f == "length"      ? baseUnit(0, 1, 0)
                             : f == "lengthAve" ? e
                                                : integralUnits(e, baseUnit(0, 1, 0)));
    } else if (f == "count" || f == "sum" || f == "ave" || f == "minVal" || f == "maxVal") {
        checkKind(location, "point", f.c_str(), _("Only geometric objects are allowed for calculating %s", f).c_str());
        SummationVisitor visitor(f == "count" ? std::string() : call.expression);
        if (keep) visitor.setVertexFilter(keep);
        visit(visitor);
        out.values[2] = visitor.getSum();
        out.values[3] = visitor.getCount();
        if (visitor.getCount() > 0) {
            out.values[4] = visitor.getMin();
            out.values[5] = visitor.getMax();
        }
        out.units = f == "count" ? std::string() : exprUnits();
    } else if (f == "force" || f == "torque") {
        surface();
        if (f == "force") {
            ForceVisitor visitor(call.fluid);
            if (keep) visitor.setVertexFilter(keep);
            visit(visitor);
            const auto& sums = visitor.getForceSums();
            out.values = {sums.x, sums.y, sums.z, 0, out.values[4], out.values[5], 0, 0};
            out.units = baseUnit(1, 1, -2);
        } else {
            const auto [origin, direction] = CoordinateFrameOKLObject::parseCFString(call.axis);
            ForceVisitor visitor(origin, call.fluid);
            if (keep) visitor.setVertexFilter(keep);
            visit(visitor);
            const auto& sums = visitor.getTorqueSums();
            out.values = {sums.x, sums.y, sums.z, 0, out.values[4], out.values[5], 0, 0};
            out.units = baseUnit(1, 2, -2);
        }
    } else if (f == "forceNorm") {
        checkKind(location, "line", "forceNorm",
                  "Only geometries with line data\nare allowed for calculating forceNorm");
        ForceNormVisitor visitor(call.fluid);
        if (keep) visitor.setVertexFilter(keep);
        visit(visitor);
        const auto& sums = visitor.getForceSums();
        out.values = {sums.x, sums.y, sums.z, 0, out.values[4], out.values[5], 0, 0};
        out.units = baseUnit(1, 1, -2);
    } else if (f == "probe") {
        // A point outside this piece is no failure here: another piece may hold it.
        try {
            if (location == nullptr) throw data::notFound(kClass, "probe", "not here", ErrError);
            const Quantity q = evalProbe(call, *location);
            if (!q.isUndefined() && !isUndefined(q.getValue())) {
                out.values[6] = 1.0;
                out.values[7] = q.getValue();
            }
        } catch (const data::notFound&) {
        } catch (const internal::error&) {}
        out.units = exprUnits();
    } else {
        throw internal::error(kCallClass, "evaluate", _("Attempted to evaluate unrecognized function '%s'.", function),
                              ErrError);
    }
    return out;
}

std::optional<double> FunctionCalculator::finishPartial(const std::string& function,
                                                        const std::vector<std::string>& args,
                                                        const PartialResult& total) {
    GeometricOKLObject* found = nullptr;
    const Call call = parseCall(function, args, found, true);
    const auto& v = total.values;
    const std::string& f = function;
    auto defined = [](double x) -> std::optional<double> {
        if (isUndefined(static_cast<float>(x))) return std::nullopt;
        return x;
    };
    if (f == "area" || f == "massFlow" || f == "volume" || f == "length") return v[1];
    if (f == "areaInt" || f == "massFlowInt" || f == "volumeInt" || f == "lengthInt") return v[0];
    if (f == "areaAve" || f == "massFlowAve" || f == "massFlowAveAbs" || f == "volumeAve" || f == "lengthAve")
        return v[1] == 0.0 ? std::nullopt : defined(v[0] / v[1]);
    if (f == "count") return v[3];
    if (f == "sum") return v[2];
    if (f == "ave") return v[3] < 1.0 ? std::nullopt : defined(v[2] / v[3]);
    if (f == "minVal") return v[3] < 1.0 ? std::nullopt : defined(v[4]);
    if (f == "maxVal") return v[3] < 1.0 ? std::nullopt : defined(v[5]);
    if (f == "force" || f == "forceNorm" || f == "torque") {
        const TripletD sums(v[0], v[1], v[2]);
        const TripletF direction =
            f == "torque" ? CoordinateFrameOKLObject::parseCFString(call.axis).second : axisDirection(call.axis);
        return defined(projectOnAxis(sums, direction));
    }
    if (f == "probe") {
        if (v[6] == 0.0)
            throw data::notFound(kClass, "probe",
                                 _("No data exists for variable '%s' specified in object '%s'.", call.expression,
                                   found != nullptr ? found->getName() : call.location),
                                 ErrError);
        return defined(v[7]);
    }
    throw internal::error(kCallClass, "evaluate", _("Attempted to evaluate unrecognized function '%s'.", function),
                          ErrError);
}

} // namespace zel
