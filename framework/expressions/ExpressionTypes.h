#pragma once
// Records exchanged between the expression language and its host: user expressions, the
// variable names the host offers, and the names of the coordinates.
#include <string>

namespace zel {

// A user expression: a name that expressions may use and the text it stands for.
struct ExpressionDef {
    ExpressionDef() = default;
    ExpressionDef(std::string name_, std::string expression_)
        : name(std::move(name_)), expression(std::move(expression_)) {}

    std::string name;
    std::string expression;
};

// A name the host offers to the language and what it stands for.
struct ExpressionVariableInfo {
    ExpressionVariableInfo() = default;
    ExpressionVariableInfo(std::string name_, std::string variable_, bool validName_, std::string units_,
                           std::string dimensions_)
        : name(std::move(name_)), variable(std::move(variable_)), validName(validName_), units(std::move(units_)),
          dimensions(std::move(dimensions_)) {}

    std::string name;       // as written in expressions ("p", "Pressure", "Velocity u")
    std::string variable;   // the variable it stands for; the evaluator asks the host for this name
    bool validName = false; // ExpressionEvaluator::isValidGeniVariable(name)
    std::string units;      // base units ("kg m^-1 s^-2"); empty: none known, or dimensionless
    std::string dimensions; // UnitDimensions::commaString of the units; may be empty
};

// Names of the coordinates an expression may use besides x, y and z, and the variables that
// hold the Cartesian coordinate values. The cylindrical coordinates are about the z axis
// through the origin: radius = sqrt(X^2 + Y^2) (a length), angle = atan2(Y, X) (an angle in
// radians, -pi..pi), axial = Z.
struct ExpressionCoordTransData {
    ExpressionCoordTransData() = default;
    ExpressionCoordTransData(std::string radial, std::string angle, std::string axial)
        : radialName(std::move(radial)), angleName(std::move(angle)), axialName(std::move(axial)) {}

    std::string radialName = "r";
    std::string angleName = "theta";
    std::string axialName = "z";
    // Variables the evaluator asks for when x, y, z (or the cylindrical names) are used.
    std::string xVariable = "X";
    std::string yVariable = "Y";
    std::string zVariable = "Z";
};

} // namespace zel
