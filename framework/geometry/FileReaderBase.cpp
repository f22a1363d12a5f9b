#include "framework/geometry/FileReaderBase.h"

#include "framework/geometry/Variable.h"

namespace zel {

std::unique_ptr<Variable> FileReaderBase::getVariable(const std::string& name, Interpolant*) {
    FloatZELVectorConcrete values;
    if (!getVariableData(name, values)) return nullptr;
    auto v = std::make_unique<ScalarVariable>(VarTypeVertex);
    v->setName(name);
    v->setFloatValues(std::move(values), VarTypeVertex);
    return v;
}

} // namespace zel
