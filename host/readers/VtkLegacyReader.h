#pragma once
// Reader of VTK legacy files (.vtk): DATASET UNSTRUCTURED_GRID and POLYDATA, ASCII or BINARY
// (big-endian), cells in the count-prefixed layout or the OFFSETS/CONNECTIVITY layout of
// version 5, and the POINT_DATA / CELL_DATA attributes (SCALARS, VECTORS, NORMALS, TENSORS,
// TEXTURE_COORDINATES, COLOR_SCALARS, FIELD, ...). Faults throw CaseReadError with the line.
#include <filesystem>
#include <string>
#include <string_view>

#include "host/readers/CaseData.h"

namespace zel::host {

// Reads the file; the block is named after the file's stem.
MeshBlock readVtkLegacy(const std::filesystem::path& file);

// Parses the contents of a legacy file; `fileName` names it in messages and in the block.
MeshBlock parseVtkLegacy(std::string_view content, const std::string& fileName);

} // namespace zel::host
