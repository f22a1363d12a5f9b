#pragma once
// Helpers of the host tests: a fresh Host per test, small hand-made cases, result lookup.
#include "domain/DomainGeometryBase.h"
#include "framework/core/Error.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Geometry.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "host/CaseLoader.h"
#include "host/Host.h"
#include "host/readers/CaseData.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace zel::host::test {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ErrorProgressReporter::instance()->clear();
        host = std::make_unique<Host>();
    }
    void TearDown() override {
        host.reset();
        ErrorProgressReporter::instance()->clear();
    }
    // A new Host in place of the test's (one Host at a time).
    void restartHost() {
        host.reset();
        host = std::make_unique<Host>();
    }
    static GeometricOKLObject* object(const std::string& name) {
        return dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(name));
    }
    // The single geometry of a boundary object.
    static Geometry* boundaryGeometry(const std::string& name) {
        GeometricOKLObject* o = object(name);
        if (o == nullptr || o->getNumGeometries() != 1) return nullptr;
        return o->getGeometry(o->getGeometryNames().front());
    }
    DomainGeometryBase* domain(const std::string& name) {
        return dynamic_cast<DomainGeometryBase*>(host->storage().getGeometry(name));
    }
    // The value of the last result whose call is `call`.
    double result(const std::string& call) {
        for (auto it = host->results().rbegin(); it != host->results().rend(); ++it)
            if (it->call == call) {
                EXPECT_TRUE(it->value.has_value()) << call << " is undefined";
                return it->value.value_or(0.0);
            }
        ADD_FAILURE() << "no result for " << call;
        return 0.0;
    }
    // Runs `text`, which must fail with an error that names `source` and says `message`.
    void expectSessionFails(const std::string& text, const std::string& source, const std::string& message) {
        try {
            host->runSession(text, source);
            ADD_FAILURE() << "no error; expected: " << message;
        } catch (const Error& e) {
            EXPECT_NE(e.getMessage().find(source), std::string::npos) << e.getMessage();
            EXPECT_NE(e.getMessage().find(message), std::string::npos) << e.getMessage();
        }
    }
    static std::string reports() {
        std::string out;
        for (const auto& r : ErrorProgressReporter::instance()->getReports()) out += r.toString() + "\n";
        return out;
    }

    std::unique_ptr<Host> host;
};

// Load options of the density `rho` and the flows from `flows`.
inline LoadOptions withDensity(double rho, FlowSource flows = FlowSource::Faces) {
    LoadOptions options;
    options.density = rho;
    options.boundaryFlows = flows;
    return options;
}

// Whether `text` holds `part`; a failure shows both.
inline ::testing::AssertionResult contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no '" << part << "' in:\n" << text;
}

inline std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The root element's name and "width" attribute of an XML text, both empty when the text is
// not well-formed XML.
inline std::pair<std::string, std::string> parseXml(const std::string& text) {
    std::pair<std::string, std::string> root;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &root);
    XML_SetStartElementHandler(parser, [](void* data, const XML_Char* name, const XML_Char** attributes) {
        auto* r = static_cast<std::pair<std::string, std::string>*>(data);
        if (!r->first.empty()) return;
        r->first = name;
        for (int i = 0; attributes[i] != nullptr; i += 2)
            if (std::string(attributes[i]) == "width") r->second = attributes[i + 1];
    });
    const bool ok = XML_Parse(parser, text.data(), int(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok ? root : std::pair<std::string, std::string>();
}

// The rows of numbers of a comma-separated file after its header line, which `header` receives.
inline std::vector<std::vector<double>> csvRows(const std::filesystem::path& file, std::string& header) {
    std::ifstream in(file);
    std::getline(in, header);
    std::vector<std::vector<double>> rows;
    for (std::string line; std::getline(in, line);) {
        std::stringstream fields(line);
        rows.emplace_back();
        for (std::string field; std::getline(fields, field, ',');) rows.back().push_back(std::stod(field));
    }
    return rows;
}

// A new folder of the system's temporary folder, the working folder while the object lives
// (reports and exports go to the working folder).
struct WorkingFolder {
    explicit WorkingFolder(const std::string& prefix)
        : path(std::filesystem::temp_directory_path() /
               (prefix + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))),
          previous(std::filesystem::current_path()) {
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~WorkingFolder() {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    const std::filesystem::path path, previous;
};

// A file of `text` in the folder `folder` of the system's temporary folder.
inline std::filesystem::path scratchFile(const std::string& folder, const std::string& name, const std::string& text) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / folder;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << text;
    return dir / name;
}

// The repository's examples folder.
inline std::filesystem::path examplesFolder() {
    return std::filesystem::path(ZEL_TEST_DATA_DIR) / ".." / ".." / "examples";
}

// A unit cube [0,1]^3 of one hexahedron split into `n`^3 hexahedra, with point data
// p = 1 + 2x + 3y - z and U = (1, 0, 0) and a cell array "c" = cell index.
inline CaseData cubeCase(int n = 2) {
    CaseData data;
    data.sourceFile = "cube.vtu";
    MeshBlock b;
    b.name = "cube";
    b.path = "cube";
    b.sourceFile = "cube.vtu";
    std::vector<float> pts, p, u;
    auto id = [&](int i, int j, int k) { return i + (n + 1) * (j + (n + 1) * k); };
    for (int k = 0; k <= n; ++k)
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const float x = float(i) / float(n), y = float(j) / float(n), z = float(k) / float(n);
                pts.insert(pts.end(), {x, y, z});
                p.push_back(1 + 2 * x + 3 * y - z);
                u.insert(u.end(), {1.0f, 0.0f, 0.0f});
            }
    b.points = RealArray(pts);
    std::vector<float> c;
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                b.cells.types.push_back(VtkHexahedron);
                for (int q : {id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k), id(i, j + 1, k), id(i, j, k + 1),
                              id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)})
                    b.cells.connectivity.push_back(q);
                b.cells.offsets.push_back(std::int64_t(b.cells.connectivity.size()));
                c.push_back(float(c.size()));
            }
    b.pointData.push_back({"p", 1, RealArray(p)});
    b.pointData.push_back({"U", 3, RealArray(u)});
    b.cellData.push_back({"c", 1, RealArray(c)});
    validateBlock(b);
    data.blocks.push_back(std::move(b));
    return data;
}

} // namespace zel::host::test
