#include "framework/core/Error.h"

namespace zel {

std::string ErrorMsg::toString() const {
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

std::string ErrorMsg::place() const {
    const std::string file = m_where.file_name();
    if (file.empty()) return std::string();
    // Both separators: a Windows build names its files with backslashes.
    std::size_t cut = file.find_last_of("/\\");
    if (cut != std::string::npos && cut > 0) cut = file.find_last_of("/\\", cut - 1);
    return (cut == std::string::npos ? file : file.substr(cut + 1)) + ":" + std::to_string(m_where.line());
}

Error::Error(const std::string& className, const std::string& operation, const std::string& message, int errorType,
             std::source_location where)
    : std::runtime_error(ErrorMsg(className, operation, message, errorType).toString()),
      m_msg(className, operation, message, errorType, where) {}

} // namespace zel
