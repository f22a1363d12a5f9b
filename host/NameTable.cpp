#include "host/NameTable.h"

#include "framework/core/Format.h"

namespace zel::host {
namespace {

struct Row {
    const char* file;
    const char* name;
    std::array<int, 4> dims;
    bool kinematic;
    int components; // 1 or 3
};

constexpr Row kRows[] = {
    {"p", "Pressure", {1, -1, -2, 0}, true, 1},
    {"p_rgh", "Pressure Hydrostatic", {1, -1, -2, 0}, true, 1},
    {"U", "Velocity", {0, 1, -1, 0}, false, 3},
    {"T", "Temperature", {0, 0, 0, 1}, false, 1},
    {"rho", "Density", {1, -3, 0, 0}, false, 1},
    {"wallShearStress", "Wall Shear", {1, -1, -2, 0}, true, 3},
    {"k", "Turbulence Kinetic Energy", {0, 2, -2, 0}, false, 1},
    {"epsilon", "Turbulence Eddy Dissipation", {0, 2, -3, 0}, false, 1},
    {"omega", "Turbulence Eddy Frequency", {0, 0, -1, 0}, false, 1},
    {"nut", "Kinematic Eddy Viscosity", {0, 2, -1, 0}, false, 1},
    {"nuTilda", "Spalart Allmaras Variable", {0, 2, -1, 0}, false, 1},
    {"alphat", "Eddy Heat Diffusivity", {1, -1, -1, 0}, false, 1},
    {"yPlus", "Yplus", {0, 0, 0, 0}, false, 1},
    {"vorticity", "Vorticity", {0, 0, -1, 0}, false, 3},
    {"Q", "Q Criterion", {0, 0, -2, 0}, false, 1},
    {"wallHeatFlux", "Heat Flux", {1, 0, -3, 0}, false, 1},
    {"heatTransferCoeff(T)", "Wall Heat Transfer Coefficient", {1, 0, -3, -1}, false, 1},
};

std::string sanitised(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '/' || c == ':' || c == '=' || c == '#' || c == '\\' || c == '\n' || c == '\r') c = '_';
    return out;
}

} // namespace

VariableName mapArrayName(std::string_view fileName) {
    VariableName out;
    out.fileName = std::string(fileName);
    for (const Row& row : kRows)
        if (fileName == row.file) {
            out.name = row.name;
            out.dimensions = row.dims;
            out.kinematic = row.kinematic;
            out.components = row.components;
            if (fileName == "wallShearStress") out.factor = -1.0;
            return out;
        }
    if (fileName.size() > 6 && fileName.substr(0, 6) == "alpha.") {
        out.phase = sanitised(fileName.substr(6));
        out.name = out.phase + ".Volume Fraction";
        out.components = 1;
        return out;
    }
    out.name = sanitised(fileName);
    return out;
}

std::string dimensionsText(const std::array<int, 4>& d) {
    return _("%d, %d, %d, %d, 0, 0, 0, 0, 0, 0", d[0], d[1], d[2], d[3]);
}

std::vector<VariableName> nameTable() {
    std::vector<VariableName> rows;
    for (const Row& row : kRows) rows.push_back(mapArrayName(row.file));
    VariableName alpha;
    alpha.fileName = "alpha.<phase>";
    alpha.name = "<phase>.Volume Fraction";
    rows.push_back(alpha);
    return rows;
}

} // namespace zel::host
