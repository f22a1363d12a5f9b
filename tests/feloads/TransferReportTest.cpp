// The transfer diagnostics report: whole files after an import, a second transfer and a file
// without its root, the expressions per phase, the export figures and their note, escaped
// names, and the reports of a report that cannot be written.
#include "tests/feloads/LoadSurfaceSupport.h"

#include "feloads/KVO2NorvaUtilities.h"
#include "framework/core/Reporter.h"

#include <filesystem>

namespace zel::test {
namespace {

const char* const kReport = KVO2NorvaUtilities::kReportFile;

class TransferReportTest : public LoadSurfaceTest {
protected:
    void SetUp() override {
        LoadSurfaceTest::SetUp();
        OKLObject* reader = addObject("DATA READER", "");
        addObject("CASE", "box case", {{"Current Case Name", "box.vtu"}}, reader);
        bottom->setParameter("Case Name", "box case");
        // The geometric variables a host declares.
        addObject("SCALAR VARIABLE", "Area", {{"Variable Dimensions", "0, 2, 0, 0, 0, 0, 0, 0, 0, 0"}});
        server->resetVariableUpdateFlags();
    }
    // The import block of surface "S" on the fixture's boundary (forces of the linear stress:
    // ∫(1 + x), ∫2y, ∫(3 + x + y) over the unit square).
    std::string importBlock() const {
        const std::string forces = "      <FORCE component=\"X\" units=\"N\">1.5</FORCE>\n"
                                   "      <FORCE component=\"Y\" units=\"N\">1</FORCE>\n"
                                   "      <FORCE component=\"Z\" units=\"N\">4</FORCE>\n";
        return "  <IMPORT-DIAGNOSTICS>\n"
               "    <KVOFILE>box.vtu</KVOFILE>\n"
               "    <NORVAFILE>" +
               deckFile +
               "</NORVAFILE>\n"
               "    <KVO-RESULTS location=\"Bottom\">\n" +
               forces +
               "    </KVO-RESULTS>\n"
               "    <NORVA-LOAD location=\"S\">\n"
               "      <PROJECTION-SUCCESS type=\"percentage\">100</PROJECTION-SUCCESS>\n" +
               forces +
               "    </NORVA-LOAD>\n"
               "  </IMPORT-DIAGNOSTICS>\n";
    }
    static std::string report() { return readFile(kReport); }
    const ErrorProgressReporter::Report* findReport(const std::string& fragment) const {
        for (const auto& r : reports())
            if (r.getMessage().find(fragment) != std::string::npos) return &r;
        return nullptr;
    }
};

TEST_F(TransferReportTest, ImportsAccumulateInOneRoot) {
    GeometricOKLObject* s = loadSurface();
    EXPECT_EQ(reports().size(), 0u) << lastReport();
    EXPECT_EQ(report(), "<KVO2NORVA>\n" + importBlock() + "</KVO2NORVA>\n\n");
    // A second transfer: the first block, an empty line, the second.
    run(*s);
    EXPECT_EQ(report(), "<KVO2NORVA>\n" + importBlock() + "\n" + importBlock() + "</KVO2NORVA>\n\n");

    // A file without the root keeps its lines and gains the root after them.
    writeFile("KVO2NORVADiagnostics.xml", "notes\nof the user");
    run(*s);
    EXPECT_EQ(report(), "notes\nof the user\n<KVO2NORVA>\n" + importBlock() + "</KVO2NORVA>\n\n");
}

TEST_F(TransferReportTest, NamesAreEscaped) {
    const std::string deck = writeFile("a&b \"deck\".cdb", readFile(deckFile));
    auto* s = addTyped<GeometricOKLObject>("USER SURFACE", "S <1> & 2",
                                           {{"Option", "NORVA"},
                                            {"Input File", deck},
                                            {"File Units", "mm"},
                                            {"Associated Boundary Specified", "True"},
                                            {"Associated Boundary", "Bottom"}});
    run(*s);
    const std::string text = report();
    EXPECT_NE(text.find("<NORVA-LOAD location=\"S &lt;1&gt; &amp; 2\">"), std::string::npos) << text;
    EXPECT_NE(text.find("a&amp;b &quot;deck&quot;.cdb</NORVAFILE>"), std::string::npos) << text;
    EXPECT_EQ(KVO2NorvaUtilities::escape("plain name 1.5"), "plain name 1.5");
}

TEST_F(TransferReportTest, ExpressionsPerPhase) {
    using K = KVO2NorvaUtilities;
    // One fluid: no phase in front.
    EXPECT_EQ(K::buildExpression("sum", "Force", "Force", "", "X", false, "", "Bottom"), "sum( Force X )@Bottom");
    EXPECT_EQ(K::buildExpression("areaInt", "Heat Flux", "Velocity", "S", "", true, "", "S"),
              "areaInt( Heat Flux on S )@S");
    // A location the language would read as a difference is quoted; names stay as they are.
    EXPECT_EQ(K::buildExpression("sum", "Force", "Force", "", "Z", false, "", "wall-4"), "sum( Force Z )@\"wall-4\"");
    // Two fluids: one term per fluid, unless an object of the variable's name exists.
    storage->multiphase = {"A", "B"};
    ObjectDB::instance()->deleteObject("Force");
    EXPECT_EQ(K::buildExpression("sum", "Force", "Force", "", "Y", false, "", "Bottom"),
              "sum( A.Force Y )@Bottom + sum( B.Force Y )@Bottom");
    addObject("VECTOR VARIABLE", "Force");
    EXPECT_EQ(K::buildExpression("sum", "Force", "Force", "", "Y", false, "", "Bottom"), "sum( Force Y )@Bottom");
    // The volume fraction: "Volume Fraction", else "Conservative Volume Fraction", else none.
    addObject("SCALAR VARIABLE", "A.Volume Fraction");
    addObject("SCALAR VARIABLE", "A.Conservative Volume Fraction");
    addObject("SCALAR VARIABLE", "B.Conservative Volume Fraction");
    EXPECT_EQ(K::buildExpression("sum", "Heat Flux", "Velocity", "", "", true, "Area", "Bottom"),
              "sum( A.Heat Flux * A.Volume Fraction * Area )@Bottom + "
              "sum( B.Heat Flux * B.Conservative Volume Fraction * Area )@Bottom");
    ObjectDB::instance()->deleteObject("B.Conservative Volume Fraction");
    ObjectDB::instance()->deleteObject("Temperature"); // no mixture temperature: per fluid
    EXPECT_EQ(K::buildExpression("areaAve", "Temperature", "Temperature", "", "", true, "", "Bottom"),
              "areaAve( A.Temperature * A.Volume Fraction )@Bottom + areaAve( B.Temperature )@Bottom");
    EXPECT_EQ(K::buildExpression("areaAve", "Temperature", "Temperature", "", "", false, "", "S"),
              "areaAve( A.Temperature )@S + areaAve( B.Temperature )@S");
}

TEST_F(TransferReportTest, ExportBlocks) {
    GeometricOKLObject* s = loadSurface();
    std::filesystem::remove(kReport);
    const std::string head = "  <EXPORT-DIAGNOSTICS>\n"
                             "    <KVOFILE>box.vtu</KVOFILE>\n"
                             "    <NORVAFILE>" +
                             deckFile + "</NORVAFILE>\n";
    // A temperature export: the area averages of the wall temperature (300 + 10x + 5y).
    KVO2NorvaUtilities::writeExportDiagnostics(s, KVO2NorvaUtilities::TemperatureExport, VarTypeVertex);
    EXPECT_EQ(report(), "<KVO2NORVA>\n" + head +
                            "    <KVO-RESULTS location=\"Bottom\">\n"
                            "      <TEMPAVERAGE units=\"K\">307.5</TEMPAVERAGE>\n"
                            "    </KVO-RESULTS>\n"
                            "    <NORVA-LOAD location=\"S\">\n"
                            "      <TEMPAVERAGE units=\"K\">307.5</TEMPAVERAGE>\n"
                            "    </NORVA-LOAD>\n"
                            "  </EXPORT-DIAGNOSTICS>\n</KVO2NORVA>\n\n");
    // Another type writes both sides without figures.
    std::filesystem::remove(kReport);
    KVO2NorvaUtilities::writeExportDiagnostics(s, KVO2NorvaUtilities::DiagnosticsType(7), VarTypeVertex);
    EXPECT_EQ(report(), "<KVO2NORVA>\n" + head +
                            "    <KVO-RESULTS location=\"Bottom\">\n    </KVO-RESULTS>\n"
                            "    <NORVA-LOAD location=\"S\">\n    </NORVA-LOAD>\n"
                            "  </EXPORT-DIAGNOSTICS>\n</KVO2NORVA>\n\n");
    EXPECT_EQ(reports().size(), 0u) << lastReport();

    // A heat transfer export: heat flows (Σ q A on the boundary, ∫ q dA on the surface, which
    // carries it), the bulk temperature and the film coefficient.
    std::filesystem::remove(kReport);
    KVO2NorvaUtilities::writeExportDiagnostics(s, KVO2NorvaUtilities::HeatTransferExport, VarTypeVertex);
    const std::string text = report();
    EXPECT_NE(text.find("    <KVO-RESULTS location=\"Bottom\">\n"
                        "      <HEATFLOW units=\"W\">1500</HEATFLOW>\n"
                        "      <BULKTEMPAVERAGE units=\"K\">290.5</BULKTEMPAVERAGE>\n"
                        "      <CONVECTIONFILMCOEFF units=\"W m^-2 K^-1\">12.5</CONVECTIONFILMCOEFF>\n"
                        "    </KVO-RESULTS>\n"
                        "    <NORVA-LOAD location=\"S\">\n"
                        "      <HEATFLOW units=\"W\">1500</HEATFLOW>\n"
                        "      <BULKTEMPAVERAGE units=\"K\">290.5</BULKTEMPAVERAGE>\n"
                        "      <CONVECTIONFILMCOEFF units=\"W m^-2 K^-1\">12.5</CONVECTIONFILMCOEFF>\n"
                        "    </NORVA-LOAD>\n"),
              std::string::npos)
        << text << lastReport();
    EXPECT_EQ(findReport("zero Heat Flow"), nullptr);

    // No heat through the wall: the note, and the report all the same.
    setScalar("Heat Flux", kDimsHeatFlux, [](const TripletD&, double) { return 0.0; });
    KVO2NorvaUtilities::writeExportDiagnostics(s, KVO2NorvaUtilities::HeatTransferExport, VarTypeVertex);
    const ErrorProgressReporter::Report* note = findReport("zero Heat Flow");
    ASSERT_NE(note, nullptr);
    expectReport(*note, {.message = "NOTE: The transfer diagnostics reports zero Heat Flow.\n"
                                    "This may be due to an adiabatic boundary setting.",
                         .className = "KVO2NorvaUtilities",
                         .operation = "writeExportDiagnostics"});
    EXPECT_NE(report().find("<HEATFLOW units=\"W\">0</HEATFLOW>"), std::string::npos);
}

TEST_F(TransferReportTest, AReportThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    GeometricOKLObject* s = loadSurface();
    const std::string before = report();
    // The new report cannot be written beside the old one (a full disk would fail the same way).
    std::filesystem::create_directory(std::string(kReport) + ".tmp");
    run(*s);
    EXPECT_NE(s->getGeometry(""), nullptr); // the import itself succeeded
    const ErrorProgressReporter::Report* failure = findReport("Import succeeded");
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->getClassName(), "KVO2NorvaUtilities");
    EXPECT_EQ(failure->getOperation(), "writeImportDiagnostics");
    EXPECT_EQ(failure->getMessage().rfind("Import succeeded, although could not create Projection Statistics file\n"
                                          "because of the following errors:\n",
                                          0),
              0u);
    EXPECT_EQ(report(), before);
    KVO2NorvaUtilities::writeExportDiagnostics(s, KVO2NorvaUtilities::TemperatureExport, VarTypeVertex);
    EXPECT_NE(findReport("Export succeeded, although could not create Export Diagnostics file\n"
                         "because of the following errors:\n"),
              nullptr);
    EXPECT_EQ(report(), before);
    std::filesystem::remove(std::string(kReport) + ".tmp");

    // A figure that cannot be evaluated fails the report, not the transfer.
    ErrorProgressReporter::instance()->clear();
    s->setParameter("Associated Boundary", "Nowhere");
    KVO2NorvaUtilities::writeExportDiagnostics(s, KVO2NorvaUtilities::TemperatureExport, VarTypeVertex);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports().front().getMessage().rfind("Export succeeded", 0), 0u);
    EXPECT_EQ(report(), before);
    KVO2NorvaUtilities::writeImportDiagnostics(nullptr, Geometry::ProjectionStatistics());
    EXPECT_EQ(reports().size(), 2u);
}

} // namespace
} // namespace zel::test
