#include "host/NameTable.h"

#include "framework/core/Format.h"

namespace zel::host {
namespace {

struct Row {
    const char* file;
    const char* name;
    std::array<int, 4> dims;
    bool kinematic;
};

constexpr Row kRows[] = {
    {"p", "Pressure", {1, -1, -2, 0}, true},
    {"p_rgh", "Pressure Hydrostatic", {1, -1, -2, 0}, true},
    {"U", "Velocity", {0, 1, -1, 0}, false},
    {"T", "Temperature", {0, 0, 0, 1}, false},
    {"rho", "Density", {1, -3, 0, 0}, false},
    {"wallShearStress", "Wall Shear", {1, -1, -2, 0}, true},
    {"k", "Turbulence Kinetic Energy", {0, 2, -2, 0}, false},
    {"epsilon", "Turbulence Eddy Dissipation", {0, 2, -3, 0}, false},
    {"omega", "Turbulence Eddy Frequency", {0, 0, -1, 0}, false},
    {"nut", "Kinematic Eddy Viscosity", {0, 2, -1, 0}, false},
    {"nuTilda", "Spalart Allmaras Variable", {0, 2, -1, 0}, false},
    {"alphat", "Eddy Heat Diffusivity", {1, -1, -1, 0}, false},
    {"yPlus", "Yplus", {0, 0, 0, 0}, false},
    {"vorticity", "Vorticity", {0, 0, -1, 0}, false},
    {"Q", "Q Criterion", {0, 0, -2, 0}, false},
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
            if (fileName == "wallShearStress") out.factor = -1.0;
            return out;
        }
    if (fileName.size() > 6 && fileName.substr(0, 6) == "alpha.") {
        out.phase = sanitised(fileName.substr(6));
        out.name = out.phase + ".Volume Fraction";
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
