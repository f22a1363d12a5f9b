#pragma once
// The user expressions ("/LIBRARY/ROX/EXPRESSIONS", type "EXPRESSIONS"): each parameter
// that is set is one expression, its name the parameter name and its text the value:
//
//   EXPRESSIONS:
//     Inlet Pressure = 1.2 [bar]
//     Ratio = Pressure / Inlet Pressure
//   END
#include "framework/expressions/ExpressionTypes.h"
#include "framework/okl/GeometricOKLObject.h"

#include <utility>
#include <vector>

namespace zel {

class ExpressionsOKLObject : public GeometricOKLObject {
public:
    ExpressionsOKLObject(const std::string& type, const std::string& name) : GeometricOKLObject(type, name) {}
    ~ExpressionsOKLObject() override;

    // The expressions in the order their parameters were first set (blanks around name and
    // text trimmed as the parameters store them). The list is rebuilt only when the
    // parameters changed since the last call, so references and pointers into it stay valid
    // until then.
    const std::vector<ExpressionDef>& getExpressionList() const;

private:
    mutable std::vector<std::pair<std::string, std::string>> m_source; // the parameters the list was built from
    mutable std::vector<ExpressionDef> m_expressions;
};

} // namespace zel
