#pragma once
// Projection of points onto surface geometries: Geometry::projectOnGeometry and its
// statistics.
//
// Each point goes to its closest point on the surface's faces (SurfaceLocator, built once
// per surface and kept in the geometry's projection cache slot); its interpolation record
// is the closest point's weights on the face's vertices, with the surface as source of a
// HybridInterpolant. Projecting the same points onto several surfaces (the pieces of a
// boundary in several domains) keeps, per point, the closest of them: the statistics hold
// each point's best distance so far.
#include "framework/geometry/Geometry.h"
#include "framework/geometry/SurfaceLocator.h"

#include <cstddef>
#include <vector>

namespace zel {

// How well a set of points fell onto the surfaces it was projected on.
//
// A point succeeds when its distance to the surface is at most the relative tolerance
// (0.25 unless set) times the size (longest edge) of the face it projects onto: it lies on
// the surface up to the difference of two discretisations of the same shape. Points that
// are further away are still projected (to their closest point) but count as failed.
class Geometry::ProjectionStatistics {
public:
    ProjectionStatistics() = default;
    explicit ProjectionStatistics(double relativeTolerance) : m_relativeTolerance(relativeTolerance) {}

    void setRelativeTolerance(double tolerance) { m_relativeTolerance = tolerance; }
    double getRelativeTolerance() const { return m_relativeTolerance; }

    // 100 × succeeded / points; 0 when there are no points.
    double getSuccessPercentage() const;
    std::size_t getNumPoints() const { return m_distance.size(); }
    std::size_t getNumProjected() const;
    std::size_t getNumSucceeded() const;
    // Over the projected points; 0 when there are none.
    double getMaxDistance() const;
    double getMeanDistance() const;
    // Point i's distance to the closest surface so far (infinity: not projected).
    double getDistance(std::size_t i) const { return m_distance[i]; }

    void clear() {
        m_distance.clear();
        m_faceSize.clear();
    }

private:
    friend class Geometry;
    std::vector<double> m_distance; // per point
    std::vector<double> m_faceSize; // per point: size of the face it projects onto
    double m_relativeTolerance = 0.25;
};

class SurfaceProjection {
public:
    // The geometry's surface index, built on first use (the geometry keeps it).
    static const SurfaceLocator& locator(const Geometry& surface);
};

} // namespace zel
