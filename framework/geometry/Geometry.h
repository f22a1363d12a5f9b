#pragma once
// Meshes of the geometry library.
//
// A Geometry holds
//   - vertices: TripletZELVector (float), #V points;
//   - line elements: IntZELVector, #L by 2 vertex indices;
//   - an ordered list of element sets (ShapeSet): face sets (triangles, quadrilaterals,
//     pentagons, hexagons, polygons) and, for domain meshes, volume cell sets
//     (tetrahedra, pyramids, wedges, hexahedra; node order and local faces in
//     CellTopology.h). Element set n is the n-th set added (getElementSetName(n));
//   - per-vertex weights computed on demand and cached: areas, area vectors, normals,
//     lengths, volumes;
//   - owned variables, one owned interpolant, a name, a domain and parent domains.
//
// Every vertex weight is the integral of the vertex's shape function over the elements
// around it (∫N_i dA, ∫N_i dL, ∫N_i dV), so Σ w_i f_i is the exact integral of a field that
// is linear on each element. Triangles, planar quadrilaterals, lines and all cells are exact;
// a non-planar quadrilateral's area (a bilinear patch) is integrated by 4x4 Gauss points;
// pentagons, hexagons and polygons are fans of triangles from their vertex centroid, whose
// share goes back to the polygon's vertices in equal parts (exact for linear fields on the
// fan).
//
// Caches are dropped when the mesh changes through the modifying accessors
// (getModifiableVertices, getModifiableLines, setVertices, the editing operations of
// ShapeSet, adding or removing sets). A reference returned by a modifying accessor must not
// be written to after a weight has been read; call it again (or invalidateVertexData()).
#include "framework/geometry/CellTopology.h"
#include "framework/geometry/Containers.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Variable.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace zel {

class FileReaderBase;
class Geometry;
struct ElementWeights;       // GeometrySearch.h
enum class SearchMode : int; // CellLocator.h

// One element set: name, shape type, a fixed node count per element, the flat connectivity
// (#elements by node count, vertex indices into the geometry's vertices) and the element
// numbers (setNum; by default the element's index).
class ShapeSet {
public:
    // nodesPerElement is needed for ShapeType::Polygon only (other types know theirs).
    ShapeSet(std::string name, ShapeType type, int numElements = 0, int nodesPerElement = 0);

    const std::string& getName() const { return m_name; }
    ShapeType getShapeType() const { return m_type; }
    int getNodesPerElement() const { return m_nodes; }
    int size() const { return m_count; }
    int getNumElements() const { return m_count; }
    bool isFaceSet() const { return cell::isFace(m_type); }
    bool isVolumeSet() const { return cell::isVolume(m_type); }

    // Element i's node list (getNodesPerElement() entries).
    std::span<const int> getElement(int i) const {
        return std::span<const int>(m_connectivity).subspan(std::size_t(i) * m_nodes, m_nodes);
    }
    std::span<const int> getConnectivity() const { return m_connectivity; }
    std::span<const int> getNums() const { return m_nums; }
    int getNum(int i) const { return m_nums[std::size_t(i)]; }

    // Editing. Resizing keeps the first elements; new elements have nodes -1 and number
    // equal to their index.
    void resize(int numElements);
    std::span<int> editElement(int i) {
        ++m_version;
        return std::span<int>(m_connectivity).subspan(std::size_t(i) * m_nodes, m_nodes);
    }
    void setElement(int i, std::span<const int> nodes);
    // Appends an element (nodes.size() must equal the node count); returns its index.
    int addElement(std::span<const int> nodes, int number = -1);
    // Room for `numElements` elements without reallocation (the count is unchanged), and the
    // room given back once a set has been filled.
    void reserve(int numElements) {
        m_connectivity.reserve(std::size_t(numElements) * std::size_t(m_nodes));
        m_nums.reserve(std::size_t(numElements));
    }
    void shrinkToFit() {
        m_connectivity.shrink_to_fit();
        m_nums.shrink_to_fit();
    }
    // The whole connectivity, #elements by node count; its size must stay a multiple.
    std::vector<int>& editConnectivity() {
        ++m_version;
        return m_connectivity;
    }
    // Records element i's number (e.g. the element number of the file it was read from).
    void setNum(int i, int number) { m_nums[std::size_t(i)] = number; }

    // Bumped by every editing call; lets the geometry see that its caches are stale.
    std::uint64_t getVersion() const { return m_version; }

private:
    std::string m_name;
    ShapeType m_type;
    int m_nodes;
    int m_count = 0;
    std::vector<int> m_connectivity;
    std::vector<int> m_nums;
    std::uint64_t m_version = 0;
};

// The class-wide geometry directory: lists the domain geometries and provides variables
// globally. The data registry implements it and sets Geometry::s_geometryInfo.
class GeometryInfo {
public:
    virtual ~GeometryInfo() = default;
    // The domain geometries (not owned by the caller). `listFlag` is passed through from
    // the caller; its meaning is the implementer's.
    virtual std::vector<Geometry*> getGeometries(bool listFlag) const = 0;
    // The domain geometry named `domain`, or null. Default: search getGeometries(false).
    virtual Geometry* findGeometry(const std::string& domain) const;
    // The global variable provider: the variable `name` on `geometry`, or null. Default:
    // geometry.getVariable(name, false).
    virtual Variable* getVariable(const std::string& name, Geometry& geometry) const;
    // When `name` is an expression text (not a variable's name), its values at the vertices
    // of the location geometry `geometry`, computed from that geometry's own variables (so
    // that an expression may use what only the location has: "Area", a boundary's "Force"),
    // owned by the caller; null for a variable's name. Default: null.
    virtual std::unique_ptr<Variable> evaluateOn(const std::string& name, Geometry& geometry) const;
};

// A cache that search code keeps on a geometry (spatial indices). The geometry owns it
// and drops it on clone; the owner of the slot compares getMeshVersion() itself.
class GeometryCacheBase {
public:
    virtual ~GeometryCacheBase() = default;
};

class Geometry {
public:
    // Address of one element: set index and element index within the set.
    struct CellRef {
        int set = -1;
        int element = -1;
    };
    // Statistics of a projection onto this geometry (declared by the projection code).
    class ProjectionStatistics;
    enum CacheSlot { CacheLocator = 0, CacheOctree = 1, CacheProjection = 2, CacheOther = 3, CacheSlots = 4 };

    Geometry();
    // The geometry's interpolant, or null (the first virtual operation).
    virtual Interpolant* getInterpolant() const { return m_interpolant.get(); }
    virtual ~Geometry();
    Geometry(const Geometry&) = delete;
    Geometry& operator=(const Geometry&) = delete;

    // --- identity
    const std::string& getName() const { return m_name; }
    void setName(const std::string& name) { m_name = name; }
    const std::string& getDomain() const { return m_domain; }
    void setDomain(const std::string& domain) { m_domain = domain; }
    // Domains this geometry was made from (a location's geometry: the domains it spans).
    const std::vector<std::string>& getParentDomains() const { return m_parentDomains; }
    void setParentDomains(std::vector<std::string> domains) { m_parentDomains = std::move(domains); }
    void addParentDomain(const std::string& domain);
    // Set on every plane geometry.
    bool isPlane() const { return m_plane; }
    void setPlane(bool plane) { m_plane = plane; }

    // --- vertices and lines
    const TripletZELVector& getVertices() const { return m_vertices; }
    TripletZELVector& getModifiableVertices() {
        invalidateVertexData();
        return m_vertices;
    }
    void setVertices(TripletZELVector vertices) {
        m_vertices = std::move(vertices);
        invalidateVertexData();
    }
    int getNumVertices() const { return static_cast<int>(m_vertices.size()); }
    // #L by 2 vertex indices.
    const IntZELVector& getLines() const { return m_lines; }
    IntZELVector& getModifiableLines() {
        invalidateVertexData();
        return m_lines;
    }
    void setLines(IntZELVector lines) {
        m_lines = std::move(lines);
        invalidateVertexData();
    }
    int getNumLines() const { return static_cast<int>(m_lines.size() / 2); }

    // --- element sets (faces and cells)
    // A new set of `numElements` elements (nodes -1), or null when the name exists.
    // nodesPerElement is needed for ShapeType::Polygon only.
    ShapeSet* addFaceSet(const std::string& name, ShapeType type, int numElements = 0, int nodesPerElement = 0);
    ShapeSet* getFaceSet(const std::string& name);
    const ShapeSet* getFaceSet(const std::string& name) const;
    bool removeFaceSet(const std::string& name);
    // Names of all element sets, in set order.
    std::vector<std::string> getFaceSetNames() const;
    int getNumElementSets() const { return static_cast<int>(m_sets.size()); }
    ShapeSet& getElementSet(int index) { return *m_sets[std::size_t(index)]; }
    const ShapeSet& getElementSet(int index) const { return *m_sets[std::size_t(index)]; }
    // Name of element set `number`; empty when there is none.
    std::string getElementSetName(int number) const;
    // Index of the set named `name`, or -1.
    int getElementSetIndex(const std::string& name) const;
    bool hasFaces() const;
    bool hasCells() const;

    // Global element ids: element e of set s has id getElementOffsets()[s] + e. The offsets
    // run over all sets (#sets + 1 entries, the last = getNumElements()).
    std::span<const std::int64_t> getElementOffsets() const;
    std::int64_t getNumElements() const { return getElementOffsets().back(); }
    CellRef getElement(std::int64_t globalId) const;
    // f(globalId, set, elementIndex, nodes) for every volume cell, in id order.
    template <typename F> void forEachCell(F&& f) const {
        const auto offsets = getElementOffsets();
        for (std::size_t s = 0; s < m_sets.size(); ++s) {
            const ShapeSet& set = *m_sets[s];
            if (!set.isVolumeSet()) continue;
            for (int e = 0; e < set.size(); ++e) f(offsets[s] + e, set, e, set.getElement(e));
        }
    }

    // --- per-vertex weights (one entry per vertex; 0 where no element of the kind touches)
    // ∫N_i dA over the faces.
    const FloatZELVector& getVertexAreas() const;
    // ∫_f N_j dA of every face f for each of its nodes j: one entry per face node, the faces
    // of the face sets in set order and their nodes in connectivity order. A face's entries
    // add up to its area; summed per vertex they are getVertexAreas(). For values given per
    // face (a solver's face fluxes): Σ_f q_f ∫_f N_i dA is vertex i's share of ∫q dA.
    std::vector<double> getFaceVertexAreas() const;
    // ∫_f n dA of every face (n by the right-hand rule of its vertex order), faces in the
    // order of getFaceVertexAreas: #faces by 3, face-major. It depends only on the face's
    // boundary polygon, so it is the face area vector S_f a finite-volume solver uses.
    std::vector<double> getFaceAreaVectors() const;
    // ∫_f N_j n dA of every face node, in the order of getFaceVertexAreas: #face nodes by 3.
    // Summed per vertex they are getVertexAreaVectors().
    std::vector<double> getFaceVertexAreaVectors() const;
    // ∫N_i n dA over the faces (n the unit normal by the right-hand rule of each face's
    // vertex order): Σ w_i·axis is the projected area, Σ ρU·w_i the flow through a surface.
    const TripletZELVector& getVertexAreaVectors() const;
    // The area vectors normalised (zero vectors stay zero): area-weighted unit normals,
    // outward on a closed surface whose faces are ordered counter-clockwise seen from outside.
    const TripletZELVector& getVertexNormals() const;
    // ∫N_i dL over the line elements.
    const FloatZELVector& getVertexLengths() const;
    // ∫N_i dV over the volume cells.
    const FloatZELVector& getVertexVolumes() const;
    // The same weights before their rounding to float, for sums over many vertices: a float
    // weight rounds otherwise when a vertex's elements lie in two pieces of a decomposed case,
    // the double parts add up to the whole one's to the last bits.
    std::span<const double> getVertexAreasD() const;
    std::span<const TripletBase<double>> getVertexAreaVectorsD() const;
    std::span<const double> getVertexLengthsD() const;
    std::span<const double> getVertexVolumesD() const;
    // Drops the cached weights (the modifying accessors do this themselves).
    void invalidateVertexData() { ++m_vertexVersion; }
    // Changes whenever the vertices, lines or any element set changed.
    std::uint64_t getMeshVersion() const;

    // Feature lines: replaces the line elements with the free edges of the faces, the edges
    // shared by more than two faces, and the edges whose two faces' normals differ by more
    // than `angleDegrees`.
    void calculateLines(float angleDegrees);

    // --- variables
    // The geometry takes ownership; a variable of the same name is replaced (and freed).
    // Returns the stored variable.
    Variable* addVariable(std::unique_ptr<Variable> variable);
    Variable* addVariable(Variable* variable);
    // A variable held by the geometry, or null.
    Variable* findVariable(const std::string& name) const;
    bool removeVariable(const std::string& name);
    std::vector<std::string> getVariableNames() const;
    // The variable `name`: held; else one the geometry computes ("X", "Y", "Z", "Area",
    // "Normal", "Normal X/Y/Z", "Length", "Volume"); else, for an expression text, evaluated
    // from this geometry's variables (GeometryInfo::evaluateOn); else interpolated from the
    // domains through the interpolant. Made variables are added to the geometry. When absent:
    // null, or with `mustExist` a data::notFound.
    virtual Variable* getVariable(const std::string& name, bool mustExist = false);
    // A variable from the geometry's data source; the plain geometry has none.
    virtual Variable* makeFundamentalVariable(const std::string& name);

    // --- interpolant
    // The geometry takes ownership; the previous one is freed.
    void setInterpolant(std::unique_ptr<Interpolant> interpolant) { m_interpolant = std::move(interpolant); }
    void setInterpolant(Interpolant* interpolant) { m_interpolant.reset(interpolant); }

    // A copy of the same kind. copyMesh: vertices, lines, sets and weights; copyData: the
    // variables and the interpolant. Identity, flags and parent domains are always copied.
    std::unique_ptr<Geometry> clone(bool copyMesh, bool copyData) const;

    // --- search and cutting (declared here, defined with the search code: GeometrySearch.h)
    // The cell that holds `point` and the point's weights on the cell's nodes. Mode 1: a
    // cell that contains it; mode 2: also the nearest cell when it lies just outside. `flag`:
    // try the cell found by the previous call first (points that come in spatial order).
    bool findElement(const TripletF& point, ElementWeights& weights, bool flag, SearchMode mode) const;
    // findElement of many points: weights[i] for points[i] (count 0 and globalId -1 where
    // none is found), the answers of findElement without `flag`. Much faster for points in
    // no spatial order (CellLocator::View::findMany). Returns the number located; `weights`
    // holds at least points.size() entries.
    std::size_t findElements(std::span<const TripletF> points, std::span<ElementWeights> weights,
                             SearchMode mode) const;
    // Fills this line geometry with the crossings of the line through `point` along
    // `direction` with the cells of `domain`, and the segments between them.
    bool intersectLineWithGeometry(const Geometry& domain, const TripletF& point, const TripletF& direction,
                                   std::map<int, double>& hits);
    // The face edges used by one face only, and their vertices.
    void getFreeEdges(std::vector<Edge>& edges, std::set<int>& vertices) const;
    // Keeps the edges that lie on the boundary surfaces (vertices: then theirs).
    void findFreeEdgesOnBoundaries(const std::vector<Geometry*>& boundaries, std::vector<Edge>& edges,
                                   std::set<int>& vertices,
                                   std::vector<std::vector<int>>* verticesPerBoundary = nullptr) const;
    // Each point's closest point on this surface, as weights on its face's vertices.
    void projectOnGeometry(const TripletZELVector& points, HybridInterpolant* interpolant,
                           ProjectionStatistics& statistics);

    // --- caches of the search code
    GeometryCacheBase* getCache(CacheSlot slot) const { return m_caches[slot].get(); }
    void setCache(CacheSlot slot, std::unique_ptr<GeometryCacheBase> cache) const { m_caches[slot] = std::move(cache); }

    // --- the class-wide geometry directory (not owned; the registry that sets it owns it).
    // Code outside the geometry library should use the accessors, which work across
    // shared-library boundaries on every platform.
    static GeometryInfo* s_geometryInfo;
    static GeometryInfo* getGeometryInfo();
    static void setGeometryInfo(GeometryInfo* info);

protected:
    // A new, empty geometry of this kind, owned by the caller (clone uses it).
    virtual Geometry* newGeometry() const;
    // Copies the data a kind adds to Geometry into `copy` (of the same kind).
    virtual void copyKindData(Geometry& copy, bool copyMesh, bool copyData) const;
    // The geometric variables of getVariable; null for other names.
    Variable* makeGeometricVariable(const std::string& name);

private:
    struct WeightCache;
    WeightCache& weights() const;

    std::string m_name;
    std::string m_domain;
    std::vector<std::string> m_parentDomains;
    bool m_plane = false;
    TripletZELVector m_vertices;
    IntZELVector m_lines;
    std::vector<std::unique_ptr<ShapeSet>> m_sets;
    std::vector<std::unique_ptr<Variable>> m_variables;
    std::unique_ptr<Interpolant> m_interpolant;
    std::uint64_t m_vertexVersion = 0;
    std::uint64_t m_setsVersion = 0;
    mutable std::unique_ptr<WeightCache> m_weights;
    mutable std::array<std::unique_ptr<GeometryCacheBase>, CacheSlots> m_caches;
};

// Points with two direction lists, one entry each per vertex (symbol orientation).
class SymbolGeometry : public Geometry {
public:
    TripletZELVector& getDirection1() { return m_direction1; }
    TripletZELVector& getDirection2() { return m_direction2; }
    const TripletZELVector& getDirection1() const { return m_direction1; }
    const TripletZELVector& getDirection2() const { return m_direction2; }

protected:
    Geometry* newGeometry() const override;
    void copyKindData(Geometry& copy, bool copyMesh, bool copyData) const override;

private:
    TripletZELVector m_direction1;
    TripletZELVector m_direction2;
};

// A geometry filled from a file; it keeps the reader, which serves the file's variables.
class ExternalGeometry : public Geometry {
public:
    ExternalGeometry();
    ~ExternalGeometry() override;
    void setFileReader(std::unique_ptr<FileReaderBase> reader);
    // Takes ownership.
    void setFileReader(FileReaderBase* reader);
    FileReaderBase* getFileReader() const { return m_reader.get(); }
    // Held variables first, then the reader's, then the base's.
    Variable* getVariable(const std::string& name, bool mustExist = false) override;

protected:
    Geometry* newGeometry() const override;
    // The reader is not copied: a copy is a plain geometry of the file's mesh.

private:
    std::unique_ptr<FileReaderBase> m_reader;
};

// Contours of a scalar on a surface: per level the isoline segments (#S by 2 vertex
// indices) and the fringe faces, each (vertex count, face index within this geometry's
// face set "<name>:TRIANGLE", ":QUAD", ":PENTAGON" or ":HEXAGON" of that count).
class ContourGeometry : public Geometry {
public:
    struct FringeFace {
        int count = 0;
        int face = -1;
    };
    struct Level {
        float value = 0.0f;
        IntZELVector segments;
        std::vector<FringeFace> fringeFaces;
    };
    int getNumLevels() const { return static_cast<int>(m_levels.size()); }
    std::vector<Level>& getLevels() { return m_levels; }
    const std::vector<Level>& getLevels() const { return m_levels; }
    // Level `index`, counted from 0.
    Level& getLevel(int index) { return m_levels.at(std::size_t(index)); }
    const Level& getLevel(int index) const { return m_levels.at(std::size_t(index)); }
    // The face-set name suffix for a face of `count` vertices ("TRIANGLE" .. "HEXAGON").
    static const char* faceSetSuffix(int count);

protected:
    Geometry* newGeometry() const override;
    void copyKindData(Geometry& copy, bool copyMesh, bool copyData) const override;

private:
    std::vector<Level> m_levels;
};

// Kept for the interface of newGeometry; the stand-in has no geometry algorithms.
class GeometryAlgorithm;

class GeometryAPI {
public:
    static GeometryAPI* instance();
    // A new empty geometry of the kind named "" (or "Geometry"), "SymbolGeometry",
    // "ExternalGeometry" or "ContourGeometry", owned by the caller (hold it in a
    // GeometryAutoPtr). Another name: internal::badParam. `algorithm` is ignored.
    Geometry* newGeometry(const std::string& typeName, const GeometryAlgorithm* algorithm = nullptr);
    void deleteGeometry(Geometry* geometry);

private:
    GeometryAPI() = default;
};

// Owns a geometry under construction until release() hands it on; frees it through
// GeometryAPI::deleteGeometry otherwise.
class GeometryAutoPtr {
public:
    GeometryAutoPtr() = default;
    explicit GeometryAutoPtr(Geometry* geometry) : m_geometry(geometry) {}
    explicit GeometryAutoPtr(std::unique_ptr<Geometry> geometry) : m_geometry(geometry.release()) {}
    ~GeometryAutoPtr() { reset(); }
    GeometryAutoPtr(GeometryAutoPtr&& o) noexcept : m_geometry(o.release()) {}
    GeometryAutoPtr& operator=(GeometryAutoPtr&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    GeometryAutoPtr(const GeometryAutoPtr&) = delete;
    GeometryAutoPtr& operator=(const GeometryAutoPtr&) = delete;

    Geometry* get() const { return m_geometry; }
    Geometry* operator->() const { return m_geometry; }
    Geometry& operator*() const { return *m_geometry; }
    explicit operator bool() const { return m_geometry != nullptr; }
    Geometry* release() {
        Geometry* g = m_geometry;
        m_geometry = nullptr;
        return g;
    }
    void reset(Geometry* geometry = nullptr);

private:
    Geometry* m_geometry = nullptr;
};

} // namespace zel
