#pragma once
// How the arrays of a solver export are named in the post-processor: the table that turns
// OpenFOAM / VTK array names ("p", "U", "alpha.water") into variable names ("Pressure",
// "Velocity", "water.Volume Fraction") with their physical dimensions.
//
// The table (also printed by `zelpost --help` and documented in the README):
//
//   file array          variable                 dimensions   kinematic
//   p                   Pressure                 M L^-1 T^-2  yes (scaled by --density)
//   p_rgh               Pressure Hydrostatic     M L^-1 T^-2  yes
//   U                   Velocity                 L T^-1
//   T                   Temperature              K
//   rho                 Density                  M L^-3
//   wallShearStress     Wall Shear (negated)     M L^-1 T^-2  yes
//   k                   Turbulence Kinetic Energy L^2 T^-2
//   epsilon             Turbulence Eddy Dissipation L^2 T^-3
//   omega               Turbulence Eddy Frequency T^-1
//   nut                 Kinematic Eddy Viscosity L^2 T^-1
//   nuTilda             Spalart Allmaras Variable L^2 T^-1
//   alphat              Eddy Heat Diffusivity    M L^-1 T^-1
//   yPlus               Yplus                    -
//   alpha.<phase>       <phase>.Volume Fraction  -
//   vorticity           Vorticity                T^-1
//   Q                   Q Criterion              T^-2
//   wallHeatFlux        Heat Flux                M T^-3        (positive into the fluid)
//   heatTransferCoeff(T) Wall Heat Transfer Coefficient  M T^-3 Θ^-1
//                       (as written; boundaries turn its sign, BoundaryGeometry.h)
//
// "Wall Shear" is the stress the fluid exerts on the wall (along the flow next to it);
// OpenFOAM's wallShearStress is the stress of the wall on the fluid (n·R with the Reynolds
// stress R = -τ), so its values are negated on loading.
//
// An array of the table with another number of components than its variable's (a vector
// wallHeatFlux, say) is not loaded. Any other array keeps its name and is dimensionless.
// Names the framework's command language cannot hold ('/', ':', '=', '#') have those
// characters replaced by '_'.
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace zel::host {

struct VariableName {
    std::string name;     // the variable's name in the post-processor
    std::string fileName; // the array's name in the file
    std::string phase;    // the phase of a volume fraction ("water" for alpha.water), else empty
    // Exponents of mass, length, time, temperature (the other dimensions are 0).
    std::array<int, 4> dimensions{0, 0, 0, 0};
    // Kinematic in an incompressible solver's output (divided by the density): the reader
    // multiplies these by the density given on the command line.
    bool kinematic = false;
    // Multiplies the values on loading (-1 turns OpenFOAM's wall shear around, see above).
    double factor = 1.0;
    // The components the variable has (1 or 3); 0 for arrays outside the table (any).
    int components = 0;
};

// The post-processor name of a file array (see the table above).
VariableName mapArrayName(std::string_view fileName);

// "1, -1, -2, 0, 0, 0, 0, 0, 0, 0": the "Variable Dimensions" text of a variable object.
std::string dimensionsText(const std::array<int, 4>& dimensions);

// The rows of the table, for --help.
std::vector<VariableName> nameTable();

} // namespace zel::host
