#pragma once
// The reader of polyline files: a point list (UserGeometryReader.h gives its format) and,
// after a "[Lines]" marker, the segments that join the points:
//
//     [Lines]
//     ## two '#' begin a comment; blank lines are skipped
//     0 1          one segment from point 0 to point 1 (blanks, a comma, or both between)
//     1, 2
//     2 - 5        a range: the segments 2-3, 3-4, 4-5 (a "-" anywhere makes a range)
//
// Indices count from 0. A range whose first index is not below its last adds nothing. A file
// without "[Lines]" joins its points in file order.
#include "framework/ZelExport.h"
#include "framework/geometry/UserGeometryReader.h"

#include <vector>

namespace zel {

class ZEL_API PolylineGeometryReader : public UserGeometryReader {
public:
    PolylineGeometryReader();
    PolylineGeometryReader(const PolylineGeometryReader& other);
    PolylineGeometryReader& operator=(const PolylineGeometryReader& other);
    ~PolylineGeometryReader() override;

    // Nothing to prepare when the file is named.
    void doInitialize() override {}
    FileType getFileType() const override { return PolylineFile; }

    // Reads the file named by getFilename(): its points are appended to `points`, `lines`
    // (#L by 2 indices into `points`) is replaced. Bad segment lines raise data::invalid
    // (class "PolylineGeometryReader", operation "readPolylineConnectivity") naming the line;
    // the segments before the bad line stay in `lines`.
    void readPolylineFile(TripletZELVector& points, std::vector<int>& lines);

private:
    // The segments of the file lines after `lastLine` (0-based) for a list of `numPoints`
    // points.
    void readPolylineConnectivity(int lastLine, int numPoints, std::vector<int>& lines);
};

} // namespace zel
