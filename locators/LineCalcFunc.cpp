#include "locators/LineCalcFunc.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/okl/GeometricOKLObject.h"
#include "locators/AxisSweep.h"
#include "locators/LocatorCalcFunc.h"
#include "locators/SegmentChains.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <unordered_set>

namespace zel {

namespace {

const char* const kClass = "LineCalcFunc";

// Segment k of a connectivity.
Edge segment(const IntZELVector& lines, std::size_t k) { return Edge(lines[2 * k], lines[2 * k + 1]); }

} // namespace

// ------------------------------------------------------------------------------ actions

LineCalcFunc::LineCalcFunc(bool flag) : CalcFuncExecutive(passingOn(kClass)), m_flag(flag) {}

void LineCalcFunc::build(GeometricOKLObject& line) {
    if (line.getValue("Line Type") == "Cut")
        calcCutLine(line);
    else
        calcSampleLine(line);
}

void LineCalcFunc::draw(GeometricOKLObject& line) {
    std::vector<std::string> names = line.getDomainNameList();
    names.emplace_back();
    LocatorFrame::renderLines(line, names, kClass);
}

// ------------------------------------------------------------------------ sample line

void LineCalcFunc::calcSampleLine(GeometricOKLObject& object) const {
    const TripletF p1 = LocatorFrame::readPoint(object, "Point 1", kClass, "calcSampleLine");
    const TripletF p2 = LocatorFrame::readPoint(object, "Point 2", kClass, "calcSampleLine");
    const int samples = object.getIntValue("Line Samples");
    if (samples < 2)
        throw data::invalid(kClass, "calcSampleLine", _("Sample line requires at least %d samples.", 2), ErrError);

    GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("", nullptr));
    TripletZELVector vertices;
    IntZELVector lines;
    vertices.reserve(std::size_t(samples));
    lines.reserve(2 * std::size_t(samples - 1));
    // Repeated addition in single precision: the last sample may differ from Point 2 by
    // rounding, as users of earlier releases saw it.
    const TripletF step = (p2 - p1) / float(samples - 1);
    TripletF p = p1;
    vertices.push_back(p);
    for (int i = 1; i < samples; ++i) {
        p += step;
        vertices.push_back(p);
        lines.push_back(i - 1);
        lines.push_back(i);
    }
    geometry->setVertices(std::move(vertices));
    geometry->setLines(std::move(lines));
    geometry->setName(object.getName());
    geometry->setInterpolant(
        LocatorFrame::makeInterpolant(geometry->getVertices(), object.getDomainNameList(), false, m_flag));
    LocatorFrame::attach(object, "", geometry);
}

// --------------------------------------------------------------------------- cut line

void LineCalcFunc::calcCutLine(GeometricOKLObject& object) const {
    const std::vector<std::string> domains = object.getDomainNameList();
    if (domains.empty()) throw data::invalid(kClass, "calcCutLine", "No domains exist.", ErrError);

    const TripletF p1 = LocatorFrame::readPoint(object, "Point 1", kClass, "calcCutLine");
    const TripletF p2 = LocatorFrame::readPoint(object, "Point 2", kClass, "calcCutLine");
    const TripletF direction = (p2 - p1).normalised();
    if (direction.length() == 0.0f)
        throw internal::error(kClass, "calcCutLine", "Points defining the line are coincident.", ErrError);

    for (const std::string& domain : domains) {
        const Geometry* domainGeometry = LocatorFrame::findDomainGeometry(domain, kClass, "calcCutLine");
        if (domainGeometry == nullptr) continue;

        GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("", nullptr));
        geometry->setDomain(domain);
        std::map<int, double> hits; // cell -> chord length inside it
        geometry->intersectLineWithGeometry(*domainGeometry, p1, direction, hits);
        if (hits.empty()) continue; // the auto-pointer frees the empty geometry

        double longest = 0.0;
        for (const auto& [cell, chord] : hits) longest = std::max(longest, chord);
        const float tolerance = static_cast<float>(0.0001 * longest);

        TripletZELVector& vertices = geometry->getModifiableVertices();
        IntZELVector& lines = geometry->getModifiableLines();
        if (mergeVertices(vertices, lines, tolerance)) {
            do {
                chainStep(vertices, lines);
            } while (mergeVertices(vertices, lines, tolerance));
        } else {
            chainStep(vertices, lines);
        }
        orderAlongLine(vertices, lines, direction);

        geometry->setInterpolant(LocatorFrame::makeInterpolant(geometry->getVertices(), {domain}, true, m_flag));
        LocatorFrame::attach(object, domain, geometry);
    }
}

// ------------------------------------------------------------------- the cut-line steps

bool LineCalcFunc::mergeVertices(TripletZELVector& vertices, IntZELVector& lines, float tolerance) {
    if (lines.empty()) return false;
    const std::size_t n = vertices.size();

    // record[j]: the lowest i < j closer than the tolerance, or -1. Candidates come from a
    // sweep along the axis of largest extent, so the work is not quadratic unless every
    // vertex crowds into one tolerance-wide slab.
    std::vector<int> record(n, -1);
    if (n > 1 && tolerance > 0.0f) {
        const AxisSweep sweep(vertices.span());
        const double tol2 = double(tolerance) * double(tolerance);
        for (std::size_t j = 0; j < n; ++j) {
            int best = -1;
            sweep.forEachCandidate(vertices[j], tolerance, [&](std::uint32_t i) {
                if (i >= j || (best >= 0 && int(i) >= best)) return;
                if ((TripletD(vertices[i]) - TripletD(vertices[j])).lengthSquared() < tol2) best = int(i);
            });
            record[j] = best;
        }
    }

    bool changed = false;
    for (int& index : lines) {
        assert(index >= 0 && std::size_t(index) < n);
        if (record[std::size_t(index)] >= 0) {
            index = record[std::size_t(index)];
            changed = true;
        }
    }

    // Drop collapsed segments, and repeats of a kept segment in either direction.
    std::unordered_set<std::uint64_t> kept;
    std::size_t out = 0;
    const std::size_t segments = lines.size() / 2;
    for (std::size_t k = 0; k < segments; ++k) {
        const Edge e = segment(lines, k);
        if (e[0] == e[1] || !kept.insert(e.key()).second) {
            changed = true;
            continue;
        }
        lines[2 * out] = e[0];
        lines[2 * out + 1] = e[1];
        ++out;
    }
    lines.resize(2 * out);

    if (changed) renumberByFirstUse(vertices, lines);
    return changed;
}

void LineCalcFunc::chainStep(TripletZELVector& vertices, IntZELVector& lines) {
    chainSegments(lines);
    renumberByFirstUse(vertices, lines);
}

void LineCalcFunc::renumberByFirstUse(TripletZELVector& vertices, IntZELVector& lines) {
    TripletZELVector renumbered;
    renumbered.reserve(vertices.size());
    appendByFirstUse(lines.span(), vertices.span(), renumbered, [](int) {});
    vertices.swap(renumbered);
}

void LineCalcFunc::orderAlongLine(TripletZELVector& vertices, IntZELVector& lines, const TripletF& direction) {
    const std::size_t n = vertices.size();
    std::vector<float> key(n);
    for (std::size_t i = 0; i < n; ++i) key[i] = vertices[i].dot(direction);
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return key[a] < key[b]; });

    std::vector<int> newIndex(n);
    TripletZELVector sorted;
    sorted.reserve(n);
    for (std::size_t r = 0; r < n; ++r) {
        newIndex[order[r]] = static_cast<int>(r);
        sorted.push_back(vertices[order[r]]);
    }
    for (int& index : lines) index = newIndex[std::size_t(index)];
    vertices.swap(sorted);
}

} // namespace zel
