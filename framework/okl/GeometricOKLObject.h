#pragma once
// An object of the database that holds geometries: locations (lines, planes, points,
// polylines, user surfaces, isosurfaces), boundaries, domains, contours.
//
// Geometries are kept by name: the empty name for a geometry that spans the whole object,
// a domain name for that domain's piece. The object owns what setGeometry hands it and
// frees it when it is replaced, removed, discarded or when the object is destroyed. A slot
// set with setExternalGeometry is borrowed instead (a domain object shows the registry's
// domain geometry, which the registry owns): the object never frees it, and the owner must
// clear the slot (setExternalGeometry(name, nullptr)) before freeing the geometry.
//
// Geometry order: names in the order they were first attached; a replaced geometry keeps
// its place. acceptVisitor, getVariable(name) and getGeometryNames use this order, which
// for the calc functions is the order of the object's domain list.
//
// Change flags, set when parameters change (setParameter) and read by the render steps:
//   GeometryChanged  the geometry was or must be rebuilt: any parameter that is neither of
//                    the two kinds below, and every change of the geometries;
//   RenderChanged    how it is drawn changed: visibility, line width, transparency, face
//                    and line drawing, lighting, culling, symbols, edge angle;
//   ColourChanged    its colouring changed: "Colour", "Colour Mode", "Colour Variable",
//                    "Colour Map", "Colour Scale", "Range", "Min", "Max".
// The render step redraws the mesh when either of the first two is set; the "render"
// action clears all three (clearChangeFlags).
#include "framework/geometry/Containers.h"
#include "framework/okl/OKLObject.h"

#include <memory>
#include <string>
#include <vector>

namespace zel {

class Geometry;
class GeometryVisitor;
class GraphicObject;
class Variable;

class GeometricOKLObject : public OKLObject {
public:
    enum ChangeFlag : int { GeometryChanged = 0, RenderChanged = 1, ColourChanged = 2 };

    GeometricOKLObject(const std::string& type, const std::string& name);
    ~GeometricOKLObject() override;

    // --- geometries ------------------------------------------------------------------
    // Attaches `geometry` under `name`, taking ownership; a geometry already attached under
    // that name is freed (a borrowed one is only forgotten). Setting the geometry that is
    // already attached under that name changes nothing. internal::nullPointer for a null
    // geometry (which is not freed: there is none); internal::badParam when the geometry is
    // attached under another name (it would be freed twice). Sets GeometryChanged.
    void setGeometry(const std::string& name, std::unique_ptr<Geometry> geometry);
    // Same, from a raw pointer whose ownership passes to the object (also on failure).
    void setGeometry(const std::string& name, Geometry* geometry);
    // Shows a geometry that another owner keeps under `name` (see above); null clears the
    // slot. An owned geometry of that name is freed. Sets GeometryChanged.
    void setExternalGeometry(const std::string& name, Geometry* geometry);
    // The geometry of that name, or null.
    virtual Geometry* getGeometry(const std::string& name) const;
    bool hasGeometry(const std::string& name) const { return getGeometry(name) != nullptr; }
    // Whether the object owns the geometry of that name (false for a borrowed or absent one).
    bool ownsGeometry(const std::string& name) const;
    // The names of the geometries held, in geometry order.
    virtual std::vector<std::string> getGeometryNames() const;
    std::size_t getNumGeometries() const { return getGeometryNames().size(); }
    // Detaches a geometry: the owned one is returned to the caller, a borrowed one is
    // forgotten (null is returned). Null when there is none.
    std::unique_ptr<Geometry> releaseGeometry(const std::string& name);
    // Detaches and frees (or forgets) the geometry of that name; false when there is none.
    bool removeGeometry(const std::string& name);

    // --- operations by role (the calc functions call them; subclasses refine them) ----
    // Before a rebuild ("top"): sets GeometryChanged. Subclasses reset here what they
    // derive from the geometry.
    virtual void prepareForUpdate();
    // Frees every owned geometry and forgets the borrowed ones. Sets GeometryChanged.
    virtual void discardGeometries();
    // The colouring changed ("colour"): with variable colouring, makes the colour variable
    // on every geometry now (so that the range is that of the current geometries); sets
    // ColourChanged. A geometry that cannot provide the variable is reported when drawn.
    virtual void recolour();
    // The variable that colours the object: the value of "Colour Variable", or empty when
    // the object has none.
    virtual std::string getColourVariableName() const;
    // Whether the object is coloured by its colour variable: "Colour Mode" is present and
    // not "Constant", and the colour variable name is not empty.
    virtual bool useVariableColouring() const;
    // The values at the two ends of the colour map, by "Range": "User Specified" reads
    // "Min" and "Max" (data::invalid when Max < Min); "Global" is the range of the colour
    // variable over the object's domains (getDomainList), falling back to the object's own
    // geometries when it has none; "Local" (also without a "Range" parameter) is the range
    // over the object's own geometries. Undefined values are skipped; a vector variable
    // contributes its magnitudes. False (and both set to the undefined value) when no value
    // is found.
    virtual bool getColourRange(float& min, float& max) const;
    // The object's own render: purges it from the viewer, then draws every geometry with
    // the settings of its parameters (buildGraphicObject). On failure every drawing of the
    // object is removed from the viewer and the failure passes on.
    virtual void renderPlane();
    // Symbol settings changed ("symbol"). The base sets RenderChanged.
    virtual void updateSymbols();

    // --- variables -----------------------------------------------------------------------
    // The variable `name` of each geometry (Geometry::getVariable, which interpolates it
    // from the domains when the geometry does not hold it), in geometry order; geometries
    // that cannot provide it are left out, so the list is empty when none can. Failures of
    // the data behind the geometries pass on. The geometries own the variables.
    std::vector<Variable*> getVariable(const std::string& name);
    // The variable `name` on the geometry `geometryName`, or null when either is missing.
    Variable* getVariable(const std::string& name, const std::string& geometryName);

    // --- domains ---------------------------------------------------------------------------
    // getDomainNameList() (inherited) gives the names of the "Domain List" parameter ("All
    // Domains" standing for every "DOMAIN" object in database order).
    // The domain geometries of those names: for each name, the geometry of that name held by
    // the database object of that name (a domain object), else the geometry directory's
    // domain geometry of that name (Geometry::getGeometryInfo). Names with neither are left
    // out. Not owned by the caller.
    std::vector<Geometry*> getDomainList() const;

    // --- visiting and drawing --------------------------------------------------------------
    // Calls visitor.visitGeometry once for every geometry of the object, in geometry order:
    // the per-domain pieces and the whole-object geometry alike (the calc functions attach
    // one or the other, so nothing is counted twice). Failures of the visitor pass on.
    void acceptVisitor(GeometryVisitor& visitor);
    // Draws one geometry in the viewer under (path, geometry name) of the graphic object
    // (its path, or the object's path when empty; its domain as the geometry name). The
    // geometry is the graphic object's, or the object's geometry of that name.
    // internal::nullPointer for a null graphic object; data::notFound when there is no
    // geometry to draw.
    void draw(GraphicObject* graphic);
    // Removes every drawing of the object from the viewer.
    void purgeFromViewer();
    // When the object is coloured by a variable, makes its variable, range and colour map
    // the viewer's default legend; otherwise withdraws a default legend that shows it.
    void updateDefaultLegend();
    // A graphic object for the geometry `name` with the settings of the object's parameters
    // (those it has): path, geometry name, "Colour Map", "Colour Mode", "Colour" (a custom
    // colour of the map), colour variable and range when variable colouring is on, "Line
    // Width", "Colour Scale", "Visibility", "Transparency", "Draw Faces", "Draw Lines",
    // "Line Colour", "Surface Drawing", "Lighting", "Specular Lighting", "Culling Mode";
    // changed when either of the first two change flags is set. internal::nullPointer
    // "Couldn't find variable %s." when variable colouring is on and the geometry cannot
    // provide the colour variable; data::notFound when there is no geometry of that name.
    GraphicObject buildGraphicObject(const std::string& name);

    // --- change flags ----------------------------------------------------------------------
    bool getChangeFlag(ChangeFlag flag) const { return m_changeFlags[flag]; }
    void setChangeFlag(ChangeFlag flag, bool on = true) { m_changeFlags[flag] = on; }
    bool isGeometryChanged() const { return m_changeFlags[GeometryChanged]; }
    bool isRenderChanged() const { return m_changeFlags[RenderChanged]; }
    bool isColourChanged() const { return m_changeFlags[ColourChanged]; }
    void setGeometryChanged(bool on = true) { m_changeFlags[GeometryChanged] = on; }
    void setRenderChanged(bool on = true) { m_changeFlags[RenderChanged] = on; }
    void setColourChanged(bool on = true) { m_changeFlags[ColourChanged] = on; }
    void clearChangeFlags() { m_changeFlags[0] = m_changeFlags[1] = m_changeFlags[2] = false; }
    // The flag a parameter of that name sets (see above); -1 for none (result parameters
    // that calc functions write back, such as "Nearest Node Number").
    static int changeFlagOfParameter(const std::string& name);

    // Stores the parameter and sets the change flag of its kind.
    void setParameter(const std::string& name, const std::string& value) override;

protected:
    // The range of the colour variable over the given geometries (see getColourRange).
    static bool rangeOver(const std::vector<Geometry*>& geometries, const std::string& variable, float& min,
                          float& max);
    // Every geometry of the object, in geometry order (owned and borrowed).
    std::vector<Geometry*> getGeometries() const;

private:
    struct Slot {
        std::string name;
        std::unique_ptr<Geometry> owned;
        Geometry* borrowed = nullptr; // not owned: see setExternalGeometry
        Geometry* get() const { return owned ? owned.get() : borrowed; }
    };
    Slot* findSlot(const std::string& name);
    const Slot* findSlot(const std::string& name) const;

    std::vector<Slot> m_slots;
    bool m_changeFlags[3] = {false, false, false};
};

} // namespace zel
