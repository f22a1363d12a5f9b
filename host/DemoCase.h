#pragma once
// The embedded demo of `zelpost --demo`: a straight duct of 4 m × 1 m × 0.5 m along x,
// meshed in four sections of 1 m with hexahedra, wedges, pyramids and tetrahedra (conforming
// throughout: the pyramids of the third section meet the tetrahedra of the fourth through
// a layer of pyramids), with analytic fields at the nodes:
//
//   U = (16 U0 η(1-η) ζ(1-ζ), 0, 0)     η = y/H, ζ = z/W, U0 = 2 m/s  (a laminar profile)
//   p = p0 - G x                        p0 = 100 Pa, G = 10 Pa/m
//   T = 300 K + 20 K η + 10 K ζ
//   ρ = 1.2 kg/m³
//
// and patches inlet (x = 0), outlet (x = L), wall-bottom (y = 0), wall-top, wall-front
// (z = 0) and wall-back, exported as a foamToVTK case would be. The demo session (the same
// text as examples/demo.zel) cuts slice planes through every section, a mid plane, a line
// and a point, and calculates on them; each result is printed beside its analytic value.
// Linear fields integrate exactly; the profile's mass flow converges with h² (3.1 % low on
// this mesh: the trapezoidal sum of η(1-η) over 8 cells is 1/8² short in each direction).
#include "host/Host.h"
#include "host/readers/CaseData.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace zel::host {

struct DemoParameters {
    double length = 4.0, height = 1.0, width = 0.5;
    int cellsPerSection = 4; // along x, in each of the four sections
    int cellsY = 8, cellsZ = 8;
    double u0 = 2.0, p0 = 100.0, gradient = 10.0, density = 1.2;
};

// The demo case as a reader would give it: block "duct" (path "duct") and the six patches
// (path "boundary/<name>"), validated.
CaseData makeDemoCase(const DemoParameters& parameters = {});

// The demo session (command language).
const std::string& demoSession();
// The analytic value of each "> calculate" line of demoSession(), in order.
std::vector<double> demoAnalyticValues(const DemoParameters& parameters = {});

// Loads the demo case into `host`, runs the session, and attaches the analytic values to the
// recorded results.
void runDemo(Host& host);

} // namespace zel::host
