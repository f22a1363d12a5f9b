// The point-list reader: header, columns with units, default connectivity, the variables of
// a file, and every refusal of bad input with the file and line named.
#include "framework/geometry/UserGeometryReader.h"
#include "framework/core/Error.h"
#include "framework/geometry/Variable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zel::test {
namespace {

namespace fs = std::filesystem;

class PointListReader : public UserGeometryReader {
public:
    FileType getFileType() const override { return PolylineFile; }
};

std::string dataFile(const std::string& name) { return std::string(ZEL_TEST_DATA_DIR) + "/polylines/" + name; }

class UserGeometryReaderTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const fs::path& p : m_files) fs::remove(p);
    }
    std::string write(const std::string& text) {
        const fs::path p =
            fs::temp_directory_path() / ("zel_pointlist_" + std::to_string(m_files.size()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
        std::ofstream(p, std::ios::binary) << text;
        m_files.push_back(p);
        return p.string();
    }
    // The message of the data::invalid that reading `text` raises, the file's path written
    // as <file>.
    std::string failure(const std::string& text) {
        PointListReader reader;
        const std::string path = write(text);
        reader.initialize(path, "Polyline 1");
        TripletZELVector points;
        int last = -7;
        try {
            reader.readPUSTop(points, last);
        } catch (const data::invalid& e) {
            EXPECT_EQ(e.getClassName(), "UserGeometryReader");
            EXPECT_EQ(e.getOperation(), "readPUSTop");
            EXPECT_EQ(e.getErrorType(), ErrError);
            EXPECT_TRUE(points.empty()) << "nothing is appended from a bad file";
            EXPECT_EQ(last, -7);
            std::string message = e.getMessage();
            const std::size_t at = message.find(path);
            if (at != std::string::npos) message.replace(at, path.size(), "<file>");
            return message;
        }
        ADD_FAILURE() << "no error for:\n" << text;
        return {};
    }

private:
    std::vector<fs::path> m_files;
};

TEST_F(UserGeometryReaderTest, ReadsHeaderUnitsVariablesAndStopsAtTheConnectivity) {
    PointListReader reader;
    reader.initialize(dataFile("probe_rake.txt"), "Rake");
    EXPECT_EQ(reader.getObjectName(), "Rake");
    TripletZELVector points;
    int last = -1;
    ASSERT_TRUE(reader.readPUSTop(points, last));
    EXPECT_EQ(last, 10); // the "[Lines]" marker, 0-based
    EXPECT_EQ(reader.getTitle(), "Thermocouple strip");

    ASSERT_EQ(points.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(points[i].x, 0.25f * float(i));
        EXPECT_FLOAT_EQ(points[i].y, 0.1f);
        EXPECT_FLOAT_EQ(points[i].z, 0.25f);
    }
    EXPECT_EQ(reader.getVariableNames(), (std::vector<std::string>{"Wall Temperature", "Heat Flux"}));
    EXPECT_EQ(reader.getVariableUnits("Wall Temperature"), "K");
    EXPECT_EQ(reader.getVariableUnits("Heat Flux"), "kg s^-3");

    FloatZELVectorConcrete values;
    ASSERT_TRUE(reader.getVariableData("Wall Temperature", values));
    ASSERT_EQ(values.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(values[i], 293.15f + 5.0f * float(i));
    ASSERT_TRUE(reader.getVariableData("Heat Flux", values));
    EXPECT_FLOAT_EQ(values[3], 3000.0f);
    const auto [lo, hi] = reader.getRange("Heat Flux");
    EXPECT_FLOAT_EQ(lo, 1500.0f);
    EXPECT_FLOAT_EQ(hi, 3000.0f);

    EXPECT_FALSE(reader.getVariableData("Pressure", values));
    EXPECT_THROW(reader.getRange("Pressure"), data::notFound);
    EXPECT_THROW(reader.getVariableUnits("Pressure"), data::notFound);

    // The base reader makes a per-vertex scalar of a file variable.
    std::unique_ptr<Variable> variable = reader.getVariable("Heat Flux", nullptr);
    ASSERT_NE(variable, nullptr);
    EXPECT_EQ(variable->getSize(), 4u);
    EXPECT_EQ(reader.getVariable("Pressure", nullptr), nullptr);
}

TEST_F(UserGeometryReaderTest, PlainPointListsJoinTheirPointsInOrder) {
    PointListReader reader;
    reader.initialize(dataFile("open_path.txt"), "Path");
    TripletZELVector points{{9, 9, 9}}; // appended after what the list holds
    std::vector<int> lines{7, 7, 7};    // replaced
    int last = -1;
    EXPECT_FALSE(reader.readPUSTop(points, lines, last));
    EXPECT_EQ(last, 4); // the file's last line
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[1], TripletF(0.25f, 0.5f, 0.5f));
    EXPECT_EQ(points[3], TripletF(0.75f, 0.5f, 0.9f));
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 2, 3}));
    EXPECT_TRUE(reader.getVariableNames().empty());
    EXPECT_TRUE(reader.getTitle().empty());

    // No column line: exactly X, Y, Z in metres; blanks, tabs and commas all separate, a
    // single point has no segment, a leading '+' is a sign.
    reader.initialize(write("\n  # note\n+1.5,\t-2  3e-1   # a comment after the values\n"), "One");
    points.clear();
    EXPECT_FALSE(reader.readPUSTop(points, lines, last));
    EXPECT_EQ(last, 2);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0], TripletF(1.5f, -2.0f, 0.3f));
    EXPECT_TRUE(lines.empty());

    // Columns in any order and case, separated by blanks; a second read replaces the
    // variables of the first.
    reader.initialize(write("[data]\nP z y x\n1 3 2 1000\n[FACES]\n0 0 0\n"), "Surface");
    points.clear();
    ASSERT_TRUE(reader.readPUSTop(points, last));
    EXPECT_EQ(last, 3);
    EXPECT_EQ(points[0], TripletF(1000.0f, 2.0f, 3.0f));
    EXPECT_EQ(reader.getVariableNames(), std::vector<std::string>{"P"});
    EXPECT_EQ(reader.getVariableUnits("P"), ""); // no unit given
}

TEST_F(UserGeometryReaderTest, BadInputNamesTheFileAndLine) {
    EXPECT_EQ(failure("0 0 0\n1 1\n"), "File '<file>', line 2: expected 3 values, found 2.");
    EXPECT_EQ(failure("X [m], Y [m], Z [m], T [K]\n0 0 0 1\n0 0 x 1\n"),
              "File '<file>', line 3: 'x' is not a finite number (column 'Z').");
    EXPECT_EQ(failure("0 0 nan\n"), "File '<file>', line 1: 'nan' is not a finite number (column 'Z').");
    EXPECT_EQ(failure("0 0 +-1\n"), "File '<file>', line 1: '+-1' is not a finite number (column 'Z').");
    EXPECT_EQ(failure("X [s], Y, Z\n"), "File '<file>', line 1: column 'X': 's' is not a unit of length.");
    EXPECT_EQ(failure("X, Y, Z, T [furlongs]\n"), "File '<file>', line 1: column 'T': 'furlongs' is not a unit.");
    EXPECT_EQ(failure("X, Y, Z, T [K\n"),
              "File '<file>', line 1: column 'T [K': the unit must be one text in square brackets after the name.");
    EXPECT_EQ(failure("X, Y, , Z\n"), "File '<file>', line 1: column 3 has no name.");
    EXPECT_EQ(failure("X, Y, Z, x\n"), "File '<file>', line 1: column 'x' appears twice.");
    EXPECT_EQ(failure("# only two\nX, Y, T\n"), "File '<file>', line 2: the columns must include X, Y and Z.");
    EXPECT_EQ(failure("[Lines]\n0 1\n"), "File '<file>', line 1: no points before the section '[Lines]'.");
    EXPECT_EQ(failure("[Points]\n0 0 0\n"), "File '<file>', line 1: unknown section '[Points]'.");
    EXPECT_EQ(failure("[Name\n"), "File '<file>', line 1: the section marker '[Name' has no closing ']'.");
    EXPECT_EQ(failure("0 0 0\n[Name]\nlate\n"), "File '<file>', line 2: [Name] must come first, and only once.");
    EXPECT_EQ(failure("[Data]\n0 0 0\n[Data]\n"),
              "File '<file>', line 3: [Data] must come before the points, and only once.");
    EXPECT_EQ(failure("\n[Name]\n# no title\n"), "File '<file>', line 2: [Name] is not followed by a title.");
    EXPECT_EQ(failure("# nothing\n\n"), "File '<file>' holds no points.");
    EXPECT_EQ(failure("X, Y, Z\n"), "File '<file>' holds no points.");

    PointListReader reader;
    reader.initialize((fs::temp_directory_path() / "zel_no_such_point_list.txt").string(), "Missing");
    TripletZELVector points;
    int last = 0;
    EXPECT_THROW(reader.readPUSTop(points, last), data::notFound);
}

TEST_F(UserGeometryReaderTest, ObjectGenerationGoesToTheInstalledGenerator) {
    static const UserGeometryReader* seen = nullptr;
    const UserGeometryReader::ObjectGenerator before = UserGeometryReader::getObjectGenerator();
    PointListReader reader;
    UserGeometryReader::setObjectGenerator(nullptr);
    reader.generateOKLObjects(); // nothing installed: nothing happens
    UserGeometryReader::setObjectGenerator([](const UserGeometryReader& r) { seen = &r; });
    reader.generateOKLObjects();
    EXPECT_EQ(seen, &reader);
    UserGeometryReader::setObjectGenerator(before);
}

TEST_F(UserGeometryReaderTest, RelativeNamesAreFoundBesideTheSessionFirst) {
    // A file beside the "session" folder, and a name that exists only from the working
    // directory: the first resolves into the folder, the second stays as given.
    const fs::path folder = fs::temp_directory_path() / "zel_relative_base";
    fs::create_directories(folder);
    std::ofstream(folder / "points.txt", std::ios::binary) << "0 0 0\n1 0 0\n";
    {
        const FileReaderBase::RelativeBaseScope base(folder.string());
        PointListReader reader;
        reader.initialize("points.txt", "Polyline 1");
        EXPECT_EQ(fs::path(reader.getFilename()), folder / "points.txt");
        TripletZELVector points;
        int last = 0;
        reader.readPUSTop(points, last);
        EXPECT_EQ(points.size(), 2u);
        EXPECT_EQ(FileReaderBase::resolve("not-there.txt"), "not-there.txt");
        const std::string absolute = (folder / "elsewhere.txt").string();
        EXPECT_EQ(FileReaderBase::resolve(absolute), absolute);
    }
    // Outside the scope the base is gone again.
    EXPECT_TRUE(FileReaderBase::getRelativeBase().empty());
    EXPECT_EQ(FileReaderBase::resolve("points.txt"), "points.txt");
    fs::remove_all(folder);
}

} // namespace
} // namespace zel::test
