#pragma once
// Cases written in pieces: a .pvtu / .pvtp (one dataset, a file per piece), a .vtm whose
// blocks are .pvtu / .pvtp files or multipiece groups (<Piece> with several DataSets), as a
// decomposed solver run exports them. Read whole (readCase) or one group of pieces per
// process (readCasePieces), so that each of N processes reads only its own files.
//
//   CaseLayout layout = readCaseLayout("case.pvtu");
//   CaseData mine = readCasePieces(layout, rank, ranks);   // pieces [rank*P/N, (rank+1)*P/N)
//
// Pieces of one block read by one process are merged into one block: points that several
// pieces share become one (matched by the point array "GlobalNodeIds" when the pieces carry
// it, else by exact coordinates), and cells marked as ghosts by the cell array "vtkGhostType"
// (duplicate cells of a neighbouring piece) are dropped with the points only they used. The
// ghost arrays themselves are not kept.
#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "host/readers/CaseData.h"

namespace zel::host {

// One block of a case and the files of its pieces, in order.
struct PieceBlock {
    std::string name;
    std::string path; // as MeshBlock::path
    std::vector<std::filesystem::path> pieces;
};

struct CaseLayout {
    std::string sourceFile;
    std::vector<PieceBlock> blocks;
    // Some block has its own piece files (a .pvtu / .pvtp, a multipiece group of several).
    bool decomposed = false;
    std::size_t maxPieces() const;
};

// The layout of any case file readCase reads: a dataset or legacy file is one block of one
// piece. Throws CaseReadError naming the file on a fault of the files read (the piece files
// themselves are not opened).
CaseLayout readCaseLayout(const std::filesystem::path& file);

// The pieces [first, last) of `count` that process `rank` of `ranks` reads: contiguous groups
// whose sizes differ by at most one (neighbouring pieces, which share faces, stay together);
// with fewer pieces than processes, one each to the first processes and none to the rest.
std::pair<std::size_t, std::size_t> piecesOfRank(std::size_t count, int rank, int ranks);

// This process's pieces of every block (blocks with no piece here are left out). Throws
// CaseReadError naming the piece file on any fault, a missing file included.
CaseData readCasePieces(const CaseLayout& layout, int rank, int ranks, const ReadOptions& options = {});

// Drops the cells marked DUPLICATECELL in "vtkGhostType", then the points no cell uses, and
// the ghost arrays. Returns the number of cells dropped.
std::size_t dropGhostCells(MeshBlock& block);
// Makes points with the same "GlobalNodeIds" (else the same coordinates) one point; the
// first one's values are kept.
void mergeSharedPoints(MeshBlock& block);

// OpenFOAM's foamToVTK -parallel writes every dataset as one file in which each processor's
// part follows the previous one: the points on faces between processors come once per
// processor, so those faces look free, and no patch covers them (the processor patches are
// left out). This finds, in every volume block, pairs of free faces that no patch of the
// same group covers and whose points have exactly the same coordinates, and makes their
// points one. A patch's points on such a seam are made one too, and there its point values
// are made again from its face values as foamToVTK makes them, inverse-distance weighted from
// the face centres: each processor had averaged its own faces only. Coincident faces that a
// patch covers (baffles) and duplicated points on no such pair stay as they are. Returns the
// number of points made one (0 for an ordinary case, which costs one hash of its points).
std::size_t joinProcessorSeams(CaseData& data);

} // namespace zel::host
