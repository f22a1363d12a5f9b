#include "host/render/PictureCommands.h"

#include "calculator/FunctionCalculator.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ObjectTypes.h"
#include "framework/units/UnitsConverter.h"
#include "host/render/Picture.h"
#include "host/render/Plot.h"
#include "host/render/Ticks.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <memory>

namespace zel::host::render {
namespace {

constexpr const char* kClass = "Picture";
constexpr int kMinSize = 64, kMaxSize = 8192;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const std::vector<ParamDefinition>& paramsOf(const std::string& type) {
    static const std::vector<ParamDefinition> picture = {{"Location", ""},
                                                         {"Variable", ""},
                                                         {"Component", ""},
                                                         {"File", ""},
                                                         {"Colour Map", "Viridis"},
                                                         {"Min", ""},
                                                         {"Max", ""},
                                                         {"Units", ""},
                                                         {"Title", ""},
                                                         {"Draw Mesh", "False"},
                                                         {"View Direction", "Auto"},
                                                         {"Width", "1600"},
                                                         {"Height", "1200"}};
    static const std::vector<ParamDefinition> plot = {
        {"Location", ""}, {"Expressions", ""}, {"File", ""},      {"X Axis", "Arc Length"},
        {"Title", ""},    {"Markers", "Auto"}, {"Width", "1600"}, {"Height", "1200"}};
    return type == "PICTURE" ? picture : plot;
}

// "Name = value" when the item is an option: a name of words before a lone '='. An
// expression's comparison ("a == b", "a <= b") is none.
std::optional<std::pair<std::string, std::string>> optionOf(const std::string& item) {
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos || eq == 0) return std::nullopt;
    if (eq + 1 < item.size() && item[eq + 1] == '=') return std::nullopt;
    const auto [name, value] = ParamDefinition::splitNameValue(item);
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == ' ';
        }))
        return std::nullopt;
    return std::make_pair(name, value);
}

// The settings of one command: an object of the type (outside the database) holding the
// stored object's parameters, then the command's options. `positional` receives the other
// items; `fromObject` tells whether the first item named a stored object.
std::unique_ptr<OKLObject> settingsOf(const std::string& type, const std::vector<std::string>& action,
                                      std::vector<std::string>& positional, bool& fromObject) {
    auto settings = std::make_unique<OKLObject>(type, "settings");
    std::size_t first = 1;
    fromObject = false;
    if (action.size() > 1 && !optionOf(action[1])) {
        OKLObject* stored = ObjectDB::instance()->getTopObjectByName(action[1]);
        if (stored != nullptr && stored->getType() == type) {
            for (const auto& [name, value] : stored->getParameters(OKLObject::StateSetParams))
                settings->setParameter(name, value);
            first = 2;
            fromObject = true;
        }
    }
    const std::vector<ParamDefinition>& params = paramsOf(type);
    for (std::size_t i = first; i < action.size(); ++i) {
        const auto option = optionOf(action[i]);
        if (!option) {
            positional.push_back(action[i]);
            continue;
        }
        const auto it = std::find_if(params.begin(), params.end(), [&](const ParamDefinition& p) {
            return lower(p.getName()) == lower(option->first);
        });
        if (it == params.end()) {
            std::string known;
            for (const ParamDefinition& p : params) known += (known.empty() ? "" : ", ") + p.getName();
            throw data::invalid(kClass, action[0],
                                _("Unknown option '%s' of > %s; the options are %s.", option->first, action[0], known),
                                ErrError);
        }
        settings->setParameter(it->getName(), option->second);
    }
    return settings;
}

std::string required(const OKLObject& settings, const std::string& name, const std::string& action) {
    const std::string value = settings.getValue(name);
    if (value.empty()) throw data::invalid(kClass, action, _("> %s needs a %s.", action, lower(name)), ErrError);
    return value;
}

int pictureSize(const OKLObject& settings, const std::string& name) {
    const int v = settings.getIntValue(name);
    if (v < kMinSize || v > kMaxSize)
        throw data::invalid(kClass, "size", _("%s must be %d to %d pixels, not %d.", name, kMinSize, kMaxSize, v),
                            ErrError);
    return v;
}

void checkExtension(const std::string& file) {
    const std::string e = lower(std::filesystem::path(file).extension().string());
    if (e != ".png" && e != ".svg")
        throw data::invalid(kClass, "file", _("Picture file '%s' must end in .png or .svg.", file), ErrError);
}

// The location object of that name or path, if it can be drawn.
GeometricOKLObject& findLocation(const std::string& name, const std::string& action) {
    OKLCoreAPI* api = OKLCoreAPI::instance();
    if (!api->hasObject(name)) throw data::notFound(kClass, action, _("Location '%s' does not exist.", name), ErrError);
    OKLObject* object = api->getObjectByPath(api->toValidatedPath(name));
    auto* location = dynamic_cast<GeometricOKLObject*>(object);
    if (location == nullptr || object->getType() == "DOMAIN")
        throw data::invalid(kClass, action,
                            _("'%s' is no location that can be drawn: give a plane, a line, a polyline, a user surface "
                              "or a boundary.",
                              name),
                            ErrError);
    if (object->getType() == "POINT" || object->getType() == "INTERNAL POINT")
        throw data::invalid(kClass, action,
                            _("'%s' is a point: it has nothing to draw (> calculate probe gives its values).", name),
                            ErrError);
    return *location;
}

// A variable on each geometry of a location, as one scalar per vertex.
struct Field {
    std::string name;  // as the legend names it: "Velocity Magnitude"
    std::string units; // base units
    std::map<const Geometry*, std::vector<float>> values;
};

bool isVectorVariable(const std::string& name) {
    const OKLObject* o = ObjectDB::instance()->getObjectByName(name);
    return o != nullptr && (o->getType() == "VECTOR VARIABLE" || o->getType() == "USER VECTOR VARIABLE");
}

Field fieldOn(GeometricOKLObject& location, std::string expression, std::string component, const std::string& action) {
    component = lower(component);
    if (!component.empty() && component != "x" && component != "y" && component != "z" && component != "magnitude")
        throw data::invalid(kClass, action, _("Component '%s' is none of X, Y, Z and Magnitude.", component), ErrError);
    // "Velocity Magnitude" reads as the magnitude of Velocity, as "Velocity X" is its component.
    const std::string suffix = " Magnitude";
    if (component.empty() && expression.size() > suffix.size() &&
        expression.compare(expression.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        ObjectDB::instance()->getObjectByName(expression) == nullptr &&
        isVectorVariable(expression.substr(0, expression.size() - suffix.size()))) {
        expression.resize(expression.size() - suffix.size());
        component = "magnitude";
    }
    Field field;
    field.units = FunctionCalculator::unitsOfExpression(expression);
    field.name = expression;
    bool vector = false;
    for (const std::string& g : location.getGeometryNames()) {
        const Geometry* geometry = location.getGeometry(g);
        Variable* variable = location.getVariable(expression, g);
        if (geometry == nullptr || variable == nullptr) continue;
        const std::size_t n = std::size_t(geometry->getNumVertices());
        std::vector<float> values(n, UNDEFINED_VALUE);
        if (variable->getNumComponents() == 3) {
            vector = true;
            if (component.empty())
                throw data::invalid(kClass, action,
                                    _("'%s' is a vector: colour by one of its components or its magnitude "
                                      "(Component = X, Y, Z or Magnitude, or '%s X', '%s Magnitude').",
                                      expression, expression, expression),
                                    ErrError);
            const TripletZELVector* v = variable->getTripletValues(VarTypeVertex);
            if (v == nullptr || v->size() != n) continue;
            for (std::size_t i = 0; i < n; ++i) {
                const TripletF& t = (*v)[i];
                if (t.isUndefined()) continue;
                values[i] = component == "magnitude" ? std::sqrt(t.lengthSquared()) : t[component[0] - 'x'];
            }
        } else {
            const FloatZELVector* v = variable->getFloatValues(VarTypeVertex);
            if (v == nullptr || v->size() != n) continue;
            std::copy(v->begin(), v->end(), values.begin());
        }
        field.values[geometry] = std::move(values);
    }
    if (!component.empty() && !vector && !field.values.empty())
        throw data::invalid(kClass, action, _("'%s' is a scalar: Component is for vectors.", expression), ErrError);
    if (field.values.empty())
        throw data::notFound(
            kClass, action,
            _("'%s' has no values on '%s' (does the location cross the mesh?).", expression, location.getName()),
            ErrError);
    if (!component.empty())
        field.name += component == "magnitude" ? " Magnitude" : " " + std::string(1, char(std::toupper(component[0])));
    return field;
}

// The units values are shown in: those asked for, else the SI units of the quantity (Pa
// rather than kg m^-1 s^-2). value_shown = (value_SI - offset) / scale.
struct Display {
    std::string units;
    double scale = 1.0, offset = 0.0;
    float shown(float si) const { return isUndefined(si) ? si : float((double(si) - offset) / scale); }
};

Display displayOf(const std::string& base, const std::string& requested) {
    const UnitsConverter& uc = *UnitsConverter::instance();
    Display d;
    d.units = requested;
    if (requested.empty()) {
        if (base.empty()) return d;
        const std::string quantity = uc.getQuantityFromDims(uc.dimsFromUnits(base));
        d.units = quantity.empty() ? base : uc.getDefaultUnitsFromQuant(quantity);
    } else if (!uc.areCompatible(base, requested)) {
        throw data::invalid(kClass, "units", _("Units '%s' do not fit the variable's units '%s'.", requested, base),
                            ErrError);
    }
    const UnitInfo info = uc.parse(d.units);
    d.scale = info.scale;
    d.offset = info.absoluteTemperature ? info.offset : 0.0;
    return d;
}

// An end of the colour range ("Min", "Max") in the shown units; nullopt when not set.
std::optional<double> rangeEnd(const OKLObject& settings, const std::string& name, const Display& display) {
    if (settings.getValue(name).empty()) return std::nullopt;
    const Quantity q = settings.getQuantityValue(name);
    if (q.getUnits().empty() || q.getUnits() == display.units) return q.getValue();
    double out = 0.0;
    UnitsConverter::instance()->convertUnits(q.getUnits(), display.units, double(q.getValue()), out);
    return out;
}

// Whether the location's vertices are sample points worth marking: a sample line, a
// polyline read from a file (a probe rake).
bool hasSamplePoints(const OKLObject& location) {
    if (location.getType() == "LINE") return location.hasParam("Line Type") && location.getValue("Line Type") != "Cut";
    if (location.getType() == "POLYLINE")
        return location.hasParam("Option") && location.getValue("Option") == "From File";
    return false;
}

} // namespace

void PictureCommands::registerObjectTypes() {
    for (const char* type : {"PICTURE", "PLOT"}) {
        ObjectTypeInfo info;
        info.type = type;
        info.params = paramsOf(type);
        ObjectTypeRegistry::instance()->registerType(std::move(info));
    }
}

void PictureCommands::invoke(const std::vector<std::string>& action) {
    if (action.empty()) return;
    if (action[0] == "plot")
        plot(action);
    else
        picture(action);
}

std::optional<std::filesystem::path> PictureCommands::target(const std::string& file) {
    checkExtension(file);
    if (!m_folder) {
        if (m_skipped++ == 0)
            ErrorProgressReporter::instance()->reportError(ErrorMsg(
                kClass, "write",
                _("Pictures are written only into a picture folder (zelpost --pictures DIR): '%s' and the later "
                  "pictures are skipped.",
                  file),
                ErrNotice));
        return std::nullopt;
    }
    const std::filesystem::path path(file);
    return path.is_absolute() ? path : *m_folder / path;
}

void PictureCommands::picture(const std::vector<std::string>& action) {
    const std::string usage = "> picture needs LOCATION, VARIABLE, FILE (or the name of a PICTURE object), then "
                              "options Name = value";
    std::vector<std::string> positional;
    bool fromObject = false;
    const auto s = settingsOf("PICTURE", action, positional, fromObject);
    if (!fromObject && positional.size() == 3) {
        s->setParameter("Location", positional[0]);
        s->setParameter("Variable", positional[1]);
        s->setParameter("File", positional[2]);
    } else if (fromObject && positional.size() == 1) {
        s->setParameter("File", positional[0]);
    } else if (!(fromObject && positional.empty())) {
        throw data::invalid(kClass, "picture", usage + ".", ErrError);
    }
    const std::string locationName = required(*s, "Location", "picture");
    const std::string expression = required(*s, "Variable", "picture");
    const std::string fileName = required(*s, "File", "picture");
    PictureStyle style;
    style.width = pictureSize(*s, "Width");
    style.height = pictureSize(*s, "Height");
    style.colourMap = &ColourMap::byName(s->getValue("Colour Map"));
    style.drawMesh = s->getBoolValue("Draw Mesh");
    style.viewDirection = parseViewDirection(s->getValue("View Direction"));
    GeometricOKLObject& location = findLocation(locationName, "picture");
    const std::optional<std::filesystem::path> file = target(fileName);
    if (!file) return;

    if (location.getNumGeometries() == 0)
        throw data::invalid(
            kClass, "picture",
            _("Location '%s' has nothing to draw: it has no geometry (does it cross the mesh?).", locationName),
            ErrError);
    const Field field = fieldOn(location, expression, s->getValue("Component"), "picture");
    const Display display = displayOf(field.units, s->getValue("Units"));
    Scene scene;
    for (const std::string& g : location.getGeometryNames()) {
        const Geometry* geometry = location.getGeometry(g);
        const auto it = field.values.find(geometry);
        if (it == field.values.end()) continue;
        std::vector<float> shown(it->second.size());
        std::transform(it->second.begin(), it->second.end(), shown.begin(), [&](float v) { return display.shown(v); });
        scene.add(*geometry, shown, style.drawMesh);
    }
    if (style.drawMesh) scene.uniqueEdges();
    scene.samplePoints = hasSamplePoints(location);
    style.min = rangeEnd(*s, "Min", display);
    style.max = rangeEnd(*s, "Max", display);
    style.legendTitle = withUnits(field.name, display.units);
    style.title = s->getValue("Title").empty() ? field.name + " on " + location.getName() : s->getValue("Title");
    if (!scene.hasFaces() && !scene.hasLines())
        throw data::invalid(kClass, "picture",
                            _("Location '%s' has nothing to draw: no faces and no lines.", locationName), ErrError);
    if (scene.hasFaces() && !(scene.areaSums().second > 0.0))
        throw data::invalid(kClass, "picture",
                            _("Location '%s' has no area: there is nothing to colour.", locationName), ErrError);
    PictureResult r = renderPicture(scene, style, *file);
    const std::string summary = _("%s on %s, %d x %d, %s to %s", style.legendTitle, location.getName(), r.width,
                                  r.height, formatValue(r.legendMin), formatValue(r.legendMax));
    m_written.push_back({r.file, summary, std::move(r), std::nullopt});
}

void PictureCommands::plot(const std::vector<std::string>& action) {
    const std::string usage = "> plot needs LINE_OR_POLYLINE, EXPRESSION[, EXPRESSION...], FILE (or the name of a PLOT "
                              "object), then options Name = value";
    std::vector<std::string> positional;
    bool fromObject = false;
    const auto s = settingsOf("PLOT", action, positional, fromObject);
    if (!fromObject && positional.size() >= 3) {
        s->setParameter("Location", positional.front());
        std::string expressions;
        for (std::size_t i = 1; i + 1 < positional.size(); ++i) expressions += (i > 1 ? ", " : "") + positional[i];
        s->setParameter("Expressions", expressions);
        s->setParameter("File", positional.back());
    } else if (fromObject && positional.size() == 1) {
        s->setParameter("File", positional[0]);
    } else if (!(fromObject && positional.empty())) {
        throw data::invalid(kClass, "plot", usage + ".", ErrError);
    }
    const std::string locationName = required(*s, "Location", "plot");
    const std::vector<std::string> expressions = ParamDefinition::splitValue(required(*s, "Expressions", "plot"));
    const std::string fileName = required(*s, "File", "plot");
    PlotStyle style;
    style.width = pictureSize(*s, "Width");
    style.height = pictureSize(*s, "Height");
    const std::string axis = lower(s->getValue("X Axis"));
    if (axis != "arc length" && axis != "x" && axis != "y" && axis != "z")
        throw data::invalid(kClass, "plot", _("X Axis '%s' is none of Arc Length, X, Y and Z.", s->getValue("X Axis")),
                            ErrError);
    GeometricOKLObject& location = findLocation(locationName, "plot");
    if (!location.isA("line"))
        throw data::invalid(kClass, "plot",
                            _("'%s' is no line: > plot draws values along a LINE or a POLYLINE.", locationName),
                            ErrError);
    const std::string markers = lower(s->getValue("Markers"));
    style.markers = markers == "auto" ? hasSamplePoints(location) : s->getBoolValue("Markers");
    const std::optional<std::filesystem::path> file = target(fileName);
    if (!file) return;

    // The path: the line elements of each geometry in order, a piece wherever a segment does
    // not start where the last one ended.
    struct Piece {
        const Geometry* geometry;
        std::vector<int> vertices;
    };
    std::vector<Piece> pieces;
    for (const std::string& g : location.getGeometryNames()) {
        const Geometry* geometry = location.getGeometry(g);
        if (geometry == nullptr) continue;
        const IntZELVector& lines = geometry->getLines();
        if (lines.empty()) {
            Piece all{geometry, {}};
            for (int i = 0; i < geometry->getNumVertices(); ++i) all.vertices.push_back(i);
            if (!all.vertices.empty()) pieces.push_back(std::move(all));
            continue;
        }
        for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
            if (pieces.empty() || pieces.back().geometry != geometry || pieces.back().vertices.back() != lines[i])
                pieces.push_back({geometry, {lines[i]}});
            pieces.back().vertices.push_back(lines[i + 1]);
        }
    }
    if (pieces.empty())
        throw data::invalid(kClass, "plot", _("Line '%s' has no points (does it cross the mesh?).", locationName),
                            ErrError);

    // Positions along the x axis.
    std::vector<std::vector<double>> xs(pieces.size());
    TripletD p1, along;
    const bool straight = location.getType() == "LINE";
    if (straight) {
        const std::vector<float> a = location.getFloatArray("Point 1", "m"), b = location.getFloatArray("Point 2", "m");
        if (a.size() == 3 && b.size() == 3) {
            p1 = TripletD(a[0], a[1], a[2]);
            along = TripletD(b[0], b[1], b[2]) - p1;
        }
    }
    const double alongLength = std::sqrt(along.lengthSquared());
    double s0 = 0.0;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const TripletZELVector& v = pieces[k].geometry->getVertices();
        for (std::size_t i = 0; i < pieces[k].vertices.size(); ++i) {
            const TripletD p(v[std::size_t(pieces[k].vertices[i])]);
            if (axis != "arc length") {
                xs[k].push_back(p[axis[0] - 'x']);
            } else if (straight && alongLength > 0.0) {
                xs[k].push_back((p - p1).dot(along) / alongLength);
            } else {
                if (i > 0) s0 += std::sqrt((p - TripletD(v[std::size_t(pieces[k].vertices[i - 1])])).lengthSquared());
                xs[k].push_back(s0);
            }
        }
    }
    style.xLabel = axis == "arc length" ? "Arc Length [m]" : std::string(1, char(std::toupper(axis[0]))) + " [m]";

    std::vector<PlotCurve> curves;
    std::string names;
    for (const std::string& expression : expressions) {
        const Field field = fieldOn(location, expression, "", "plot");
        const Display display = displayOf(field.units, "");
        PlotCurve curve;
        curve.label = field.name;
        curve.units = display.units;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            const auto it = field.values.find(pieces[k].geometry);
            if (k > 0) {
                curve.x.push_back(std::numeric_limits<double>::quiet_NaN());
                curve.y.push_back(std::numeric_limits<double>::quiet_NaN());
            }
            for (std::size_t i = 0; i < pieces[k].vertices.size(); ++i) {
                const float v =
                    it == field.values.end() ? UNDEFINED_VALUE : it->second[std::size_t(pieces[k].vertices[i])];
                curve.x.push_back(xs[k][i]);
                curve.y.push_back(isUndefined(v) ? std::numeric_limits<double>::quiet_NaN() : double(display.shown(v)));
            }
        }
        names += (names.empty() ? "" : ", ") + curve.label;
        curves.push_back(std::move(curve));
    }
    style.title = s->getValue("Title").empty() ? names + " along " + location.getName() : s->getValue("Title");
    PlotResult r = renderPlot(curves, style, *file);
    const std::string summary = _("%s along %s, %d x %d", names, location.getName(), r.width, r.height);
    m_written.push_back({r.file, summary, std::nullopt, std::move(r)});
}

} // namespace zel::host::render
