#pragma once
// The load export of zelpost: the session action
//
//   > export SURFACE, FILE[, VARIABLE, ...]
//
// writes the loads of a load file user surface ("Option" = NORVA, with an associated
// boundary) for the structural solver: FILE (.csv) holds one line per surface vertex with
// its file node number, its coordinates (in the surface's "File Units") and the chosen load
// variables in SI units, the units in the header; FILE with the ending .vtk beside it holds
// the same surface and values for ParaView. VARIABLE is a load variable's short name: Force
// (the default), Stress, Normal Stress, Shear Stress, Wall Heat Transfer Coefficient, Wall
// Adjacent Temperature, Heat Flux, or Temperature (the wall temperature). The heat transfer
// settings come from the "/EXPORT" object ("EXPORT:" block: NORVA Specify Reference
// Temperature, NORVA Reference Temperature, NORVA Supplemental HTC).
//
// An export of heat transfer variables (coefficient, adjacent temperature, heat flux) adds a
// heat transfer block to the transfer report ./KVO2NORVADiagnostics.xml, one of the wall
// temperature a temperature block. Every value is computed before anything is written: a
// failure (an unknown surface, a surface without an associated boundary, a variable the
// results cannot give) writes no file.
#include "framework/okl/ActionExecutor.h"

#include <filesystem>
#include <string>
#include <vector>

namespace zel::host {

struct LoadExportRequest {
    std::string surface;
    std::filesystem::path file;         // the .csv; the .vtk is written beside it
    std::vector<std::string> variables; // short names; empty: Force
    bool write = true;                  // false: computed, nothing written
};

// Returns the files written. data::invalid for a bad request (naming the surface or the
// variable), data::error when a file cannot be written.
std::vector<std::string> exportLoads(const LoadExportRequest& request);

// "> export": {"export", surface, file, variables...}; relative file names are taken from
// the working directory.
class LoadExportAction : public ActionExecutor {
public:
    // `writeFiles` false: everything is computed (and checked) but no file is written, for
    // the processes of a parallel run but the one that writes.
    explicit LoadExportAction(bool writeFiles = true) : m_write(writeFiles) {}
    void invoke(const std::vector<std::string>& action) override;

private:
    bool m_write;
};

} // namespace zel::host
