#pragma once
// The reader of point-list files, the common part of polyline and user surface files: a
// header, a list of points with optional per-point variables, and (read by the derived
// readers) a connectivity section.
//
// File format (text, one item per line; "\r\n" and "\n" line ends):
//
//     # '#' starts a comment that runs to the end of the line; blank lines are skipped.
//     [Name]                               optional; the next line is the file's title
//     Wall section 3
//     [Data]                               optional marker of the point list
//     X [m], Y [m], Z [m], Temperature [K] optional column line
//     0.0, 0.0, 0.0, 300
//     0.5  0.0  0.0  310                   values separated by commas and/or blanks
//     [Lines]                              optional; the connectivity section follows
//     0 1
//
//   - Section markers are matched without regard to case. "[Lines]", "[Faces]" and
//     "[Connectivity]" end the point list; what follows them belongs to the derived reader
//     (polylines: segments, user surfaces: faces).
//   - The column line names the columns, separated by commas (or by blanks when it holds no
//     comma; a name with blanks needs the commas). Each column is a name with an optional
//     unit in square brackets. "X", "Y" and "Z" (any case) must each appear once and hold
//     lengths; every other column is a variable of the file, read for every point. Without
//     a column line every row holds exactly X, Y and Z.
//   - Values are decimal numbers ("1", "-2.5", "+3e-2"), finite. A column without a unit
//     is taken in base SI units (coordinates in metres, variables as they are). Everything
//     is converted to base SI units when read ("[mm]" -> m, "[C]" -> K, "[kPa]" -> Pa).
//   - The file must hold at least one point.
//
// Bad input raises data::invalid (class "UserGeometryReader", operation "readPUSTop") with a
// message that names the file and the 1-based line; a file that cannot be opened raises
// data::notFound naming it.
#include "framework/geometry/Containers.h"
#include "framework/geometry/FileReaderBase.h"

#include <string>
#include <utility>
#include <vector>

namespace zel {

class UserGeometryReader : public FileReaderBase {
public:
    // Makes the database objects of a file's variables. The object database's library
    // installs it (the geometry library knows no objects); while none is installed,
    // generateOKLObjects does nothing.
    using ObjectGenerator = void (*)(const UserGeometryReader& reader);
    static void setObjectGenerator(ObjectGenerator generator);
    static ObjectGenerator getObjectGenerator();

    ~UserGeometryReader() override;

    // Reads the header and the point list of the file named by getFilename(). The points are
    // appended to `points` (in base units of length); the file's variables replace those of
    // an earlier read. `lastLine`: the 0-based index of the last file line consumed (the
    // connectivity marker, or the file's last line). True when a connectivity section
    // follows.
    bool readPUSTop(TripletZELVector& points, int& lastLine);
    // The same for polylines: `lines` (#L by 2 point indices) is replaced by the default
    // connectivity, the points joined in file order (0-1, 1-2, ...), which stands when the
    // file has no connectivity section. The indices are positions in `points`; points it
    // held before are not joined.
    bool readPUSTop(TripletZELVector& points, std::vector<int>& lines, int& lastLine);

    // Calls the installed object generator with this reader.
    void generateOKLObjects() override;
    // The variable columns of the last read, in file order.
    std::vector<std::string> getVariableNames() override { return getFileVariableNames(); }
    std::vector<std::string> getFileVariableNames() const;
    // Minimum and maximum of a variable of the last read (base units). data::notFound for a
    // name the file does not hold.
    std::pair<float, float> getRange(const std::string& name) override;
    // One value per point of the last read (base units); false for a name the file does not
    // hold.
    bool getVariableData(const std::string& name, FloatZELVectorConcrete& values) override;

    // The title of the "[Name]" section of the last read (empty without one).
    const std::string& getTitle() const { return m_title; }
    // The base SI units of a variable of the last read ("kg m^-1 s^-2"; empty for a variable
    // given without units). data::notFound for a name the file does not hold.
    std::string getVariableUnits(const std::string& name) const;

protected:
    UserGeometryReader();
    UserGeometryReader(const UserGeometryReader&);
    UserGeometryReader& operator=(const UserGeometryReader&);

private:
    struct FileVariable {
        std::string name;
        std::string baseUnits;
        FloatZELVectorConcrete values; // one per point of the last read
    };
    const FileVariable& findVariable(const std::string& name, const char* operation) const;

    std::string m_title;
    std::vector<FileVariable> m_variables;
};

} // namespace zel
