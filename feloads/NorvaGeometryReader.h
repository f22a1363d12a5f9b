#pragma once
// The reader of a structural solver's surface load file: the surface on which the solver
// wants its loads, read into the geometry of a "USER SURFACE" of "Option" "NORVA". The
// reader then stays with the surface's ExternalGeometry and serves the load variables that
// can be exported back to the solver ("Stress", "Normal Stress", "Shear Stress", "Force",
// "Wall Heat Transfer Coefficient", "Wall Adjacent Temperature", "Heat Flux", each " on "
// and the surface's name), computed from the flow solution on the surface's associated
// boundary and carried onto the surface through its interpolant.
//
// File format: comma-separated commands, then a node block and an element block in fixed
// columns:
//
//     NUMOFF,NODE,      4681                  capacity hint for the node table
//     ET,1,154                                element type 1 is a surface element 154
//     KEYOPT,1,11,0                           key option 11 of type 1 (8 for a 152)
//     NBLOCK,6,SOLID,      4681,      4681    ends the commands
//     (3i9,6e21.13e3)                         the node columns (NorvaDataFormat)
//             1        0        0 2.5000000000000E+001 ...   number, -, -, X, Y, Z
//     N,R5.3,LOC,       -1,                   ends the node block (field 3 must be -1)
//     EBLOCK,19,SOLID,      1536,      1536   (lines up to it are skipped)
//     (19i9)                                  the element columns
//             1        1 ... 0     1001       1       2 ...   field 1 type, 10 number,
//            -1                               11-14 corners, 15-18 mid-side nodes
//
// Commands are matched in any letter case and with blanks around the commas. Only the
// elements of the first valid type ("152" or "154") are read: their corners become faces
// (a quadrilateral with a repeated corner a triangle), their corners and, with mid-side
// nodes on, their mid-side nodes become the surface's vertices, each node once, in the order
// first met; coordinates are converted from the file units to metres. Missing trailing
// fields of a fixed-format line read as 0, as the solver's Fortran reads them.
//
// Raised errors are data::invalid (class "NorvaGeometryReader", errorType 4) and leave the
// file closed; a failed read leaves the vertices and face sets partly filled (the caller
// frees the geometry). Faults in the blocks (a node number given twice, a field that does not
// read as a number, an element naming a node that the node block lacks, a node block without
// its terminator) name the file and the 1-based line.
#include "framework/ZelExport.h"
#include "framework/core/Undefined.h"
#include "framework/geometry/Containers.h"
#include "framework/geometry/FileReaderBase.h"
#include "framework/geometry/Geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zel {

class GeometricOKLObject;
class OKLObject;
class HybridInterpolant;
class Interpolant;
class ShapeSet;
class Variable;
class VectorVariable;

class ZEL_API NorvaGeometryReader : public FileReaderBase {
public:
    // The two bulk heat variables that calculateHTCOrTemp makes.
    enum HTCOrTemp : int { HeatTransferCoefficient = 0, AdjacentTemperature = 1 };

    // `fileUnits`: the unit of the lengths in the file (the surface's "File Units").
    explicit NorvaGeometryReader(const std::string& fileUnits);
    NorvaGeometryReader(const NorvaGeometryReader&) = default;
    NorvaGeometryReader& operator=(const NorvaGeometryReader&) = default;
    ~NorvaGeometryReader() override;

    // A name the geometry computes itself ("Area", "Normal", "X", ...) gives null; any other
    // is a load variable or a variable of the associated boundary (getObjectVariable). Owned
    // by the caller.
    std::unique_ptr<Variable> getVariable(const std::string& name, Interpolant* interpolant) override;
    // Publishes the load variables as SCALAR/VECTOR VARIABLE objects related to the surface,
    // after deleting those left by an earlier load of the same surface.
    void generateOKLObjects() override;
    // Long names of all variable records, in table order.
    std::vector<std::string> getVariableNames() override;
    // (minimum, maximum) of a record, or the undefined value twice.
    std::pair<float, float> getRange(const std::string& name) override;
    void doInitialize() override {}
    // The node numbers of the surface's vertices for the file variable ("Node Number on
    // <surface>"), read again from the file; false for any other name or when the file no
    // longer holds a node block.
    bool getVariableData(const std::string& name, FloatZELVectorConcrete& values) override;
    FileType getFileType() const override { return SurfaceFile; }

    // Reads the file named by getFilename() (see above). `vertices` receives the surface's
    // vertices (appended; #V points in metres); `faceSets[0..3]` are the TRIANGLE, QUAD,
    // PENTAGON and HEXAGON sets (not owned), each resized to the faces it receives (only
    // the first two receive any), every face recording its element number (ShapeSet::setNum).
    // `elementType` receives the patch's element type ("152", "154"), `keyOption` its key
    // option text, or the single character 0xFF when the file gives none.
    void readNorvaFile(TripletZELVector& vertices, ShapeSet* const* faceSets, std::string& elementType,
                       std::string& keyOption, bool useMidSideNodes);

    // Whether a usable record (one read from the file) has that long name.
    bool hasVariable(const std::string& name) const;
    // The record's base units, or empty.
    std::string getVariableUnits(const std::string& name) const;
    float getMinValue(const std::string& name) const;
    float getMaxValue(const std::string& name) const;
    // The file node number of every vertex, in vertex order (empty before a read).
    const std::vector<int>& getNodeNumbers() const;

    // The user surface whose associated boundary the load variables come from; not owned
    // (the object database owns it, and it owns the geometry that keeps this reader).
    void setOKLObject(GeometricOKLObject* object) { m_object = object; }
    GeometricOKLObject* getOKLObject() const { return m_object; }

    // The interpolant that carries values from the surface's "Associated Boundary" onto
    // `vertices` (#V points): each vertex projected onto the boundary's geometries of all
    // its domains, the closest kept; `statistics` gathers how well they fell (over all the
    // domains). Owned by the caller. internal::error when no surface was set;
    // data::invalid when the boundary does not exist or is not a geometric object.
    std::unique_ptr<HybridInterpolant> makeHybridInterpolant(const TripletZELVector& vertices,
                                                             Geometry::ProjectionStatistics& statistics);

    // Where every reader finds an associated boundary by its name: by default the object
    // database's object of that name. A host that holds the case in pieces, one group per
    // process, gives the whole boundary gathered from them instead (the database's object
    // holds only this process's faces); null from the lookup falls back to the database.
    // The objects stay the host's. An empty function restores the default.
    using BoundaryLookup = std::function<GeometricOKLObject*(const std::string& name)>;
    static void setBoundaryLookup(BoundaryLookup lookup);

private:
    struct VariableRecord {
        std::string shortName;
        std::string longName;         // short name, " on ", the surface's name; the lookup key
        std::int32_t fieldIndex = -1; // 0: read from the node block; -1: computed
        std::string units;            // as written
        std::string baseUnits;
        std::string quantity;
        float maximum = UNDEFINED_VALUE;
        float minimum = UNDEFINED_VALUE;
        bool scalar = true;
        bool hasHybridValues = false;
        std::string recipe = "Standard";
        std::vector<std::int32_t> nodeNumbers; // per vertex, in vertex order
    };

    const VariableRecord* findRecord(const std::string& longName) const;
    const VariableRecord* findUsableRecord(const std::string& longName) const;
    void addRecord(VariableRecord record);
    std::string longName(const std::string& shortName) const;
    // The surface object's geometry under the empty name; data::invalid when it has none.
    Geometry& surfaceGeometry(const char* operation) const;
    // The associated boundary object (data::invalid / internal::badParam as getObjectVariable
    // raises them).
    GeometricOKLObject& associatedBoundary(const char* operation) const;
    // The object an associated boundary's name stands for (setBoundaryLookup), or null.
    static OKLObject* findBoundary(const std::string& name);

    // The load variables (see the .cpp for the rules of each).
    std::unique_ptr<Variable> getObjectVariable(const std::string& name, Interpolant* interpolant);
    std::unique_ptr<Variable> calculateNORVAStress(Interpolant* interpolant, const std::string& phase,
                                                   GeometricOKLObject& boundary);
    std::unique_ptr<Variable> calculateStressVariables(const std::string& name, Interpolant* interpolant,
                                                       const std::string& phase, GeometricOKLObject& boundary);
    std::unique_ptr<Variable> calculateForce(const std::string& name, Interpolant* interpolant,
                                             const std::string& phase, GeometricOKLObject& boundary);
    std::unique_ptr<Variable> calculateHTCOrTemp(HTCOrTemp kind, const std::string& name);
    std::unique_ptr<Variable> calculateSupplementedHTCOrTemp(HTCOrTemp kind, const std::string& name);
    std::unique_ptr<Variable> calculateHeatFlux(const std::string& name, GeometricOKLObject& boundary);
    // Writes the "Variable Description" of the heat transfer coefficient and adjacent
    // temperature objects (no-op for other names).
    void writeVariableDescription(const std::string& longName) const;

    // The face a mid-side vertex lies on (set 0 TRIANGLE, 1 QUAD; -1 for a corner vertex):
    // it has no area and no normal of its own in the geometry.
    // Four bytes a vertex: it is kept for every vertex of a deck of millions.
    struct HostFace {
        std::int32_t set : 2 = -1;
        std::int32_t face : 30 = -1;
    };
    static constexpr int kMaxHostFace = (1 << 29) - 1;
    // The unit normal of the face a mid-side vertex lies on; zero for other vertices.
    TripletD midSideNormal(const Geometry& surface, std::size_t vertex) const;

    std::vector<HostFace> m_hostFaces; // per vertex of the last read
    std::vector<VariableRecord> m_records;
    std::unordered_map<std::string, std::size_t> m_index; // long name -> position in m_records
    GeometricOKLObject* m_object = nullptr;
    std::vector<std::string> m_geometryVariables;
    std::string m_fileUnits;
};

} // namespace zel
