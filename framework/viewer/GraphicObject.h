#pragma once
// What to draw and how: the settings that a geometric object hands to the viewer for one of
// its geometries. A graphic object is built, filled with setters and passed to
// ViewerInterface::draw, which copies what it needs; it can then be dropped.
//
// The geometry, the colour variable and the colour map are borrowed: the geometry and the
// variable belong to the object that draws them and need to live only until draw returns;
// the colour map belongs to ColourMapDB.
#include <string>

namespace zel {

class ColourMap;
class Geometry;
class Variable;

class GraphicObject {
public:
    GraphicObject() = default;

    // The object path ("/PLANE:Slice 1") and the geometry name (a domain name, or empty for
    // the geometry of the whole object) under which the viewer records the drawing.
    void setPath(const std::string& path) { m_path = path; }
    const std::string& getPath() const { return m_path; }
    void setDomain(const std::string& geometryName) { m_domain = geometryName; }
    const std::string& getDomain() const { return m_domain; }

    // Borrowed until the viewer has drawn it (see above).
    void setGeometry(const Geometry* geometry) { m_geometry = geometry; }
    const Geometry* getGeometry() const { return m_geometry; }
    // The geometry changed since the last drawing (the viewer rebuilds its copy).
    void setChanged(bool changed) { m_changed = changed; }
    bool isChanged() const { return m_changed; }

    // --- colour
    // Owned by ColourMapDB.
    void setColourMap(ColourMap* map) { m_colourMap = map; }
    ColourMap* getColourMap() const { return m_colourMap; }
    // "Constant", "Variable", "Use Plot Variable", ... (the object's "Colour Mode").
    void setColourMode(const std::string& mode) { m_colourMode = mode; }
    const std::string& getColourMode() const { return m_colourMode; }
    // A colour value of the colour map (ColourMap::addCustomColour).
    void setConstantColour(float colourValue) { m_constantColour = colourValue; }
    float getConstantColour() const { return m_constantColour; }
    // The variable that colours the geometry (borrowed, see above); its name is kept.
    void setColourVariable(const Variable* variable);
    const Variable* getColourVariable() const { return m_colourVariable; }
    const std::string& getColourVariableName() const { return m_colourVariableName; }
    // Whether the geometry is coloured by its colour variable rather than by the constant
    // colour.
    void setVariableColouring(bool on) { m_variableColouring = on; }
    bool getVariableColouring() const { return m_variableColouring; }
    // The values mapped to the two ends of the colour map. data::invalid when max < min
    // (equal ends are allowed: every value then takes the first colour).
    void setColourRange(float min, float max);
    float getColourMin() const { return m_colourMin; }
    float getColourMax() const { return m_colourMax; }
    // "Linear", "Logarithmic", ... (the object's "Colour Scale"), kept as given.
    void setColourScale(const std::string& scale) { m_colourScale = scale; }
    const std::string& getColourScale() const { return m_colourScale; }

    // --- rendering
    // data::invalid for a negative width.
    void setLineWidth(float width);
    float getLineWidth() const { return m_lineWidth; }
    void setVisible(bool visible) { m_visible = visible; }
    void setVisibility(bool visible) { m_visible = visible; }
    bool isVisible() const { return m_visible; }
    void setDrawFaces(bool on) { m_drawFaces = on; }
    bool getDrawFaces() const { return m_drawFaces; }
    void setDrawLines(bool on) { m_drawLines = on; }
    bool getDrawLines() const { return m_drawLines; }
    // A colour value of the colour map for the lines.
    void setLineColour(float colourValue) { m_lineColour = colourValue; }
    float getLineColour() const { return m_lineColour; }
    // "Smooth Shading", "Flat Shading", ... kept as given.
    void setSurfaceDrawing(const std::string& mode) { m_surfaceDrawing = mode; }
    const std::string& getSurfaceDrawing() const { return m_surfaceDrawing; }
    void setLighting(bool on) { m_lighting = on; }
    bool getLighting() const { return m_lighting; }
    void setSpecularLighting(bool on) { m_specularLighting = on; }
    bool getSpecularLighting() const { return m_specularLighting; }
    // "No Culling", "Front Faces", "Back Faces", kept as given.
    void setCullingMode(const std::string& mode) { m_cullingMode = mode; }
    const std::string& getCullingMode() const { return m_cullingMode; }
    // 0 opaque .. 1 fully transparent; data::invalid outside [0, 1]. The text form reads
    // one number (as objects store it) and raises data::invalid for anything else.
    void setTransparency(float transparency);
    void setTransparency(const std::string& transparency);
    float getTransparency() const { return m_transparency; }

    // --- symbols (point objects)
    void setSymbol(const std::string& symbol) { m_symbol = symbol; }
    const std::string& getSymbol() const { return m_symbol; }
    // data::invalid for a negative size.
    void setSymbolSize(float size);
    float getSymbolSize() const { return m_symbolSize; }

    // The settings without the borrowed geometry and variable (what the viewer keeps).
    GraphicObject withoutBorrowedData() const;

private:
    std::string m_path;
    std::string m_domain;
    const Geometry* m_geometry = nullptr; // borrowed, see above
    bool m_changed = false;
    ColourMap* m_colourMap = nullptr; // owned by ColourMapDB
    std::string m_colourMode = "Constant";
    float m_constantColour = 0.0f;
    const Variable* m_colourVariable = nullptr; // borrowed, see above
    std::string m_colourVariableName;
    bool m_variableColouring = false;
    float m_colourMin = 0.0f;
    float m_colourMax = 1.0f;
    std::string m_colourScale = "Linear";
    float m_lineWidth = 1.0f;
    bool m_visible = true;
    bool m_drawFaces = true;
    bool m_drawLines = false;
    float m_lineColour = 0.0f;
    std::string m_surfaceDrawing = "Smooth Shading";
    bool m_lighting = true;
    bool m_specularLighting = true;
    std::string m_cullingMode = "No Culling";
    float m_transparency = 0.0f;
    std::string m_symbol;
    float m_symbolSize = 1.0f;
};

} // namespace zel
