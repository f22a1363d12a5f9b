#pragma once
// The isoparametric map of a volume cell and its inverse: from a physical point to the
// parametric coordinates and shape-function weights of a tetrahedron (barycentric), pyramid,
// wedge or hexahedron (Newton's method on the map of CellTopology.h).
//
// The inverse is robust for distorted cells: Newton starts from the linearisation at the
// cell centre, each step is damped by halving until the residual decreases, and when it
// still fails (strongly warped or nearly degenerate cells) the cell is split into
// tetrahedra; Newton restarts from the image of the sub-tetrahedron that holds the point and,
// if even that fails, the linear weights of that sub-tetrahedron are the answer.
#include "framework/geometry/CellTopology.h"
#include "framework/geometry/Containers.h"

#include <array>
#include <span>

namespace zel {

// The nodes of one cell, gathered in double precision.
struct CellNodes {
    ShapeType type = ShapeType::Hexahedron;
    int count = 0;
    double x[cell::kMaxCellNodes][3] = {};

    // Gathers the `count` nodes of `type` listed in `nodes` (indices into `vertices`) and
    // records their bounds.
    void gather(ShapeType t, const int* nodes, std::span<const TripletF> vertices);
    // Records the bounds of x (gather does it; call it after filling x by hand, or the
    // bounds are computed on every call).
    void updateBounds();
    // Largest extent of the nodes' bounding box.
    double size() const;
    // Largest absolute coordinate of the nodes (the scale of float rounding).
    double magnitude() const;

private:
    bool m_bounded = false;
    double m_size = 0.0;
    double m_magnitude = 0.0;
};

// Where a point lies with respect to one cell.
struct CellLocation {
    bool inside = false;                               // within the tolerance of the cell
    bool converged = false;                            // the parametric point solves the map (else sub-tet weights)
    double pc[3] = {0, 0, 0};                          // parametric coordinates (clamped into the cell when inside)
    double distance = 0.0;                             // distance from the point to the cell (0 inside)
    std::array<double, cell::kMaxCellNodes> weights{}; // shape-function weights, sum 1
};

class CellShape {
public:
    // Physical point of parametric point pc.
    static void map(const CellNodes& c, const double pc[3], double out[3]);
    // Shape-function weights at pc (nodeCount entries).
    static void weights(ShapeType type, const double pc[3], double* w);
    // Parametric centre of the reference cell.
    static void centre(ShapeType type, double pc[3]);
    // How far pc lies outside the reference cell, in parametric units (<= 0 inside).
    static double outside(ShapeType type, const double pc[3]);
    // Moves pc into the reference cell (simplex parts through their barycentric
    // coordinates: negatives dropped, the rest rescaled).
    static void clamp(ShapeType type, double pc[3]);

    // Newton's method for x(pc) = p from pc (in/out). Returns whether it converged to a
    // residual below `tolerance` (a length).
    static bool inverse(const CellNodes& c, const double p[3], double pc[3], double tolerance);

    // Containing test and weights. `paramTolerance` is the parametric slack within which a
    // point counts as inside (points on faces, edges and nodes of neighbouring cells are
    // inside both). Weights are those of the point clamped into the cell.
    static CellLocation locate(const CellNodes& c, const double p[3], double paramTolerance);

    // Closest point of the cell to p (exact on planar faces; warped quadrilateral faces are
    // fanned from their centre), its distance and the weights there.
    static CellLocation closest(const CellNodes& c, const double p[3]);

    // The parametric slack for a point of this cell: a few float roundings of the
    // coordinates relative to the cell size.
    static double parametricTolerance(const CellNodes& c);

    // Sub-tetrahedra of a cell type as local node quadruples.
    static std::span<const std::array<int, 4>> tetrahedra(ShapeType type);
};

// The local nodes of face `f` of cell `c` in an order set by their coordinates, not by the
// cell's numbering: a triangle's sorted (lexicographically), a quadrilateral's cyclic from its
// smallest corner towards the smaller of its neighbours. The cells on either side of a face
// (in a decomposed case, maybe in two pieces) then compute with its corners alike, to the
// last bit. Writes f.count entries.
void canonicalFaceOrder(const CellNodes& c, const cell::LocalFace& f, int out[4]);

// Closest point on triangle (a, b, c) to p: writes the point and the barycentric weights of
// a, b, c; returns the squared distance.
double closestPointOnTriangle(const double p[3], const double a[3], const double b[3], const double c[3], double out[3],
                              double bary[3]);

} // namespace zel
