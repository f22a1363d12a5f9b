#pragma once
// The reader of user surface files: the header and point list of UserGeometryReader, then
// the faces that join the points.
//
// Face section (every line after the connectivity marker that ends the point list):
//
//     ## a comment (two number signs; a line with one '#' is data)
//     0 1 2            a face of 3 to 6 point indices (0-based), blanks and/or commas
//     0, 1, 2, 3
//     2-5              a range: the face 2, 3, 4, 5 (5-2 gives 5, 4, 3, 2); 3 to 6 points
//
// Blank lines are skipped. Indices are read as atoi reads them (leading digits; anything
// else reads as 0). Faces go into four sets by their point count, in the order TRIANGLE,
// QUAD, PENTAGON, HEXAGON (3, 4, 5, 6 points).
//
// Bad lines raise data::invalid (class "UserSurfaceGeometryReader", operation
// "readUserSurfaceConnectivity") with the 1-based line number; the first bad line stops the
// reading. A file without a connectivity section raises "Faces connectivity is not
// supplied.  Cannot create User Surface." (operation "readUserSurfaceFile").
#include "framework/ZelExport.h"
#include "framework/geometry/Containers.h"
#include "framework/geometry/UserGeometryReader.h"

namespace zel {

class ShapeSet;

class ZEL_API UserSurfaceGeometryReader : public UserGeometryReader {
public:
    UserSurfaceGeometryReader() = default;
    UserSurfaceGeometryReader(const UserSurfaceGeometryReader&) = default;
    UserSurfaceGeometryReader& operator=(const UserSurfaceGeometryReader&) = default;
    ~UserSurfaceGeometryReader() override = default;

    // Nothing to prepare: the file is read by readUserSurfaceFile.
    void doInitialize() override {}
    FileType getFileType() const override { return SurfaceFile; }

    // Appends the file's points to `points` and fills the four face sets: faceSets[0..3] are
    // the TRIANGLE, QUAD, PENTAGON and HEXAGON sets (not owned; the geometry that holds them
    // owns them), each resized to the faces of its kind. Face indices are positions in
    // `points`, as it is after the file's points were appended.
    void readUserSurfaceFile(TripletZELVector& points, ShapeSet* const* faceSets);

private:
    // The face section after file line `lastLine` (0-based), for a file of `vertexCount`
    // points.
    void readUserSurfaceConnectivity(int lastLine, int vertexCount, ShapeSet* const* faceSets);
};

} // namespace zel
