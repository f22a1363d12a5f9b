#pragma once
// Puts a case read from files (CaseData) into the library: one DomainGeometryBase per
// volume block in the registry with a "DOMAIN" object; one "BOUNDARY" object per boundary
// patch, whose BoundaryGeometry lies on the domain's nodes (VertexInterpolant) and whose
// faces set the domain's boundary flags; one variable object per field (vectors with their
// three component objects); the solver values in the concrete storage.
//
//   CaseStorage& storage = ...;                       // registered
//   LoadedCase c = loadCase(storage, readCase("elbow_200.vtm"), {});
//
// Domains: a volume block named "internal" (foamToVTK) takes the name of its enclosing
// group, or at the top the case file's name without time index ("elbow_200.vtm": "elbow");
// other blocks keep their names. Patches belong to the volume
// block of the same group, else to the domain all of whose boundary nodes they lie on.
// Patch points are matched to the domain's boundary nodes by position (within 1e-5 of the
// domain's size); a point that matches none is an error. Patch faces that are cell faces of
// the domain set its boundary flags and are oriented outward (away from their cell); faces
// made of several cell faces keep the file's order and are reported.
//
// A domain without patches gets one boundary of all its free faces, "Boundary" (or
// "<domain> Boundary" when the case has several domains); with patches, free faces that no
// patch covers become "Default Boundary" (OpenFOAM's "empty" sides of 2D cases are not
// exported by foamToVTK and land there).
//
// Boundary types come from the patch name (case-insensitive): "inlet" INLET, "outlet"
// OUTLET, "opening" OPENING, "sym" SYMMETRY, "periodic" / "cyclic" PERIODIC, "wall" WALL,
// "empty" / "front" / "back" SYMMETRY, else WALL; a session changes them with
// "BOUNDARY: name / Boundary Type = ... / END".
//
// Point arrays become variables through the name table (NameTable.h); arrays that exist only
// as cell data are averaged to the vertices (each vertex the mean of the cells around it).
// Kinematic arrays (p, p_rgh, wallShearStress) are multiplied by `density` when it is given.
// Arrays that a patch carries stay on its boundary geometry (they are the solver's face
// values there, sharper than the volume's point values).
//
// Every boundary geometry (BoundaryGeometry) keeps, per face, the domain cell that owns it
// (getFaceOwners) and face values (getFaceFields): for a patch, the patch's cell arrays, and
// where the volume has cell temperatures, the owner's ("Wall Adjacent Temperature"). With a
// wall heat flux (OpenFOAM's wallHeatFlux) the case declares the boundary heat variables
// "Heat Flux", "Heat Flow", "Wall Adjacent Temperature" and "Wall Heat Transfer Coefficient".
// A table array of another number of components than its variable's is left out with a
// warning.
//
// The build works on flat arrays: the free faces of a domain are found by a counting sort of
// all cell faces by their smallest node, and patch faces are matched to them by their sorted
// nodes, so a million cells take a handful of arrays and no allocation per face.
//
// All or nothing: any fault throws (data::invalid naming the file and the block) before the
// registry or the object database changed, or undoes what was added.
#include "host/BoundaryGeometry.h"
#include "host/CaseStorage.h"
#include "host/readers/CaseData.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zel::host {

struct LoadOptions {
    // Multiplies the kinematic arrays and is the density where the case has no "rho".
    std::optional<double> density;
    // Called with the wall time of each phase of the load, in seconds: "domain build" (vertices,
    // element sets, free faces), "fields", "boundary build" (patches, default boundaries,
    // flags) and "register" (objects and variables). May be empty.
    std::function<void(const char* phase, double seconds)> timing;
    // Where the boundaries' flows come from (BoundaryGeometry.h): the patches' face values
    // where they have them, or the vertex values everywhere.
    FlowSource boundaryFlows = FlowSource::Faces;
    // A case held in pieces by several processes: called once per load, on every process, with
    // a key per free face that no patch covers (of its domain's name and its points); returns
    // per key whether another process has the same key. Those faces lie between pieces and
    // belong to no boundary. May be empty (one process holds the whole case).
    std::function<std::vector<char>(std::span<const std::uint64_t> keys)> sharedFaces;
};

struct LoadedCase {
    std::vector<std::string> domains;
    std::vector<std::string> boundaries;
    std::vector<std::string> variables; // variable objects created (components included)
    std::vector<std::string> warnings;  // also reported through ErrorProgressReporter
};

LoadedCase loadCase(CaseStorage& storage, const CaseData& data, const LoadOptions& options = {});
// The same, dropping the bulk arrays of each volume block (points, cells, values) as soon as
// they have been copied, which lowers the peak memory of a large load. `data` is left with
// its blocks' names and the patches.
LoadedCase loadCase(CaseStorage& storage, CaseData&& data, const LoadOptions& options = {});

// The boundary type for a patch name (see above): "INLET", "OUTLET", ...
std::string boundaryTypeForName(const std::string& patchName);

// Declares the variable objects that every case has: coordinates, "Density", "Area",
// "Normal", "Mass Flow", "Force", "momentum flow", "Pressure Force" and "Viscous Force" (with
// components). Idempotent.
std::vector<std::string> declareDerivedVariables();

} // namespace zel::host
