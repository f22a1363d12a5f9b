#include "framework/okl/OKLObject.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/okl/OKLBuilder.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ObjectTypes.h"
#include "framework/units/UnitsConverter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zel {

namespace {

const char* const kClass = "OKLObject";

// Text that cannot be part of a type, name or parameter name: it would end a path
// component, a header or a name, or start a comment.
bool hasReservedChar(const std::string& s, bool colonAllowed) {
    for (char c : s)
        if (c == '/' || c == '=' || c == '#' || c == '\n' || c == '\r' || (!colonAllowed && c == ':')) return true;
    return false;
}

bool isTrimmed(const std::string& s) { return !s.empty() && StringUtilities::trim(s) == s && s.back() != '\\'; }

struct ParsedNumbers {
    std::vector<double> values;
    std::string units;
};

// "0, 0, 0.5 [m]" -> {0, 0, 0.5}, "m". Values are separated by commas and/or blanks; the
// unit, in square brackets, must come last. False when the text is not of that form.
bool parseNumbers(const std::string& text, ParsedNumbers& out) {
    std::string numbers = text;
    const auto open = text.find('[');
    if (open != std::string::npos) {
        const auto close = text.find(']', open);
        if (close == std::string::npos || !StringUtilities::trim(std::string_view(text).substr(close + 1)).empty())
            return false;
        out.units = StringUtilities::trim(std::string_view(text).substr(open + 1, close - open - 1));
        numbers = text.substr(0, open);
    }
    for (const std::string& item : StringUtilities::stringToVector(numbers, ", \t\r\n\f\v")) {
        std::string_view t = item;
        if (!t.empty() && t.front() == '+') t.remove_prefix(1);
        double v = 0.0;
        const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
        if (res.ec != std::errc() || res.ptr != t.data() + t.size() || t.empty()) return false;
        out.values.push_back(v);
    }
    return true;
}

float toFloat(double v) {
    // Values beyond the float range saturate to the undefined marker's magnitude rather
    // than overflowing to infinity.
    const double maxF = static_cast<double>(std::numeric_limits<float>::max());
    if (v > maxF) return std::numeric_limits<float>::max();
    if (v < -maxF) return -std::numeric_limits<float>::max();
    return static_cast<float>(v);
}

} // namespace

OKLObject::OKLObject(const std::string& type, const std::string& name)
    : m_type(type), m_name(name.empty() ? type : name) {
    if (!isTrimmed(m_type) || hasReservedChar(m_type, false) || m_type == "END")
        throw internal::badParam(kClass, "OKLObject", _("Invalid object type '%s'.", type));
    if (!isTrimmed(m_name) || hasReservedChar(m_name, false))
        throw internal::badParam(kClass, "OKLObject", _("Invalid name '%s' for an object of type '%s'.", name, type));
}

OKLObject::~OKLObject() = default;

std::uint64_t OKLObject::nextAttachStamp() {
    static std::uint64_t last = 0; // the database is single-threaded
    return ++last;
}

std::string OKLObject::getPathComponent() const { return isSingleton() ? m_name : m_type + ":" + m_name; }

std::string OKLObject::getPath() const {
    std::vector<const OKLObject*> chain;
    for (const OKLObject* o = this; o; o = o->m_parent) chain.push_back(o);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += '/'; // appended apart: g++ 12 -O3 reports a false -Wrestrict on "/" + text
        path += (*it)->getPathComponent();
    }
    return path;
}

const ObjectTypeInfo& OKLObject::getTypeInfo() const { return ObjectTypeRegistry::instance()->get(m_type); }

const std::string& OKLObject::getCategory() const { return getTypeInfo().category; }

bool OKLObject::isA(const std::string& kind) const { return kind == m_type || getTypeInfo().hasKind(kind); }

std::vector<OKLObject*> OKLObject::getChildren() const {
    std::vector<OKLObject*> out;
    out.reserve(m_children.size());
    for (const auto& c : m_children) out.push_back(c.get());
    return out;
}

OKLObject* OKLObject::findChild(const std::string& name) const {
    for (const auto& c : m_children)
        if (c->m_name == name) return c.get();
    return nullptr;
}

OKLObject* OKLObject::addChild(std::unique_ptr<OKLObject> child) {
    if (!child) throw internal::nullPointer(kClass, "addChild", _("Null pointer to %s.", "OKLObject"));
    if (child->m_parent || child->m_inDatabase)
        throw internal::badParam(kClass, "addChild", _("Object '%s' already has an owner.", child->getPath()));
    if (findChild(child->m_name))
        throw data::duplicate(kClass, "addChild",
                              _("Object '%s' already has a child named '%s'.", getPath(), child->m_name));
    child->m_parent = this;
    child->m_attachStamp = nextAttachStamp();
    m_children.push_back(std::move(child));
    OKLObject* added = m_children.back().get();
    if (m_nameSlot != kNotIndexed) {
        // A child of an object in the database is in the database: its names go into the
        // index. Should that fail (memory), the child goes as if never added.
        try {
            ObjectDB::instance()->indexTree(*added);
        } catch (...) {
            m_children.pop_back();
            throw;
        }
    }
    return added;
}

std::unique_ptr<OKLObject> OKLObject::releaseChild(const OKLObject* child) {
    for (auto it = m_children.begin(); it != m_children.end(); ++it) {
        if (it->get() == child) {
            if ((*it)->m_nameSlot != kNotIndexed) ObjectDB::instance()->unindexTree(**it);
            std::unique_ptr<OKLObject> out = std::move(*it);
            m_children.erase(it);
            out->m_parent = nullptr;
            return out;
        }
    }
    return nullptr;
}

const std::string* OKLObject::findSetValue(const std::string& name) const {
    for (const auto& [n, v] : m_params)
        if (n == name) return &v;
    return nullptr;
}

bool OKLObject::hasParam(const std::string& name) const { return findSetValue(name) || getTypeInfo().findParam(name); }

bool OKLObject::isParamSet(const std::string& name) const { return findSetValue(name) != nullptr; }

std::string OKLObject::getValue(const std::string& name) const {
    if (const std::string* v = findSetValue(name)) return *v;
    if (const ParamDefinition* def = getTypeInfo().findParam(name)) return def->getDefault();
    throw data::notFound(kClass, "getValue", _("Parameter '%s' does not exist in object '%s'.", name, getPath()));
}

bool OKLObject::getBoolValue(const std::string& name) const {
    const std::string value = getValue(name);
    if (StringUtilities::isTrue(value)) return true;
    const std::string t = StringUtilities::trim(value);
    for (const char* word : {"false", "f", "no", "n", "off", "0"})
        if (StringUtilities::equalsIgnoreCase(t, word)) return false;
    throw data::invalid(kClass, "getBoolValue",
                        _("Parameter '%s' of object '%s' is not a logical value: '%s'.", name, getPath(), value));
}

int OKLObject::getIntValue(const std::string& name) const {
    const std::string value = getValue(name);
    const std::string trimmed = StringUtilities::trim(value);
    std::string_view t = trimmed;
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    int out = 0;
    const auto res = std::from_chars(t.data(), t.data() + t.size(), out);
    if (t.empty() || res.ec != std::errc() || res.ptr != t.data() + t.size())
        throw data::invalid(kClass, "getIntValue",
                            _("Parameter '%s' of object '%s' is not a whole number: '%s'.", name, getPath(), value));
    return out;
}

std::vector<float> OKLObject::getFloatArray(const std::string& name, const std::string& units) const {
    const std::string value = getValue(name);
    ParsedNumbers parsed;
    if (!parseNumbers(value, parsed))
        throw data::invalid(kClass, "getFloatArray",
                            _("Parameter '%s' of object '%s' is not a list of numbers: '%s'.", name, getPath(), value));
    std::vector<float> out;
    out.reserve(parsed.values.size());
    const bool convert = !units.empty() && !parsed.units.empty() && parsed.units != units;
    for (double v : parsed.values) {
        if (convert) {
            double converted = 0.0;
            try {
                UnitsConverter::instance()->convertUnits(parsed.units, units, v, converted);
            } catch (const Error& e) {
                throw data::invalid(kClass, "getFloatArray",
                                    _("Parameter '%s' of object '%s' cannot be read in '%s': %s", name, getPath(),
                                      units, e.getMessage()));
            }
            v = converted;
        }
        out.push_back(toFloat(v));
    }
    return out;
}

float OKLObject::getFloatValue(const std::string& name, const std::string& units) const {
    const std::vector<float> values = getFloatArray(name, units);
    if (values.size() != 1)
        throw data::invalid(
            kClass, "getFloatValue",
            _("Parameter '%s' of object '%s' is not a single number: '%s'.", name, getPath(), getValue(name)));
    return values.front();
}

Quantity OKLObject::getQuantityValue(const std::string& name) const {
    const std::string value = getValue(name);
    ParsedNumbers parsed;
    if (!parseNumbers(value, parsed) || parsed.values.size() != 1)
        throw data::invalid(kClass, "getQuantityValue",
                            _("Parameter '%s' of object '%s' is not a quantity: '%s'.", name, getPath(), value));
    return Quantity(toFloat(parsed.values.front()), parsed.units);
}

void OKLObject::setParameter(const std::string& name, const std::string& value) {
    if (!isTrimmed(name) || hasReservedChar(name, false))
        throw internal::badParam(kClass, "setParameter",
                                 _("Invalid parameter name '%s' for object '%s'.", name, getPath()));
    for (auto& [n, v] : m_params) {
        if (n == name) {
            v = value;
            return;
        }
    }
    m_params.emplace_back(name, value);
}

bool OKLObject::unsetParameter(const std::string& name) {
    auto it = std::find_if(m_params.begin(), m_params.end(), [&](const auto& p) { return p.first == name; });
    if (it == m_params.end()) return false;
    m_params.erase(it);
    return true;
}

void OKLObject::clearParameters() { m_params.clear(); }

void OKLObject::finishParameters() {
    if (m_nameSlot != kNotIndexed) // in the database tree
        ObjectDB::instance()->objectChanged(*this);
}

std::vector<std::pair<std::string, std::string>> OKLObject::getParameters(int filter) const {
    std::vector<std::pair<std::string, std::string>> out;
    if (filter & StateSetParams) out = m_params;
    if (filter & StateDefaultParams)
        for (const auto& def : getTypeInfo().params)
            if (!findSetValue(def.getName())) out.emplace_back(def.getName(), def.getDefault());
    return out;
}

namespace {

void writeBlock(const OKLObject& object, int filter, OKLBuilder& builder) {
    builder.push(object.getType(), object.getName());
    for (const auto& [name, value] : object.getParameters(filter)) builder.addParam(name, value);
    if (filter & OKLObject::StateChildren)
        for (const OKLObject* child : object.getChildren()) writeBlock(*child, filter, builder);
    builder.pop();
}

} // namespace

std::string OKLObject::getState(int filter) const {
    if (filter & StateNoHeader) {
        std::string out;
        for (const auto& [name, value] : getParameters(filter)) out += name + " = " + value + "\n";
        return out;
    }
    OKLBuilder builder;
    std::vector<const OKLObject*> ancestors;
    for (const OKLObject* o = m_parent; o; o = o->m_parent) ancestors.push_back(o);
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) builder.push((*it)->getType(), (*it)->getName());
    writeBlock(*this, filter, builder);
    builder.popAll();
    return builder.getOKL();
}

std::vector<std::string> OKLObject::getDomainNameList() const {
    if (!hasParam("Domain List")) return {};
    const std::string value = getValue("Domain List");
    if (StringUtilities::equalsIgnoreCase(StringUtilities::trim(value), "All Domains"))
        return ObjectDB::instance()->getNamesByType("DOMAIN");
    std::vector<std::string> names;
    for (std::string& item : ParamDefinition::splitValue(value))
        if (!item.empty()) names.push_back(std::move(item));
    return names;
}

} // namespace zel
