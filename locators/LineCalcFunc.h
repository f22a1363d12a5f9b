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
// vertices closer than 1e-4 of the longest chord, the chain step puts the segments in path
// order, the ordering step sorts the vertices along the line.
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "framework/okl/CalcBase.h"

#include <string>
#include <vector>

namespace zel {

class GeometricOKLObject;

class ZEL_API LineCalcFunc : public CalcBase {
public:
    // `flag` is passed as the last flag of every external interpolant the line asks for.
    LineCalcFunc() = default;
    explicit LineCalcFunc(bool flag) : m_flag(flag) {}
    LineCalcFunc(const LineCalcFunc&) = default;
    LineCalcFunc& operator=(const LineCalcFunc&) = default;
    ~LineCalcFunc() override = default;

    // "top", "colour", "render"; other actions are ignored. internal::error "Cast to
    // GeometricOKLObject failed." when the object is not a geometric object.
    void operator()(OKLObject* object, const std::string& action) override;
    CalcBase* clone() const override { return new LineCalcFunc(*this); }

    bool getFlag() const { return m_flag; }

    // --- the steps of the cut line, on a vertex list and a line connectivity (#L by 2
    // vertex indices). Public for the polyline code and the tests.

    // Joins vertices closer than `tolerance` (each to the lowest-numbered vertex within the
    // tolerance), removes segments whose ends became one and repeated segments (in either
    // direction), and renumbers the vertices in order of first use, dropping unused ones.
    // True when anything was replaced or removed.
    static bool mergeVertices(TripletZELVector& vertices, IntZELVector& lines, float tolerance);
    // Puts the segments in chain order: a chain grows from its first segment by the later
    // segments that share a vertex with its tail, then with its head; each segment keeps its
    // own direction. The vertices are not touched.
    static void chainSegments(IntZELVector& lines);
    // The chain step of the cut line: chainSegments, then renumberByFirstUse.
    static void chainStep(TripletZELVector& vertices, IntZELVector& lines);
    // Renumbers the vertices in order of first use in the connectivity; unused vertices are
    // dropped.
    static void renumberByFirstUse(TripletZELVector& vertices, IntZELVector& lines);
    // Sorts the vertices by their position along `direction` (ascending), renumbering the
    // connectivity.
    static void orderAlongLine(TripletZELVector& vertices, IntZELVector& lines, const TripletF& direction);

private:
    void calcSampleLine(GeometricOKLObject& object) const;
    void calcCutLine(GeometricOKLObject& object) const;

    bool m_flag = true;
};

} // namespace zel
