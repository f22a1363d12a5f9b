#include "framework/okl/CalcBase.h"

#include "framework/okl/OKLObject.h"

namespace zel {

CalcRegistry* CalcRegistry::m_instance = nullptr;

CalcRegistry* CalcRegistry::instance() {
    if (!m_instance) m_instance = new CalcRegistry(); // lives until the process ends
    return m_instance;
}

void CalcRegistry::registerCalcFunc(const std::string& type, std::unique_ptr<CalcBase> calcFunc) {
    if (!calcFunc) {
        m_funcs.erase(type);
        return;
    }
    m_funcs[type] = std::move(calcFunc);
}

void CalcRegistry::registerCalcFunc(const std::string& type, const CalcBase& calcFunc) {
    registerCalcFunc(type, std::unique_ptr<CalcBase>(calcFunc.clone()));
}

void CalcRegistry::unregisterCalcFunc(const std::string& type) { m_funcs.erase(type); }

CalcBase* CalcRegistry::find(const std::string& type) const {
    auto it = m_funcs.find(type);
    return it == m_funcs.end() ? nullptr : it->second.get();
}

bool CalcRegistry::run(OKLObject& object, const std::string& action) const {
    CalcBase* f = find(object.getType());
    if (!f) return false;
    (*f)(&object, action);
    return true;
}

} // namespace zel
