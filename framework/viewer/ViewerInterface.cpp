#include "framework/viewer/ViewerInterface.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Variable.h"
#include "framework/viewer/Colour.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

namespace zel {

namespace {

const TripletF DefaultViewDirection(0.0f, 0.0f, -1.0f);

bool isBelow(const std::string& path, const std::string& parent) {
    return path.size() > parent.size() && path.compare(0, parent.size(), parent) == 0 && path[parent.size()] == '/';
}

void copyMesh(const Geometry& geometry, DrawnItem& item) {
    const TripletZELVector& vertices = geometry.getVertices();
    const int numVertices = geometry.getNumVertices();
    item.points.assign(vertices.begin(), vertices.end());

    const IntZELVector& lines = geometry.getLines();
    item.lines.clear();
    item.lines.reserve(lines.size());
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
        const int a = lines[i], b = lines[i + 1];
        if (a < 0 || b < 0 || a >= numVertices || b >= numVertices)
            continue; // unfilled or broken segment: nothing to show
        item.lines.push_back(a);
        item.lines.push_back(b);
    }

    item.polygonOffsets.assign(1, 0);
    item.polygonNodes.clear();
    item.polygonAreaVectors.clear();
    for (int s = 0; s < geometry.getNumElementSets(); ++s) {
        const ShapeSet& set = geometry.getElementSet(s);
        if (!set.isFaceSet()) continue;
        for (int e = 0; e < set.size(); ++e) {
            const auto nodes = set.getElement(e);
            bool valid = nodes.size() >= 3;
            for (int n : nodes) valid = valid && n >= 0 && n < numVertices;
            if (!valid) continue; // a face that was never filled in
            // Newell's area vector: exact for planar polygons, the projected-area-consistent
            // vector of a warped one.
            TripletD area;
            for (std::size_t k = 0; k < nodes.size(); ++k) {
                const TripletD p(vertices[std::size_t(nodes[k])]);
                const TripletD q(vertices[std::size_t(nodes[(k + 1) % nodes.size()])]);
                area += p.cross(q);
            }
            item.polygonAreaVectors.push_back(area * 0.5);
            item.polygonNodes.insert(item.polygonNodes.end(), nodes.begin(), nodes.end());
            item.polygonOffsets.push_back(static_cast<int>(item.polygonNodes.size()));
        }
    }
}

// Appends the per-vertex values of a variable; false when it has none of that size.
bool copyVariable(const Variable& variable, const std::string& name, std::size_t numVertices, DrawnItem& item) {
    ViewerPointArray array;
    array.name = name;
    if (const FloatZELVector* values = variable.getFloatValues(VarTypeVertex)) {
        if (values->size() != numVertices) return false;
        array.components = 1;
        array.values.assign(values->begin(), values->end());
    } else if (const TripletZELVector* vectors = variable.getTripletValues(VarTypeVertex)) {
        if (vectors->size() != numVertices) return false;
        array.components = 3;
        array.values.reserve(3 * numVertices);
        for (const TripletF& v : *vectors) {
            array.values.push_back(v.x);
            array.values.push_back(v.y);
            array.values.push_back(v.z);
        }
    } else {
        return false;
    }
    item.pointData.push_back(std::move(array));
    return true;
}

std::string fileStem(const DrawnItem& item) {
    auto clean = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                              c == '_' || c == '.';
            out.push_back(keep ? c : '_');
        }
        return out;
    };
    std::string path = item.path;
    while (!path.empty() && path.front() == '/') path.erase(path.begin());
    std::string stem = clean(path);
    if (!item.geometryName.empty()) stem += "__" + clean(item.geometryName);
    if (stem.empty() || stem == "." || stem == "..") stem = "entry";
    return stem;
}

// Array names of the legacy format cannot hold blanks; VTK's reader decodes %XX.
std::string encodeName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c <= ' ' || c == '%' || c >= 127) {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", unsigned(c));
            out += buffer;
        } else {
            out.push_back(char(c));
        }
    }
    return out.empty() ? std::string("unnamed") : out;
}

void writeFloat(std::ostream& out, float v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", double(v));
    out << buffer;
}

} // namespace

const ViewerPointArray* DrawnItem::findPointArray(const std::string& name) const {
    for (const auto& a : pointData)
        if (a.name == name) return &a;
    return nullptr;
}

ViewerInterface* ViewerInterface::m_instance = nullptr;

ViewerInterface* ViewerInterface::instance() {
    if (!m_instance) m_instance = new ViewerInterface(); // lives until the process ends
    return m_instance;
}

void ViewerInterface::draw(const std::string& path, const std::string& geometryName, const Geometry& geometry,
                           const GraphicObject& graphic) {
    if (path.empty())
        throw internal::badParam("ViewerInterface", "draw",
                                 _("Cannot draw geometry '%s' without an object path.", geometryName));
    DrawnItem item;
    item.path = path;
    item.geometryName = geometryName;
    item.graphic = graphic.withoutBorrowedData();
    if (const ColourMap* map = graphic.getColourMap()) item.colourMapName = map->getName();
    copyMesh(geometry, item);

    const std::size_t numVertices = item.points.size();
    std::set<std::string> names;
    for (const std::string& name : geometry.getVariableNames()) {
        const Variable* variable = geometry.findVariable(name);
        if (variable && copyVariable(*variable, name, numVertices, item)) names.insert(name);
    }
    if (const Variable* colour = graphic.getColourVariable())
        if (!names.count(colour->getName())) copyVariable(*colour, colour->getName(), numVertices, item);

    const auto key = std::make_pair(path, geometryName);
    auto it = m_items.find(key);
    item.drawCount = it == m_items.end() ? 1 : it->second.drawCount + 1;
    m_items[key] = std::move(item);
    m_history.push_back({ViewerEvent::Draw, path, geometryName, 0});
}

std::size_t ViewerInterface::deleteFromViewer(const std::string& path, const std::string& geometryName, int index,
                                              bool withChildren) {
    (void)index; // every entry is in every viewport (see the header)
    const bool all = geometryName == AllGeometries;
    std::size_t removed = 0;
    for (auto it = m_items.begin(); it != m_items.end();) {
        const auto& [itemPath, itemName] = it->first;
        const bool match =
            (itemPath == path && (all || itemName == geometryName)) || (withChildren && isBelow(itemPath, path));
        if (match) {
            it = m_items.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    m_history.push_back({ViewerEvent::Delete, path, geometryName, removed});
    return removed;
}

bool ViewerInterface::isDrawn(const std::string& path, const std::string& geometryName) const {
    return m_items.count(std::make_pair(path, geometryName)) != 0;
}

const DrawnItem* ViewerInterface::getItem(const std::string& path, const std::string& geometryName) const {
    auto it = m_items.find(std::make_pair(path, geometryName));
    return it == m_items.end() ? nullptr : &it->second;
}

std::vector<const DrawnItem*> ViewerInterface::getItems() const {
    std::vector<const DrawnItem*> items;
    items.reserve(m_items.size());
    for (const auto& [key, item] : m_items) items.push_back(&item);
    return items;
}

std::vector<std::string> ViewerInterface::getGeometryNames(const std::string& path) const {
    std::vector<std::string> names;
    for (auto it = m_items.lower_bound(std::make_pair(path, std::string())); it != m_items.end(); ++it) {
        if (it->first.first != path) break;
        names.push_back(it->first.second);
    }
    return names;
}

void ViewerInterface::clear() {
    m_items.clear();
    m_history.clear();
    m_viewDirections.clear();
    m_hasLegend = false;
}

void ViewerInterface::setViewDirection(const TripletF& direction, int viewport) {
    if (viewport < 1)
        throw data::invalid("ViewerInterface", "setViewDirection", _("There is no viewport %d.", viewport));
    const float length = direction.length();
    if (direction.isUndefined() || !(length > 0.0f) || !std::isfinite(length))
        throw data::invalid("ViewerInterface", "setViewDirection",
                            _("The view direction (%g, %g, %g) has no length.", direction.x, direction.y, direction.z));
    m_viewDirections[viewport] = direction / length;
}

TripletF ViewerInterface::getViewDirection(int viewport) const {
    auto it = m_viewDirections.find(viewport);
    return it == m_viewDirections.end() ? DefaultViewDirection : it->second;
}

float ViewerInterface::getProjectedArea(int viewport) const {
    if (viewport < 1)
        throw data::invalid("ViewerInterface", "getProjectedArea", _("There is no viewport %d.", viewport));
    const TripletD d(getViewDirection(viewport));
    double area = 0.0;
    for (const auto& [key, item] : m_items) {
        if (!item.graphic.isVisible() || !item.graphic.getDrawFaces()) continue;
        for (const TripletD& a : item.polygonAreaVectors) area += std::fabs(a.dot(d));
    }
    return static_cast<float>(area);
}

void ViewerInterface::setDefaultLegend(const LegendInfo& legend) {
    m_legend = legend;
    m_hasLegend = true;
}

std::vector<std::string> ViewerInterface::writeVTK(const std::string& folder) const {
    return writeEntries(folder, ".vtk", false);
}

std::vector<std::string> ViewerInterface::writeVTP(const std::string& folder) const {
    return writeEntries(folder, ".vtp", true);
}

std::vector<std::string> ViewerInterface::writeEntries(const std::string& folder, const char* extension,
                                                       bool xml) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(folder), ec);
    if (ec)
        throw data::error("ViewerInterface", "writeVTK", _("Cannot create the folder '%s': %s.", folder, ec.message()));
    std::vector<std::string> files;
    std::set<std::string> used;
    for (const auto& [key, item] : m_items) {
        const std::string stem = fileStem(item);
        std::string name = stem + extension;
        for (int n = 2; used.count(name); ++n) name = stem + "_" + std::to_string(n) + extension;
        used.insert(name);
        const std::string file = (fs::path(folder) / name).string();
        if (xml)
            writeVTP(item, file);
        else
            writeVTK(item, file);
        files.push_back(file);
    }
    return files;
}

void ViewerInterface::writeVTK(const DrawnItem& item, const std::string& file) {
    std::ofstream out(file, std::ios::out | std::ios::trunc);
    if (!out) throw data::error("ViewerInterface", "writeVTK", _("Cannot open '%s' for writing.", file));

    std::string title = item.path + (item.geometryName.empty() ? "" : " " + item.geometryName);
    for (char& c : title)
        if (c == '\n' || c == '\r') c = ' ';
    if (title.size() > 250) title.resize(250);
    out << "# vtk DataFile Version 3.0\n" << title << "\nASCII\nDATASET POLYDATA\n";

    const std::size_t numPoints = item.points.size();
    out << "POINTS " << numPoints << " float\n";
    for (const TripletF& p : item.points) {
        writeFloat(out, p.x);
        out << ' ';
        writeFloat(out, p.y);
        out << ' ';
        writeFloat(out, p.z);
        out << '\n';
    }

    const std::size_t numLines = item.getNumLines();
    const std::size_t numPolygons = item.getNumPolygons();
    if (numLines == 0 && numPolygons == 0 && numPoints > 0) {
        out << "VERTICES " << numPoints << ' ' << 2 * numPoints << '\n';
        for (std::size_t i = 0; i < numPoints; ++i) out << "1 " << i << '\n';
    }
    if (numLines > 0) {
        out << "LINES " << numLines << ' ' << 3 * numLines << '\n';
        for (std::size_t i = 0; i < numLines; ++i)
            out << "2 " << item.lines[2 * i] << ' ' << item.lines[2 * i + 1] << '\n';
    }
    if (numPolygons > 0) {
        out << "POLYGONS " << numPolygons << ' ' << numPolygons + item.polygonNodes.size() << '\n';
        for (std::size_t f = 0; f < numPolygons; ++f) {
            const int begin = item.polygonOffsets[f], end = item.polygonOffsets[f + 1];
            out << (end - begin);
            for (int k = begin; k < end; ++k) out << ' ' << item.polygonNodes[std::size_t(k)];
            out << '\n';
        }
    }

    if (numPoints > 0 && !item.pointData.empty()) {
        out << "POINT_DATA " << numPoints << '\n';
        for (const ViewerPointArray& array : item.pointData) {
            if (array.components == 3)
                out << "VECTORS " << encodeName(array.name) << " float\n";
            else
                out << "SCALARS " << encodeName(array.name) << " float 1\nLOOKUP_TABLE default\n";
            for (std::size_t i = 0; i < array.values.size(); ++i) {
                writeFloat(out, array.values[i]);
                out << (((i + 1) % std::size_t(array.components)) == 0 ? '\n' : ' ');
            }
        }
    }
    out.flush();
    if (!out) throw data::error("ViewerInterface", "writeVTK", _("Writing '%s' failed.", file));
}

void ViewerInterface::writeVTP(const DrawnItem& item, const std::string& file) {
    std::ofstream out(file, std::ios::out | std::ios::trunc);
    if (!out) throw data::error("ViewerInterface", "writeVTP", _("Cannot open '%s' for writing.", file));
    auto floats = [&](const std::vector<float>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            writeFloat(out, values[i]);
            out << ((i + 1) % 9 == 0 || i + 1 == values.size() ? '\n' : ' ');
        }
    };
    auto ints = [&](auto begin, auto end) {
        std::size_t n = 0;
        for (auto it = begin; it != end; ++it) out << *it << (++n % 16 == 0 ? '\n' : ' ');
        out << '\n';
    };
    const std::size_t numPoints = item.points.size();
    const std::size_t numLines = item.getNumLines();
    const std::size_t numPolygons = item.getNumPolygons();
    const std::size_t numVerts = numLines == 0 && numPolygons == 0 ? numPoints : 0;
    out << "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"1.0\" byte_order=\"LittleEndian\">\n"
        << "<PolyData>\n<Piece NumberOfPoints=\"" << numPoints << "\" NumberOfVerts=\"" << numVerts
        << "\" NumberOfLines=\"" << numLines << "\" NumberOfStrips=\"0\" NumberOfPolys=\"" << numPolygons << "\">\n";
    out << "<PointData>\n";
    for (const ViewerPointArray& array : item.pointData) {
        out << "<DataArray type=\"Float32\" Name=\"" << StringUtilities::escapeXml(array.name)
            << "\" NumberOfComponents=\"" << array.components << "\" format=\"ascii\">\n";
        floats(array.values);
        out << "</DataArray>\n";
    }
    out << "</PointData>\n<CellData>\n</CellData>\n";
    out << "<Points>\n<DataArray type=\"Float32\" NumberOfComponents=\"3\" format=\"ascii\">\n";
    std::vector<float> xyz;
    xyz.reserve(3 * numPoints);
    for (const TripletF& p : item.points) xyz.insert(xyz.end(), {p.x, p.y, p.z});
    floats(xyz);
    out << "</DataArray>\n</Points>\n";
    // Each cell kind as VTK keeps it: connectivity and one end offset per cell.
    auto cells = [&](const char* tag, std::size_t count, const std::vector<std::int64_t>& connectivity,
                     const std::vector<std::int64_t>& offsets) {
        out << "<" << tag << ">\n<DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">\n";
        if (count > 0) ints(connectivity.begin(), connectivity.end());
        out << "</DataArray>\n<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
        if (count > 0) ints(offsets.begin(), offsets.end());
        out << "</DataArray>\n</" << tag << ">\n";
    };
    std::vector<std::int64_t> connectivity, offsets;
    for (std::size_t i = 0; i < numVerts; ++i) {
        connectivity.push_back(std::int64_t(i));
        offsets.push_back(std::int64_t(i + 1));
    }
    cells("Verts", numVerts, connectivity, offsets);
    connectivity.assign(item.lines.begin(), item.lines.end());
    offsets.clear();
    for (std::size_t i = 0; i < numLines; ++i) offsets.push_back(std::int64_t(2 * (i + 1)));
    cells("Lines", numLines, connectivity, offsets);
    cells("Strips", 0, {}, {});
    connectivity.assign(item.polygonNodes.begin(), item.polygonNodes.end());
    offsets.assign(item.polygonOffsets.begin() + (numPolygons > 0 ? 1 : 0), item.polygonOffsets.end());
    cells("Polys", numPolygons, connectivity, offsets);
    out << "</Piece>\n</PolyData>\n</VTKFile>\n";
    out.flush();
    if (!out) throw data::error("ViewerInterface", "writeVTP", _("Writing '%s' failed.", file));
}

} // namespace zel
