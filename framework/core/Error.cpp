#include "framework/core/Error.h"

namespace zel {

std::string ErrorMsg::toString() const
{
    std::string out;
    if (!m_className.empty()) out += m_className;
    if (!m_operation.empty()) {
        if (!out.empty()) out += "::";
        out += m_operation;
    }
    if (!out.empty()) out += ": ";
    out += m_message;
    return out;
}

Error::Error(const std::string& className, const std::string& operation, const std::string& message,
             int errorType)
    : std::runtime_error(ErrorMsg(className, operation, message, errorType).toString()),
      m_msg(className, operation, message, errorType)
{
}

} // namespace zel
