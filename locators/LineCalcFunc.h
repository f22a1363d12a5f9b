#pragma once
// The calc function of "LINE" objects: sample lines and cut lines.
//
//   Sample line ("Line Type" other than "Cut"): "Line Samples" points evenly spaced from
//   "Point 1" to "Point 2", one geometry under the empty geometry name, named after the
//   object, with an interpolant over all of the object's domains.
//   Cut line ("Line Type" = "Cut"): the crossings of the infinite line through "Point 1" and
//   "Point 2" with the cells of each domain of the object, one geometry per crossed domain
//   under the domain's name, its vertices ordered along the line from "Point 1"'s side.
//
// The crossings of neighbouring cells can fall a rounding error apart; the merge step joins
// vertices closer than 1e-4 of the longest chord, the chain step puts the segments in growth
// order (SegmentChains.h), the ordering step sorts the vertices along the line.
//
// Failures pass on; a failed "top" leaves the object without geometry (CalcFuncExecutive.h).
// "render" draws the crossed domains and the sample line, deletes the other names from the
// viewer and clears the change flags.
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "locators/CalcFuncExecutive.h"

#include <string>
#include <vector>

namespace zel {

class GeometricOKLObject;

class ZEL_API LineCalcFunc : public CalcFuncExecutive {
public:
    // `flag` is passed as the last flag of every external interpolant the line asks for.
    explicit LineCalcFunc(bool flag = true);
    CalcBase* clone() const override { return new LineCalcFunc(*this); }

    bool getFlag() const { return m_flag; }

    // --- the steps of the cut line, on a vertex list and a line connectivity (#L by 2
    // vertex indices). Public for the polyline code and the tests.

    // Joins vertices closer than `tolerance` (each to the lowest-numbered vertex within the
    // tolerance), removes segments whose ends became one and repeated segments (in either
    // direction), and renumbers the vertices in order of first use, dropping unused ones.
    // True when anything was replaced or removed.
    static bool mergeVertices(TripletZELVector& vertices, IntZELVector& lines, float tolerance);
    // The chain step of the cut line: chainSegments (growth order), then renumberByFirstUse.
    static void chainStep(TripletZELVector& vertices, IntZELVector& lines);
    // Renumbers the vertices in order of first use in the connectivity; unused vertices are
    // dropped.
    static void renumberByFirstUse(TripletZELVector& vertices, IntZELVector& lines);
    // Sorts the vertices by their position along `direction` (ascending), renumbering the
    // connectivity.
    static void orderAlongLine(TripletZELVector& vertices, IntZELVector& lines, const TripletF& direction);

private:
    void build(GeometricOKLObject& object) override;
    void draw(GeometricOKLObject& object) override;
    void calcSampleLine(GeometricOKLObject& object) const;
    void calcCutLine(GeometricOKLObject& object) const;

    bool m_flag = true;
};

} // namespace zel
