#include "host/LoadExport.h"

#include "feloads/KVO2NorvaUtilities.h"
#include "feloads/NorvaGeometryReader.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/core/Undefined.h"
#include "framework/geometry/Geometry.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitsConverter.h"
#include "framework/viewer/ViewerInterface.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

namespace zel::host {
namespace {

const char* const kClass = "LoadExport";

struct ExportVariable {
    const char* shortName;
    const char* units; // the SI unit of its values
    bool loadVariable; // named "<short name> on <surface>"
    bool heat;         // a heat transfer variable
};
constexpr ExportVariable kVariables[] = {
    {"Force", "N", true, false},
    {"Stress", "Pa", true, false},
    {"Normal Stress", "Pa", true, false},
    {"Shear Stress", "Pa", true, false},
    {"Wall Heat Transfer Coefficient", "W m^-2 K^-1", true, true},
    {"Wall Adjacent Temperature", "K", true, true},
    {"Heat Flux", "W m^-2", true, true},
    {"Temperature", "K", false, false},
};

const ExportVariable* findVariable(const std::string& name) {
    for (const ExportVariable& v : kVariables)
        if (name == v.shortName) return &v;
    return nullptr;
}

// One exported variable's values at the surface's vertices.
struct Column {
    const ExportVariable* variable;
    std::string name;
    int components = 1;
    std::vector<float> values; // #V by components
};

std::string value(float v) {
    if (isUndefined(v)) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(v));
    return text;
}

// Writes `text` to `file` through a file beside it, so that a failed write leaves no file.
void writeWhole(const std::filesystem::path& file, const std::string& text) {
    const std::filesystem::path scratch = file.string() + ".tmp";
    {
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(scratch, ignored);
            throw data::error(kClass, "exportLoads", _("Cannot write '%s'.", file.string()), ErrError);
        }
    }
    std::error_code ec;
    std::filesystem::rename(scratch, file, ec);
    if (ec) throw data::error(kClass, "exportLoads", _("Cannot write '%s': %s", file.string(), ec.message()), ErrError);
}

} // namespace

std::vector<std::string> exportLoads(const LoadExportRequest& request) {
    const char* const operation = "exportLoads";
    auto* surface = dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(request.surface));
    if (surface == nullptr || surface->getType() != "USER SURFACE" || surface->getValue("Option") != "NORVA")
        throw data::invalid(kClass, operation,
                            _("'%s' is no load surface (a USER SURFACE with Option = NORVA).", request.surface),
                            ErrError);
    auto* geometry = dynamic_cast<ExternalGeometry*>(surface->getGeometry(""));
    auto* reader = geometry != nullptr ? dynamic_cast<NorvaGeometryReader*>(geometry->getFileReader()) : nullptr;
    if (reader == nullptr)
        throw data::invalid(kClass, operation,
                            _("Load surface '%s' has not been read from its load file.", request.surface), ErrError);
    const std::string boundary = surface->getValue("Associated Boundary");
    if (!surface->getBoolValue("Associated Boundary Specified") ||
        dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(boundary)) == nullptr)
        throw data::invalid(kClass, operation,
                            _("Load surface '%s' has no associated boundary to take its loads from (set "
                              "Associated Boundary Specified = True and Associated Boundary).",
                              request.surface),
                            ErrError);
    const std::string fileExtension = request.file.extension().string();
    if (fileExtension != ".csv")
        throw data::invalid(kClass, operation, _("The load file '%s' must end in .csv.", request.file.string()),
                            ErrError);

    // Every value first: nothing is written when one cannot be made.
    std::vector<std::string> names = request.variables.empty() ? std::vector<std::string>{"Force"} : request.variables;
    std::vector<Column> columns;
    const std::size_t n = std::size_t(geometry->getNumVertices());
    for (const std::string& name : names) {
        const ExportVariable* variable = findVariable(name);
        if (variable == nullptr)
            throw data::invalid(kClass, operation,
                                _("'%s' is no load variable (Force, Stress, Normal Stress, Shear Stress, Wall Heat "
                                  "Transfer Coefficient, Wall Adjacent Temperature, Heat Flux, Temperature).",
                                  name),
                                ErrError);
        if (std::any_of(columns.begin(), columns.end(), [&](const Column& c) { return c.variable == variable; }))
            continue;
        Column column{variable, variable->loadVariable ? name + " on " + request.surface : name, 1, {}};
        const Variable* v = geometry->getVariable(column.name, false);
        const FloatZELVector* scalars = v != nullptr ? v->getFloatValues(VarTypeVertex) : nullptr;
        const TripletZELVector* vectors = v != nullptr ? v->getTripletValues(VarTypeVertex) : nullptr;
        if (scalars != nullptr && scalars->size() == n) {
            column.values.assign(scalars->begin(), scalars->end());
        } else if (vectors != nullptr && vectors->size() == n) {
            column.components = 3;
            for (const TripletF& t : *vectors) column.values.insert(column.values.end(), {t.x, t.y, t.z});
        } else {
            throw data::invalid(kClass, operation,
                                _("'%s' cannot be computed on load surface '%s' from boundary '%s'.", column.name,
                                  request.surface, boundary),
                                ErrError);
        }
        columns.push_back(std::move(column));
    }

    // The table: node number, coordinates in the file's units, the loads in SI units.
    const std::string units = surface->getValue("File Units");
    double scale = 1.0;
    UnitsConverter::instance()->convertUnits("m", units, 1.0, scale);
    const std::vector<int>& nodes = reader->getNodeNumbers();
    std::ostringstream csv;
    csv << "Node Number, X [" << units << "], Y [" << units << "], Z [" << units << "]";
    for (const Column& c : columns) {
        if (c.components == 1)
            csv << ", " << c.variable->shortName << " [" << c.variable->units << "]";
        else
            for (const char* axis : {" X", " Y", " Z"})
                csv << ", " << c.variable->shortName << axis << " [" << c.variable->units << "]";
    }
    csv << "\n";
    const TripletZELVector& points = geometry->getVertices();
    for (std::size_t i = 0; i < n; ++i) {
        csv << (i < nodes.size() ? nodes[i] : 0);
        for (int k = 0; k < 3; ++k) csv << ", " << value(float(double(points[i][k]) * scale));
        for (const Column& c : columns)
            for (int k = 0; k < c.components; ++k)
                csv << ", " << value(c.values[i * std::size_t(c.components) + std::size_t(k)]);
        csv << "\n";
    }

    // The same surface for ParaView: its faces and the values (undefined ones as the marker).
    DrawnItem item;
    item.path = surface->getPath();
    item.points.assign(points.begin(), points.end());
    item.polygonOffsets.push_back(0);
    for (int s = 0; s < geometry->getNumElementSets(); ++s) {
        const ShapeSet& set = geometry->getElementSet(s);
        if (!set.isFaceSet()) continue;
        for (int e = 0; e < set.size(); ++e) {
            const std::span<const int> face = set.getElement(e);
            item.polygonNodes.insert(item.polygonNodes.end(), face.begin(), face.end());
            item.polygonOffsets.push_back(int(item.polygonNodes.size()));
        }
    }
    item.pointData.push_back({"Node Number", 1, std::vector<float>(nodes.begin(), nodes.end())});
    for (const Column& c : columns) item.pointData.push_back({c.variable->shortName, c.components, c.values});

    std::filesystem::path vtk = request.file;
    vtk.replace_extension(".vtk");
    if (request.write) {
        writeWhole(request.file, csv.str());
        const std::filesystem::path vtkScratch = vtk.string() + ".tmp";
        ViewerInterface::writeVTK(item, vtkScratch.string());
        std::error_code ec;
        std::filesystem::rename(vtkScratch, vtk, ec);
        if (ec) throw data::error(kClass, operation, _("Cannot write '%s': %s", vtk.string(), ec.message()), ErrError);
    }

    // The transfer report of a thermal export.
    const bool heat = std::any_of(columns.begin(), columns.end(), [](const Column& c) { return c.variable->heat; });
    const bool temperature =
        std::any_of(columns.begin(), columns.end(), [](const Column& c) { return c.name == "Temperature"; });
    if (heat)
        KVO2NorvaUtilities::writeExportDiagnostics(surface, KVO2NorvaUtilities::HeatTransferExport, VarTypeVertex);
    else if (temperature)
        KVO2NorvaUtilities::writeExportDiagnostics(surface, KVO2NorvaUtilities::TemperatureExport, VarTypeVertex);
    ErrorProgressReporter::instance()->reportError(
        ErrorMsg(kClass, operation,
                 _("Loads of '%s' (%d nodes) written to %s and %s.", request.surface, int(n), request.file.string(),
                   vtk.string()),
                 ErrNotice));
    return {request.file.string(), vtk.string()};
}

void LoadExportAction::invoke(const std::vector<std::string>& action) {
    if (action.size() < 3)
        throw data::invalid(kClass, "invoke", "Usage: > export SURFACE, FILE.csv[, VARIABLE, ...]", ErrError);
    LoadExportRequest request;
    request.surface = action[1];
    request.file = action[2];
    request.variables.assign(action.begin() + 3, action.end());
    request.write = m_write;
    exportLoads(request);
}

} // namespace zel::host
