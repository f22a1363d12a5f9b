#include "framework/okl/OKLBuilder.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/OKLPath.h"
#include "framework/core/StringUtilities.h"

namespace zel {

namespace {

const char* const kClass = "OKLBuilder";

bool isWord(const std::string& s) {
    if (s.empty() || StringUtilities::trim(s) != s || s.back() == '\\') return false;
    for (char c : s)
        if (c == '/' || c == '=' || c == '#' || c == ':' || c == '\n' || c == '\r') return false;
    return true;
}

// True when the value reads back unchanged from "Name = value".
bool isWritable(const std::string& value) {
    if (StringUtilities::trim(value) != value || (!value.empty() && value.back() == '\\')) return false;
    bool quoted = false;
    for (char c : value) {
        if (c == '\n' || c == '\r') return false;
        if (c == '"')
            quoted = !quoted;
        else if (c == '#' && !quoted)
            return false;
    }
    return true;
}

} // namespace

std::string OKLBuilder::indent() const { return std::string(2 * m_open.size(), ' '); }

void OKLBuilder::pushRoot(const std::string& type, const std::string& name) {
    popAll();
    push(type, name);
}

void OKLBuilder::push(const std::string& type, const std::string& name) {
    const std::string n = name.empty() ? type : name;
    if (!isWord(type) || type == "END" || !isWord(n))
        throw okl::error(kClass, "push", _("Cannot write a block for type '%s' and name '%s'.", type, name));
    const std::string header = n == type ? type + ":" : type + ": " + n;
    m_text += indent() + header + "\n";
    m_open.push_back(header);
}

void OKLBuilder::pushPath(const std::string& path) {
    const OKLPath parsed(path);
    for (const OKLPath::Component& c : parsed.components()) {
        if (c.type.empty())
            push(c.name, c.name);
        else
            push(c.type, c.name);
    }
}

void OKLBuilder::addParam(const std::string& name, const std::string& value) {
    if (m_open.empty()) throw okl::error(kClass, "addParam", _("Parameter '%s' is outside any block.", name));
    if (!isWord(name)) throw okl::error(kClass, "addParam", _("Cannot write the parameter name '%s'.", name));
    if (!isWritable(value))
        throw okl::error(
            kClass, "addParam",
            _("Cannot write the value of parameter '%s' so that it reads back unchanged: '%s'.", name, value));
    m_text += indent() + name + " =" + (value.empty() ? "" : " " + value) + "\n";
}

void OKLBuilder::addAction(const std::string& name, const std::string& args) {
    if (!m_open.empty()) throw okl::error(kClass, "addAction", _("Action '%s' cannot stand inside a block.", name));
    if (name.empty() || name.find_first_of(" \t\n\r#") != std::string::npos || !isWritable(args))
        throw okl::error(kClass, "addAction", _("Cannot write the action '%s %s'.", name, args));
    m_text += "> " + name + (args.empty() ? "" : " " + args) + "\n";
}

void OKLBuilder::pop() {
    if (m_open.empty()) throw okl::error(kClass, "pop", "No block is open.");
    m_open.pop_back();
    m_text += indent() + "END\n";
}

void OKLBuilder::popAll() {
    while (!m_open.empty()) pop();
}

std::string OKLBuilder::getOKL() const {
    std::string text = m_text;
    for (std::size_t depth = m_open.size(); depth > 0; --depth) text += std::string(2 * (depth - 1), ' ') + "END\n";
    return text;
}

void OKLBuilder::clear() {
    m_text.clear();
    m_open.clear();
}

} // namespace zel
