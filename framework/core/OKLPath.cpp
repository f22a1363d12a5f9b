#include "framework/core/OKLPath.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"

#include <algorithm>

namespace zel {

namespace {

OKLPath::Component makeComponent(std::string_view text) {
    OKLPath::Component c;
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        c.name = StringUtilities::trim(text);
    } else {
        c.type = StringUtilities::trim(text.substr(0, colon));
        c.name = StringUtilities::trim(text.substr(colon + 1));
    }
    return c;
}

} // namespace

std::string OKLPath::Component::toString() const { return type.empty() ? name : type + ":" + name; }

OKLPath::OKLPath(std::string_view text) {
    const std::string trimmed = StringUtilities::trim(text);
    m_absolute = !trimmed.empty() && trimmed.front() == '/';
    for (const std::string& part : StringUtilities::stringToVector(trimmed, "/"))
        m_components.push_back(makeComponent(part));
}

const OKLPath::Component& OKLPath::getComponent(int i) const {
    if (i < 0 || i >= depth())
        throw internal::badParam("OKLPath", "getComponent",
                                 _("Component %d is out of range for path '%s' of depth %d.", i, toString(), depth()));
    return m_components[static_cast<std::size_t>(i)];
}

std::string OKLPath::getSubPath(int n) const { return getSubPath(0, n); }

std::string OKLPath::getSubPath(int start, int count) const {
    start = std::clamp(start, 0, depth());
    count = std::clamp(count, 0, depth() - start);
    std::string out = (m_absolute && start == 0) ? "/" : "";
    for (int i = start; i < start + count; ++i) {
        if (i > start) out += '/';
        out += m_components[static_cast<std::size_t>(i)].toString();
    }
    return out;
}

std::string OKLPath::getLastName() const { return m_components.empty() ? std::string() : m_components.back().name; }

std::string OKLPath::getLastType() const { return m_components.empty() ? std::string() : m_components.back().type; }

OKLPath OKLPath::getParent() const {
    OKLPath parent(*this);
    if (!parent.m_components.empty()) parent.m_components.pop_back();
    return parent;
}

OKLPath OKLPath::append(std::string_view component) const {
    OKLPath out(*this);
    const Component c = makeComponent(component);
    if (!c.name.empty() || !c.type.empty()) out.m_components.push_back(c);
    return out;
}

} // namespace zel
