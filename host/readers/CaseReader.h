#pragma once
// Entry point of the case readers: reads a solver result exported as VTK files into CaseData.
//
//   CaseData c = zel::host::readCase("VTK/elbow_200.vtm");   // foamToVTK export
//   for (const MeshBlock& b : c.blocks) ...                    // "internal", then the patches
//
// The format is taken from the contents: a legacy file ("# vtk DataFile ...") gives one block,
// a VTK XML dataset (.vtu, .vtp) one block, a multiblock file (.vtm) every dataset it references.
// What foamToVTK -parallel writes (each processor's part after the other, the points between
// them twice) is joined into the case the serial export gives (joinProcessorSeams).
// Any fault throws CaseReadError (a data::invalid) naming the file and where in it; nothing is
// returned then.
#include <filesystem>

#include "host/readers/CaseData.h"
#include "host/readers/ReadError.h"

namespace zel::host {

CaseData readCase(const std::filesystem::path& file, const ReadOptions& options = {});

} // namespace zel::host
