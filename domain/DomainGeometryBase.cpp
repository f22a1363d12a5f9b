// The domain geometry: variables through the registry, boundary flags and types, and the
// host's records. Point location is in ExternalInterpolantBuilder.cpp.
#include "domain/DomainGeometryBase.h"

#include "datastorage/DataStorageBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/okl/OKLObject.h"
#include "framework/okl/ObjectDB.h"

#include <algorithm>
#include <cassert>
#include <fstream>
#include <ostream>

namespace zel {

namespace {

const char* const kClass = "DomainGeometryBase";

// The type of a boundary object from its "Boundary Type" and, for an interface, its
// "Interface Type". Framework failures while reading pass on (the caller decides).
DomainGeometryBase::boundaryType typeOfBoundaryObject(const OKLObject& object) {
    using B = DomainGeometryBase;
    static const std::pair<const char*, B::boundaryType> kinds[] = {
        {"OPEN", B::BoundaryOpen},         {"INLET", B::BoundaryInlet},          {"OUTLET", B::BoundaryOutlet},
        {"OPENING", B::BoundaryOpening},   {"OPEN MIXED", B::BoundaryOpenMixed}, {"WALL", B::BoundaryWall},
        {"SYMMETRY", B::BoundarySymmetry}, {"PERIODIC", B::BoundaryPeriodic}};
    static const std::pair<const char*, B::boundaryType> interfaces[] = {
        {"Periodic", B::InterfacePeriodic},       {"Fluid Fluid", B::InterfaceFluidFluid},
        {"Fluid Porous", B::InterfaceFluidFluid}, {"Porous Porous", B::InterfaceFluidFluid},
        {"Fluid Solid", B::InterfaceFluidSolid},  {"Solid Porous", B::InterfaceFluidSolid},
        {"Solid Solid", B::InterfaceSolidSolid}};
    const std::string kind = object.getValue("Boundary Type");
    if (kind == "INTERFACE") {
        const std::string interfaceType = object.getValue("Interface Type");
        for (const auto& [text, type] : interfaces)
            if (interfaceType == text) return type;
        return B::BoundaryUnknown;
    }
    for (const auto& [text, type] : kinds)
        if (kind == text) return type;
    return B::BoundaryUnknown;
}

} // namespace

// ---------------------------------------------------------------- BoundaryFaceMap

void DomainGeometryBase::BoundaryFaceMap::insert(elemFaceIndex face, std::int16_t boundary) {
    if (!m_entries.empty()) {
        const elemFaceIndex& last = m_entries.back().face;
        if (last == face) return; // the first boundary given for a face stays
        if (face < last) m_sorted = false;
    }
    m_entries.push_back(Entry{face, boundary});
}

void DomainGeometryBase::BoundaryFaceMap::normalise() const {
    if (m_sorted) return;
    // Stable, so that among entries of one face the first one entered comes first and stays.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return a.face < b.face; });
    m_entries.erase(std::unique(m_entries.begin(), m_entries.end(),
                                [](const Entry& a, const Entry& b) { return a.face == b.face; }),
                    m_entries.end());
    m_sorted = true;
}

int DomainGeometryBase::BoundaryFaceMap::find(elemFaceIndex face) const {
    normalise();
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), face,
                               [](const Entry& e, const elemFaceIndex& f) { return e.face < f; });
    return it != m_entries.end() && it->face == face ? it->boundary : -1;
}

std::span<const DomainGeometryBase::BoundaryFaceMap::Entry> DomainGeometryBase::BoundaryFaceMap::entries() const {
    normalise();
    return m_entries;
}

// ---------------------------------------------------------------- lifecycle and kind

DomainGeometryBase::DomainGeometryBase() = default;
DomainGeometryBase::~DomainGeometryBase() = default;

Geometry* DomainGeometryBase::newGeometry() const { return new DomainGeometryBase(); }

void DomainGeometryBase::copyKindData(Geometry& copy, bool copyMesh, bool) const {
    if (!copyMesh) return;
    auto& target = static_cast<DomainGeometryBase&>(copy);
    target.m_volumePatches = m_volumePatches;
    target.m_faceFlags = m_faceFlags;
    target.m_boundaries = m_boundaries;
    target.m_boundaryFaces = m_boundaryFaces;
    target.m_faceSets = m_faceSets;
    target.m_faceTotal = m_faceTotal;
    target.m_nodeTotal = m_nodeTotal;
    target.m_untypedIndex = m_untypedIndex;
}

// ---------------------------------------------------------------- variables

Variable* DomainGeometryBase::getVariable(const std::string& name, bool mustExist) {
    if (name == "Volume") return Geometry::getVariable(name, mustExist);
    return DataStorageBase::instance()->getVariable(name, getName());
}

Variable* DomainGeometryBase::makeFundamentalVariable(const std::string& name) {
    return DataStorageBase::instance()->getVariable(name, getName());
}

// ---------------------------------------------------------------- boundaries

const std::vector<std::uint8_t>* DomainGeometryBase::findFlags(const std::string& set) const {
    auto it = m_faceFlags.find(set);
    return it == m_faceFlags.end() ? nullptr : &it->second;
}

const DomainGeometryBase::BoundaryFaceMap* DomainGeometryBase::findFaces(const std::string& set) const {
    auto it = m_boundaryFaces.find(set);
    return it == m_boundaryFaces.end() ? nullptr : &it->second;
}

void DomainGeometryBase::initialiseBoundaryFlags() {
    m_faceFlags.clear();
    m_boundaries.clear();
    m_boundaryFaces.clear();
    m_untypedIndex.clear();
    for (int s = 0; s < getNumElementSets(); ++s) {
        const ShapeSet& set = getElementSet(s);
        m_faceFlags[set.getName()].assign(static_cast<std::size_t>(set.getNumElements()), 0);
        m_boundaryFaces[set.getName()];
    }
}

void DomainGeometryBase::setBoundaryFlag(unsigned elementSet, unsigned element, unsigned face,
                                         const std::string& boundaryName) {
    const char* const op = "setBoundaryFlag";
    const std::string setName = getElementSetName(static_cast<int>(elementSet));
    auto flags = m_faceFlags.find(setName);
    if (flags == m_faceFlags.end())
        throw internal::error(kClass, op, _("No face flags for element set %s.", setName), ErrError);
    auto faces = m_boundaryFaces.find(setName);
    if (faces == m_boundaryFaces.end())
        throw internal::error(kClass, op, _("No boundary map for element set %s.", setName), ErrError);
    if (element >= flags->second.size())
        throw internal::badParam(
            kClass, op,
            _("Element %u does not exist in element set %s (%d elements).", element, setName, flags->second.size()),
            ErrError);
    // A flag byte has room for 8 faces; a cell has as many as its type gives.
    const ShapeSet* set = getFaceSet(setName);
    const std::size_t cellFaces = set != nullptr && set->isVolumeSet() ? cell::faces(set->getShapeType()).size() : 8;
    if (face >= 8 || face >= cellFaces)
        throw internal::badParam(
            kClass, op, _("Face %u of element %u in element set %s does not exist.", face, element, setName), ErrError);

    int index;
    auto known = m_untypedIndex.find(boundaryName);
    if (known != m_untypedIndex.end()) {
        index = known->second;
    } else {
        if (m_boundaries.size() >= static_cast<std::size_t>(kMaxBoundaries))
            throw internal::error(kClass, op,
                                  _("Cannot add boundary '%s' to domain '%s': a domain holds at most %d boundaries.",
                                    boundaryName, getName(), kMaxBoundaries),
                                  ErrError);
        index = static_cast<int>(m_boundaries.size());
        m_boundaries.emplace_back(boundaryName, BoundaryUnknown);
        m_untypedIndex.emplace(boundaryName, static_cast<std::int16_t>(index));
    }
    flags->second[element] = static_cast<std::uint8_t>(flags->second[element] | (1u << face));
    faces->second.insert(elemFaceIndex(static_cast<std::int32_t>(element), static_cast<std::int8_t>(face)),
                         static_cast<std::int16_t>(index));
}

void DomainGeometryBase::addBoundaryTypes() {
    ObjectDB* db = ObjectDB::instance();
    for (auto& [name, type] : m_boundaries) {
        try {
            const OKLObject* object = db->getObjectByName(name);
            type = object != nullptr ? typeOfBoundaryObject(*object) : BoundaryUnknown;
        } catch (const Error&) {
            type = BoundaryUnknown;
        }
    }
    // A boundary that now has a type is a new entry the next time a face names it.
    m_untypedIndex.clear();
    for (std::size_t i = 0; i < m_boundaries.size(); ++i)
        if (m_boundaries[i].second == BoundaryUnknown)
            m_untypedIndex.emplace(m_boundaries[i].first, static_cast<std::int16_t>(i));
}

char DomainGeometryBase::getBoundaryFlags(unsigned elementSet, unsigned element) const {
    const std::vector<std::uint8_t>* flags = findFlags(getElementSetName(static_cast<int>(elementSet)));
    if (flags == nullptr)
        throw internal::error(kClass, "getBoundaryFlags", _("No element set number %d.", elementSet), ErrError);
    if (element >= flags->size())
        throw internal::badParam(kClass, "getBoundaryFlags",
                                 _("Element %u does not exist in element set number %d.", element, elementSet),
                                 ErrError);
    return static_cast<char>((*flags)[element]);
}

std::string DomainGeometryBase::getBoundaryName(unsigned elementSet, unsigned element, unsigned face) const {
    const std::string setName = getElementSetName(static_cast<int>(elementSet));
    const BoundaryFaceMap* faces = findFaces(setName);
    if (faces == nullptr)
        throw internal::error(kClass, "getBoundaryName", _("Cannot find element set named %s.", setName), ErrError);
    if (face >= 8) return std::string();
    const int index = faces->find(elemFaceIndex(static_cast<std::int32_t>(element), static_cast<std::int8_t>(face)));
    return index < 0 ? std::string() : m_boundaries[static_cast<std::size_t>(index)].first;
}

DomainGeometryBase::boundaryType DomainGeometryBase::getBoundaryType(unsigned elementSet, unsigned element,
                                                                     unsigned face) const {
    const std::string setName = getElementSetName(static_cast<int>(elementSet));
    const BoundaryFaceMap* faces = findFaces(setName);
    if (faces == nullptr)
        throw internal::error(kClass, "getBoundaryType", _("Cannot find element set named %s.", setName), ErrError);
    const int index =
        face >= 8 ? -1 : faces->find(elemFaceIndex(static_cast<std::int32_t>(element), static_cast<std::int8_t>(face)));
    if (index < 0) throw internal::error(kClass, "getBoundaryType", "Unable to find boundary type.", ErrError);
    return m_boundaries[static_cast<std::size_t>(index)].second;
}

void DomainGeometryBase::printBoundaryData(std::ostream& out) const {
    out << "BOUNDARY DATA for DomainGeometryBase " << getName() << '\n';
    out << "Boundary Name:" << '\n';
    for (std::size_t i = 0; i < m_boundaries.size(); ++i)
        out << i << ':' << m_boundaries[i].first << ',' << static_cast<int>(m_boundaries[i].second) << '\n';
    std::vector<std::string> sets = getFaceSetNames();
    std::sort(sets.begin(), sets.end());
    char bits[9] = {};
    for (const std::string& set : sets) {
        out << "Element set:" << set << '\n';
        if (const std::vector<std::uint8_t>* flags = findFlags(set)) {
            out << "Flag Data:" << '\n';
            for (std::size_t k = 0; k < flags->size(); ++k) {
                for (int b = 0; b < 8; ++b) bits[b] = ((*flags)[k] >> (7 - b)) & 1u ? '1' : '0';
                out << k << ':' << bits << '\n';
            }
        } else {
            out << "No Flag Data found." << '\n';
        }
        if (const BoundaryFaceMap* faces = findFaces(set)) {
            for (const BoundaryFaceMap::Entry& e : faces->entries())
                out << e.face.element << ',' << static_cast<int>(e.face.face) << ':' << e.boundary << '\n';
        } else {
            out << "No Flag Data found." << '\n';
        }
    }
}

void DomainGeometryBase::printBoundaryData() const {
    const char* const file = "BoundaryData.dat";
    std::ofstream out(file, std::ios::out | std::ios::trunc);
    if (!out)
        throw internal::error(kClass, "printBoundaryData", _("Cannot open file '%s' for writing.", file), ErrError);
    printBoundaryData(out);
    out.flush();
    if (!out) throw internal::error(kClass, "printBoundaryData", _("Cannot write file '%s'.", file), ErrError);
}

// ---------------------------------------------------------------- records

VolumePatch DomainGeometryBase::getVolumePatch(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_volumePatches.size())
        throw internal::badParam(kClass, "getVolumePatch",
                                 _("Volume patch %d does not exist (%d patches).", index, m_volumePatches.size()),
                                 ErrError);
    return m_volumePatches[static_cast<std::size_t>(index)];
}

} // namespace zel
