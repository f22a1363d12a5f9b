#include "framework/okl/ExpressionsOKLObject.h"

namespace zel {

ExpressionsOKLObject::~ExpressionsOKLObject() = default;

const std::vector<ExpressionDef>& ExpressionsOKLObject::getExpressionList() const {
    // Compared with what the list was built from rather than tracked through setParameter,
    // because parameters can also be unset or cleared through the base class.
    auto params = getParameters(StateSetParams);
    if (params != m_source || m_expressions.size() != params.size()) {
        m_expressions.clear();
        m_expressions.reserve(params.size());
        for (const auto& [name, text] : params) m_expressions.emplace_back(name, text);
        m_source = std::move(params);
    }
    return m_expressions;
}

} // namespace zel
