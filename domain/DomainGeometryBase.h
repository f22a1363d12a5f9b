#pragma once
// The geometry of one domain of the flow solution: a mesh of volume cells (element sets of
// tetrahedra, pyramids, wedges and hexahedra; local faces as in CellTopology.h) that knows
// which faces of its cells lie on which named boundary and what kind of boundary each is.
// Variables are answered by the data registry; the static makeExternalInterpolant operations
// map arbitrary points into the domain meshes.
//
// The host fills the boundary data in this order: initialiseBoundaryFlags(), setBoundaryFlag
// for every boundary face, addBoundaryTypes().
#include "domain/DomainRecords.h"
#include "framework/ZelExport.h"
#include "framework/geometry/Geometry.h"

#include <cstdint>
#include <iosfwd>
#include <map>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zel {

class ExternalInterpolant;

class ZEL_API DomainGeometryBase : public Geometry {
public:
    // Kind of a boundary, from its object's "Boundary Type" (and "Interface Type").
    enum boundaryType : std::int32_t {
        BoundaryUnknown = 0,      // anything else, no object, or the object could not be read
        BoundaryOpen = 1,         // "OPEN"
        BoundaryInlet = 2,        // "INLET"
        BoundaryOutlet = 3,       // "OUTLET"
        BoundaryOpening = 4,      // "OPENING"
        BoundaryOpenMixed = 5,    // "OPEN MIXED"
        BoundaryWall = 6,         // "WALL"
        BoundarySymmetry = 7,     // "SYMMETRY"
        BoundaryPeriodic = 8,     // "PERIODIC"
        InterfacePeriodic = 9,    // "INTERFACE", "Periodic"
        InterfaceFluidFluid = 10, // "INTERFACE", "Fluid Fluid", "Fluid Porous", "Porous Porous"
        InterfaceFluidSolid = 11, // "INTERFACE", "Fluid Solid", "Solid Porous"
        InterfaceSolidSolid = 12  // "INTERFACE", "Solid Solid"
    };

    // Boundary indices are kept in 16 bits: a domain holds at most this many boundaries.
    static constexpr int kMaxBoundaries = 32767;

    DomainGeometryBase();
    ~DomainGeometryBase() override;

    // --- variables: answered by the data registry under this geometry's name
    // "Volume" is the geometry's own vertex volumes; any other name is
    // DataStorageBase::instance()->getVariable(name, getName()).
    Variable* getVariable(const std::string& name, bool mustExist = false) override;
    Variable* makeFundamentalVariable(const std::string& name) override;

    // --- boundaries
    // Forgets all boundary data, then gives every element set (in name order) a zero flag
    // byte per element and an empty boundary-face map.
    void initialiseBoundaryFlags();
    // Records that face `face` of element `element` of element set `elementSet` lies on the
    // boundary `boundaryName` (appended to the boundary list unless an entry of that name with
    // type 0 exists). The first boundary given for a face stays. internal::error when the set
    // has no flag array or boundary-face map, or when a new boundary would exceed
    // kMaxBoundaries; internal::badParam for an element or face out of range.
    void setBoundaryFlag(unsigned elementSet, unsigned element, unsigned face, const std::string& boundaryName);
    // Sets the type of every boundary from its object in the object database.
    void addBoundaryTypes();
    // The flag byte of an element: bit f set when face f lies on a boundary.
    char getBoundaryFlags(unsigned elementSet, unsigned element) const;
    // The boundary entered for the face; empty when the face has none.
    std::string getBoundaryName(unsigned elementSet, unsigned element, unsigned face) const;
    // The type of the boundary entered for the face; internal::error when it has none.
    boundaryType getBoundaryType(unsigned elementSet, unsigned element, unsigned face) const;
    // Writes the boundary data to "BoundaryData.dat" in the current directory.
    void printBoundaryData() const;
    // The same text to a stream.
    void printBoundaryData(std::ostream& out) const;
    // The boundary list: (name, type), a boundary's index being its position.
    const std::vector<std::pair<std::string, boundaryType>>& getBoundaries() const { return m_boundaries; }

    // --- other data kept for the host
    void setVolumePatch(VolumePatch patch) { m_volumePatches.push_back(std::move(patch)); }
    // A copy of patch `index`; internal::badParam when there is none.
    VolumePatch getVolumePatch(int index) const;
    int getNumVolumePatches() const { return static_cast<int>(m_volumePatches.size()); }
    void setDIFaceSetVec(const std::vector<kvodi::DIFaceSet>& faceSets) { m_faceSets = faceSets; }
    const std::vector<kvodi::DIFaceSet>& getDIFaceSetVec() const { return m_faceSets; }
    void setFaceTotal(int total) { m_faceTotal = total; }
    int getFaceTotal() const { return m_faceTotal; }
    void setNodeTotal(int total) { m_nodeTotal = total; }
    int getNodeTotal() const { return m_nodeTotal; }

    // --- point location
    // Locates each point in the cells of `domains` (searched in order: all of them with the
    // containing test first, then all of them with the tolerant nearest-cell test) and
    // returns an interpolant with, per point in order, the index of the domain that holds it
    // (into `domains`, and so into the interpolant's domain names) and the (node, weight)
    // pairs of its cell; -1 and no nodes for a point that no domain holds. `flag` is passed
    // to the point search; `listFlag` plays no part here. Owned by the caller.
    static ExternalInterpolant* makeExternalInterpolant(const TripletZELVector& points,
                                                        const std::vector<DomainGeometryBase*>& domains, bool flag,
                                                        bool listFlag);
    // The domains by name: each must be a geometric object of the database whose geometry of
    // that name is a domain geometry (internal::error "%s is not a domain." otherwise).
    static ExternalInterpolant* makeExternalInterpolant(const TripletZELVector& points,
                                                        const std::vector<std::string>& domainNames, bool flag,
                                                        bool listFlag);
    // Every domain geometry of the geometry directory (given `listFlag`);
    // internal::nullPointer when no directory is set.
    static ExternalInterpolant* makeExternalInterpolant(const TripletZELVector& points, bool flag, bool listFlag);

protected:
    // A new, empty domain geometry, owned by the caller.
    Geometry* newGeometry() const override;
    // A copy of the mesh carries the boundary data and the host's records with it.
    void copyKindData(Geometry& copy, bool copyMesh, bool copyData) const override;

private:
    // The boundary faces of one element set: (element, face) -> boundary index, in key order.
    // Kept as one flat array that is appended to while the host enters faces and sorted once
    // when first read (the first entry of a face wins), instead of a tree node per face.
    class BoundaryFaceMap {
    public:
        struct Entry {
            elemFaceIndex face;
            std::int16_t boundary = -1;
        };
        void insert(elemFaceIndex face, std::int16_t boundary);
        // The boundary index of the face, or -1.
        int find(elemFaceIndex face) const;
        std::span<const Entry> entries() const;

    private:
        void normalise() const;
        // Lazily sorted on reading (the registry is used from one thread only).
        mutable std::vector<Entry> m_entries;
        mutable bool m_sorted = true;
    };

    // The element-set name for a number; the flag array and boundary-face map of a set.
    const std::vector<std::uint8_t>* findFlags(const std::string& set) const;
    const BoundaryFaceMap* findFaces(const std::string& set) const;

    std::vector<VolumePatch> m_volumePatches;
    // Element-set name -> one flag byte per element of the set.
    std::map<std::string, std::vector<std::uint8_t>> m_faceFlags;
    std::vector<std::pair<std::string, boundaryType>> m_boundaries;
    std::map<std::string, BoundaryFaceMap> m_boundaryFaces;
    std::vector<kvodi::DIFaceSet> m_faceSets;
    std::int32_t m_faceTotal = 0;
    std::int32_t m_nodeTotal = 0;
    // Boundary name -> index of its first entry of type 0 (what setBoundaryFlag looks for).
    std::unordered_map<std::string, std::int16_t> m_untypedIndex;
};

} // namespace zel
