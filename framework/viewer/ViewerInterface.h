#pragma once
// The viewer stand-in: it records what objects draw and delete, answers questions about
// the view (the projected area of what is shown), keeps the default legend, and writes what
// is drawn as VTK PolyData files that ParaView opens.
//
// Entries are keyed by (object path, geometry name); the geometry name is a domain name,
// or empty for the geometry of the whole object. draw() copies the geometry's mesh and
// variables into its entry, so the entry stays valid when the object later frees or
// rebuilds its geometry (a rebuilt geometry is shown once it is drawn again).
//
// No viewer window exists: there is nothing to render, and every entry is shown in every
// viewport. Viewports are numbered from 1; each has its own view direction (the direction
// the camera looks along), by default -Z (looking down onto the XY plane).
#include "framework/geometry/Containers.h"
#include "framework/viewer/GraphicObject.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zel {

class Geometry;

// One per-vertex array of a drawn geometry: #V by components values, vertex-major.
struct ViewerPointArray {
    std::string name;
    int components = 1; // 1 or 3
    std::vector<float> values;
};

// What the viewer keeps of one drawing.
struct DrawnItem {
    std::string path;
    std::string geometryName;
    GraphicObject graphic;                    // the settings, without borrowed geometry and variable
    std::string colourMapName;                // empty when none was set
    std::vector<TripletF> points;             // #V vertices
    std::vector<int> lines;                   // #L by 2 vertex indices
    std::vector<int> polygonOffsets;          // #P + 1 offsets into polygonNodes
    std::vector<int> polygonNodes;            // the faces' vertex indices, face after face
    std::vector<TripletD> polygonAreaVectors; // #P area vectors (right-hand rule), length²
    std::vector<ViewerPointArray> pointData;  // the geometry's variables at the vertices
    int drawCount = 0;                        // how often (path, geometry name) was drawn

    std::size_t getNumPoints() const { return points.size(); }
    std::size_t getNumLines() const { return lines.size() / 2; }
    std::size_t getNumPolygons() const { return polygonOffsets.empty() ? 0 : polygonOffsets.size() - 1; }
    const ViewerPointArray* findPointArray(const std::string& name) const;
};

// The legend the viewer shows by default: the variable and range of the object that last
// asked for it.
struct LegendInfo {
    std::string path;
    std::string variable;
    float min = 0.0f;
    float max = 1.0f;
    std::string colourMap;
    std::string colourScale;
};

struct ViewerEvent {
    enum Kind { Draw, Delete };
    Kind kind = Draw;
    std::string path;
    std::string geometryName;
    std::size_t removed = 0; // Delete: entries removed
};

class ViewerInterface {
public:
    // The geometry name that deleteFromViewer reads as "every geometry of the path".
    static constexpr const char* AllGeometries = "__ALL DOMAINS__";

    // The single viewer, created on first use, alive until the process ends.
    static ViewerInterface* instance();

    // Records (path, geometryName) as drawn with the geometry and settings given, replacing
    // an earlier drawing of that key. The geometry's mesh (vertices, lines, face sets) and
    // the values of its variables (those it holds with one value per vertex; a vector's
    // three components) are copied; so is the graphic object's colour variable when the
    // geometry does not hold it. internal::badParam for an empty path.
    void draw(const std::string& path, const std::string& geometryName, const Geometry& geometry,
              const GraphicObject& graphic);

    // Removes the entry (path, geometryName); with geometryName AllGeometries every entry of
    // the path. (The empty geometry name is an ordinary name: the whole-object geometry.)
    // index: the viewport to remove it from, -1 for all; as every entry is shown in every
    // viewport, any index removes the entry. withChildren: also remove the entries of the
    // objects below the path ("/PLANE:P/..."). Returns the number of entries removed;
    // removing what is not drawn is no error.
    std::size_t deleteFromViewer(const std::string& path, const std::string& geometryName, int index = -1,
                                 bool withChildren = false);

    bool isDrawn(const std::string& path, const std::string& geometryName) const;
    // The entry, or null. Valid until the entry is drawn again or removed.
    const DrawnItem* getItem(const std::string& path, const std::string& geometryName) const;
    // Every entry, ordered by path and then geometry name.
    std::vector<const DrawnItem*> getItems() const;
    std::size_t getNumItems() const { return m_items.size(); }
    // The geometry names drawn for a path, in name order.
    std::vector<std::string> getGeometryNames(const std::string& path) const;

    // Every draw and delete since the last clearHistory, in call order.
    const std::vector<ViewerEvent>& getHistory() const { return m_history; }
    void clearHistory() { m_history.clear(); }
    // Removes every entry, the history, the legend and the view directions.
    void clear();

    // The direction the camera of a viewport looks along (normalised here).
    // data::invalid for a zero or undefined direction, or a viewport below 1.
    void setViewDirection(const TripletF& direction, int viewport = 1);
    TripletF getViewDirection(int viewport = 1) const;

    // The area that the faces of the visible entries (shown, with faces drawn) cover on a
    // plane normal to the viewport's view direction: the sum over faces of |A·d|, with A a
    // face's area vector and d the unit view direction, in length units squared. Faces that
    // hide each other are all counted: this is the area of the faces seen through, not of
    // their silhouette (a closed surface counts twice). data::invalid for a viewport below 1.
    float getProjectedArea(int viewport = 1) const;

    void setDefaultLegend(const LegendInfo& legend);
    // The default legend, or null when none is set.
    const LegendInfo* getDefaultLegend() const { return m_hasLegend ? &m_legend : nullptr; }
    void clearDefaultLegend() { m_hasLegend = false; }

    // Writes every entry as a legacy ASCII VTK PolyData file (.vtk) into `folder`, created
    // when missing: the vertices, the lines (LINES), the faces (POLYGONS), a VERTICES cell
    // per vertex for an entry with neither (points), and every per-vertex array as point
    // data (SCALARS or VECTORS; undefined values are written as 3.4028235e+38). File names
    // come from the path and the geometry name, with characters other than letters, digits,
    // '-', '_' and '.' replaced by '_'. Returns the files written, in entry order.
    // data::error naming the file when one cannot be written.
    std::vector<std::string> writeVTK(const std::string& folder) const;
    // Writes one entry to `file` (as above).
    static void writeVTK(const DrawnItem& item, const std::string& file);
    // The same entries as VTK XML PolyData files (.vtp, ASCII, the same names with .vtp),
    // which a parallel file (.pvtp) can list as its pieces.
    std::vector<std::string> writeVTP(const std::string& folder) const;
    static void writeVTP(const DrawnItem& item, const std::string& file);

    ViewerInterface(const ViewerInterface&) = delete;
    ViewerInterface& operator=(const ViewerInterface&) = delete;

private:
    ViewerInterface() = default;
    std::vector<std::string> writeEntries(const std::string& folder, const char* extension, bool xml) const;
    static ViewerInterface* m_instance;

    std::map<std::pair<std::string, std::string>, DrawnItem> m_items;
    std::vector<ViewerEvent> m_history;
    std::map<int, TripletF> m_viewDirections;
    LegendInfo m_legend;
    bool m_hasLegend = false;
};

} // namespace zel
