// The built-in variable library. This file is the library's only copy: edit the command text
// below. tests/expressions/VariableLibraryTest.cpp checks that it reads, that every quantity
// and constant is understood by the units library and the expression language, and that no
// piece outgrows VariableLibrary::kMaxPieceBytes (split a piece at a block boundary when one
// grows).
//
// Conventions: the object name is the short name (what expressions may write instead of the
// long name); long names are the names the solver readers give their variables; vectors
// name their components "<long name> X", " Y", " Z" like the component variables the
// readers declare. User level 1 is what every user sees, 2 the usual extras, 3 specialist
// variables. Short names avoid x, y, z, r and theta, which the expression language keeps
// for coordinates, and the constants' names below.
#include "expressions/library/VariableLibrary.h"

#include "expressions/VariableDefs.h"
#include "framework/okl/OKLAPI.h"
#include "framework/okl/OKLCoreAPI.h"

namespace zel {

namespace {

// Pressure, velocity and the fluid's properties.
constexpr std::string_view kFlow = R"OKL(# Variable library of libZELGeomDataAccess
LIBRARY:
  VARIABLE: p
    Long Name = Pressure
    Quantity = Pressure
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Static pressure relative to the reference pressure of the case
  END
  VARIABLE: pabs
    Long Name = Absolute Pressure
    Quantity = Pressure
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Static pressure including the reference pressure
  END
  VARIABLE: ptot
    Long Name = Total Pressure
    Quantity = Pressure
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Static pressure plus the dynamic pressure of the flow
  END
  VARIABLE: prgh
    Long Name = Pressure Hydrostatic
    Quantity = Pressure
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Static pressure less the hydrostatic head rho g h
  END
  VARIABLE: vel
    Long Name = Velocity
    Quantity = Velocity
    Tensor Type = VECTOR
    Component Long Names = Velocity X, Velocity Y, Velocity Z
    Component Short Names = u, v, w
    User Level = 1
    Variable Description = Flow velocity
  END
  VARIABLE: Mach
    Long Name = Mach Number
    Quantity = Dimensionless
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Flow speed divided by the local speed of sound
  END
  VARIABLE: rho
    Long Name = Density
    Quantity = Density
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Mass per unit volume of the fluid
  END
  VARIABLE: mu
    Long Name = Dynamic Viscosity
    Quantity = Dynamic Viscosity
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Molecular dynamic viscosity of the fluid
  END
  VARIABLE: nu
    Long Name = Kinematic Viscosity
    Quantity = Kinematic Viscosity
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Molecular dynamic viscosity divided by the density
  END
  VARIABLE: vort
    Long Name = Vorticity
    Quantity = Frequency
    Tensor Type = VECTOR
    Component Long Names = Vorticity X, Vorticity Y, Vorticity Z
    Component Short Names = vortx, vorty, vortz
    User Level = 2
    Variable Description = Curl of the velocity
  END
  VARIABLE: strain
    Long Name = Strain Rate
    Quantity = Frequency
    Tensor Type = SYMTEN2
    User Level = 3
    Variable Description = Symmetric part of the velocity gradient
  END
)OKL";

// Turbulence, the wall and the mesh.
constexpr std::string_view kTurbulence = R"OKL(  VARIABLE: k
    Long Name = Turbulence Kinetic Energy
    Quantity = Turbulence Kinetic Energy
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Kinetic energy of the turbulent velocity fluctuations per unit mass
  END
  VARIABLE: epsilon
    Long Name = Turbulence Eddy Dissipation
    Quantity = Turbulence Eddy Dissipation
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Rate of dissipation of turbulence kinetic energy per unit mass
  END
  VARIABLE: omega
    Long Name = Turbulence Eddy Frequency
    Quantity = Turbulence Eddy Frequency
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Specific dissipation rate of turbulence kinetic energy
  END
  VARIABLE: mut
    Long Name = Eddy Viscosity
    Quantity = Dynamic Viscosity
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Turbulent dynamic viscosity of the turbulence model
  END
  VARIABLE: nut
    Long Name = Kinematic Eddy Viscosity
    Quantity = Kinematic Viscosity
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Eddy viscosity divided by the density
  END
  VARIABLE: nuTilda
    Long Name = Spalart Allmaras Variable
    Quantity = Kinematic Viscosity
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Transported working variable of the Spalart-Allmaras model
  END
  VARIABLE: yplus
    Long Name = Yplus
    Quantity = Dimensionless
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Distance of the first node from the wall in wall units
  END
  VARIABLE: wdist
    Long Name = Wall Distance
    Quantity = Length
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Distance to the nearest wall
  END
  VARIABLE: tauw
    Long Name = Wall Shear
    Quantity = Shear Stress
    Tensor Type = VECTOR
    Component Long Names = Wall Shear X, Wall Shear Y, Wall Shear Z
    Component Short Names = tauwx, tauwy, tauwz
    User Level = 1
    Variable Description = Shear stress of the fluid on the wall
  END
  VARIABLE: X
    Long Name = X Coordinate
    Quantity = Length
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Cartesian X coordinate of the node
  END
  VARIABLE: Y
    Long Name = Y Coordinate
    Quantity = Length
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Cartesian Y coordinate of the node
  END
  VARIABLE: Z
    Long Name = Z Coordinate
    Quantity = Length
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Cartesian Z coordinate of the node
  END
  VARIABLE: vol
    Long Name = Volume
    Quantity = Volume
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Control volume of the node
  END
)OKL";

// Heat transfer.
constexpr std::string_view kHeat = R"OKL(  VARIABLE: T
    Long Name = Temperature
    Quantity = Temperature
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Static temperature
  END
  VARIABLE: Ttot
    Long Name = Total Temperature
    Quantity = Temperature
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Temperature the flow reaches when brought to rest adiabatically
  END
  VARIABLE: Tnw
    Long Name = Wall Adjacent Temperature
    Quantity = Temperature
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Fluid temperature next to the wall, the reference of the wall heat transfer coefficient
  END
  VARIABLE: htc
    Long Name = Wall Heat Transfer Coefficient
    Quantity = Heat Transfer Coefficient
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Wall heat flux divided by the difference of wall and wall adjacent temperature
  END
  VARIABLE: qw
    Long Name = Wall Heat Flux
    Quantity = Heat Flux
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Heat flux through the wall into the fluid, per unit area
  END
  VARIABLE: qflux
    Long Name = Heat Flux
    Quantity = Heat Flux
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Heat flux through a boundary into the domain, per unit area
  END
  VARIABLE: qflow
    Long Name = Heat Flow
    Quantity = Heat Flow
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Heat flow through the boundary faces around a boundary node
  END
  VARIABLE: h
    Long Name = Static Enthalpy
    Quantity = Specific Energy
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Specific static enthalpy
  END
  VARIABLE: htot
    Long Name = Total Enthalpy
    Quantity = Specific Energy
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Specific static enthalpy plus the specific kinetic energy
  END
  VARIABLE: Cp
    Long Name = Specific Heat Capacity at Constant Pressure
    Quantity = Specific Heat Capacity
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Specific heat capacity of the fluid at constant pressure
  END
  VARIABLE: cond
    Long Name = Thermal Conductivity
    Quantity = Thermal Conductivity
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Molecular thermal conductivity of the fluid
  END
  VARIABLE: alphat
    Long Name = Eddy Heat Diffusivity
    Quantity = Dynamic Viscosity
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Turbulent thermal diffusivity times the density
  END
)OKL";

// Boundary flows and forces, phases, and the physical constants.
constexpr std::string_view kFlowsAndConstants = R"OKL(  VARIABLE: F
    Long Name = Force
    Quantity = Force
    Tensor Type = VECTOR
    Component Long Names = Force X, Force Y, Force Z
    Component Short Names = Fx, Fy, Fz
    User Level = 2
    Variable Description = Force of the fluid on the boundary faces around a boundary node
  END
  VARIABLE: mflow
    Long Name = Mass Flow
    Quantity = Mass Flow
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Mass flow through the boundary faces around a boundary node
  END
  VARIABLE: momflow
    Long Name = momentum flow
    Quantity = Momentum Flow
    Tensor Type = VECTOR
    Component Long Names = momentum flow X, momentum flow Y, momentum flow Z
    Component Short Names = momflowx, momflowy, momflowz
    User Level = 3
    Variable Description = Momentum flow through the boundary faces around a boundary node
  END
  VARIABLE: vf
    Long Name = Volume Fraction
    Quantity = Dimensionless
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Fraction of the volume that a phase occupies
  END
  VARIABLE: cvf
    Long Name = Conservative Volume Fraction
    Quantity = Dimensionless
    Tensor Type = SCALAR
    User Level = 3
    Variable Description = Volume fraction of a phase as the solver conserves it, without boundary corrections
  END
  VARIABLE: mf
    Long Name = Mass Fraction
    Quantity = Dimensionless
    Tensor Type = SCALAR
    User Level = 2
    Variable Description = Fraction of the mass that a component of the mixture carries
  END
  ROX:
    PHYSICAL CONSTANTS:
      pi = 3.14159265358979
      e = 2.71828182845905
      g = 9.80665 [m s^-2]
      c = 299792458 [m s^-1]
      R = 8.314462618 [J mol^-1 K^-1]
      Avogadro = 6.02214076e23 [mol^-1]
      Boltzmann = 1.380649e-23 [J K^-1]
      Planck = 6.62607015e-34 [J s]
      Stefan Boltzmann = 5.670374419e-8 [W m^-2 K^-4]
      Standard Atmosphere = 101325 [Pa]
    END
  END
END
)OKL";

} // namespace

std::vector<std::string_view> VariableLibrary::pieces() { return {kFlow, kTurbulence, kHeat, kFlowsAndConstants}; }

std::string VariableLibrary::text() {
    std::string all;
    for (std::string_view piece : pieces()) all += piece;
    return all;
}

void VariableLibrary::load() {
    OKLCoreAPI::instance()->processOKL(text(), OKLCoreAPI::ModeUpdate);
    VariableDefs::process(OKLAPI::instance());
}

} // namespace zel
