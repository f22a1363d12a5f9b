#pragma once
// Turns an expression text into a Program: parses it, resolves its names through the
// registered host interfaces, checks the dimensions, folds constants and lowers the rest.
#include "framework/expressions/ExpressionTypes.h"
#include "framework/expressions/detail/Program.h"

#include <memory>
#include <string>

namespace zel::expr {

// operation and context go into error messages: the public operation that compiles, and
// the object the expression belongs to ("" or "expression" when none).
std::shared_ptr<Program> compileExpression(const std::string& text, const ExpressionCoordTransData& coords,
                                           const std::string& operation, const std::string& context);

// Text of dimensions for messages: "[kg m^-1 s^-2]", or "dimensionless".
std::string describeDimensions(const UnitDimensions& dims);

} // namespace zel::expr
