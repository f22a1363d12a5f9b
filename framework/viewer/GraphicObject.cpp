#include "framework/viewer/GraphicObject.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Variable.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zel {

void GraphicObject::setColourVariable(const Variable* variable) {
    m_colourVariable = variable;
    m_colourVariableName = variable ? variable->getName() : std::string();
}

void GraphicObject::setColourRange(float min, float max) {
    if (max < min)
        throw data::invalid("GraphicObject", "setColourRange",
                            _("The colour range maximum (%g) is below its minimum (%g).", max, min));
    m_colourMin = min;
    m_colourMax = max;
}

void GraphicObject::setLineWidth(float width) {
    if (!(width >= 0.0f))
        throw data::invalid("GraphicObject", "setLineWidth", _("Line Width (%g) must be non-negative.", width));
    m_lineWidth = width;
}

void GraphicObject::setTransparency(float transparency) {
    if (!(transparency >= 0.0f && transparency <= 1.0f))
        throw data::invalid("GraphicObject", "setTransparency",
                            _("Transparency (%g) must lie between 0 and 1.", transparency));
    m_transparency = transparency;
}

void GraphicObject::setTransparency(const std::string& transparency) {
    const char* begin = transparency.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end == begin || (end && *end != '\0') || errno == ERANGE)
        throw data::invalid("GraphicObject", "setTransparency", _("Transparency '%s' is not a number.", transparency));
    setTransparency(static_cast<float>(value));
}

void GraphicObject::setSymbolSize(float size) {
    if (!(size >= 0.0f))
        throw data::invalid("GraphicObject", "setSymbolSize", _("Symbol Size (%g) must be non-negative.", size));
    m_symbolSize = size;
}

GraphicObject GraphicObject::withoutBorrowedData() const {
    GraphicObject copy(*this);
    copy.m_geometry = nullptr;
    copy.m_colourVariable = nullptr;
    return copy;
}

} // namespace zel
