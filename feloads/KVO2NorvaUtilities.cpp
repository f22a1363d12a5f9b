#include "feloads/KVO2NorvaUtilities.h"

#include "datastorage/DataStorageBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/core/StringUtilities.h"
#include "framework/core/ZELStream.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitSystemHandler.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

namespace zel {

namespace {

const char* const kClass = "KVO2NorvaUtilities";
constexpr float kEpsilon = 1.1920929e-7f;

using Attributes = std::vector<std::pair<const char*, std::string>>;

// One block of the report: every element on a line of its own, two blanks of indentation
// per level below the root.
class BlockWriter {
public:
    void open(int level, const char* tag, const Attributes& attributes = {}) {
        startTag(level, tag, attributes);
        m_out << "\n";
    }
    void leaf(int level, const char* tag, const Attributes& attributes, const std::string& text) {
        startTag(level, tag, attributes);
        m_out << KVO2NorvaUtilities::escape(text) << "</" << tag << ">\n";
    }
    void close(int level, const char* tag) {
        m_out << std::string(std::size_t(2 * level), ' ') << "</" << tag << ">\n";
    }
    std::string str() const { return m_out.str(); }

private:
    void startTag(int level, const char* tag, const Attributes& attributes) {
        m_out << std::string(std::size_t(2 * level), ' ') << "<" << tag;
        for (const auto& [name, value] : attributes)
            m_out << " " << name << "=\"" << KVO2NorvaUtilities::escape(value) << "\"";
        m_out << ">";
    }
    std::ostringstream m_out;
};

// A figure of the report: the expression's value in the user's unit of `quantity`.
struct Figure {
    double value = 0.0;
    std::string units;
};

Figure evaluate(const std::string& expression, const char* quantity) {
    const Quantity raw = ExpressionEvaluator::evalSingleValue(expression, std::string());
    const std::string units = EngineUnitSystemHandler::instance()->getPreferredUnitFor(quantity);
    const Quantity converted = raw.isUndefined() || raw.getUnits().empty() ? raw : raw.convertTo(units);
    return {double(converted.getValue()), units};
}

// Six significant digits, fixed or exponent form as the value needs.
std::string number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// The results file of the boundary's case, or empty.
std::string resultsFile(const std::string& boundary) {
    OKLCoreAPI& api = *OKLCoreAPI::instance();
    const OKLObject* object = api.getObjectByPath(api.toValidatedPath(boundary));
    if (object == nullptr || !object->hasParam("Case Name")) return std::string();
    const OKLObject* reader = api.getObjectByPath("/DATA READER/CASE:" + object->getValue("Case Name"));
    return reader != nullptr && reader->hasParam("Current Case Name") ? reader->getValue("Current Case Name")
                                                                      : std::string();
}

// The inputs both reports take from the load surface.
struct Transfer {
    std::string boundary;
    std::string resultsFile;
    std::string loadFile;
    std::string surface;
};

Transfer transferOf(GeometricOKLObject* surface) {
    if (surface == nullptr)
        throw internal::nullPointer(kClass, "transferOf", _("Null pointer to %s.", "the user surface"), ErrError);
    Transfer t;
    t.boundary = surface->getValue("Associated Boundary");
    t.resultsFile = resultsFile(t.boundary);
    t.loadFile = surface->getValue("Input File");
    t.surface = surface->getName();
    return t;
}

void writeFiles(BlockWriter& block, const Transfer& t) {
    block.leaf(2, "KVOFILE", {}, t.resultsFile);
    block.leaf(2, "NORVAFILE", {}, t.loadFile);
}

void reportFailure(const char* operation, const char* what, const std::string& reason) {
    ErrorProgressReporter::instance()->reportError(
        ErrorMsg(kClass, operation, std::string(what) + "\n" + reason, ErrError));
}

// Runs `write`; a failure is reported as the operation's failure to write its report.
template <typename F> void guarded(const char* operation, const char* what, F&& write) {
    try {
        write();
    } catch (const Error& e) {
        reportFailure(operation, what, "because of the following errors:\n" + e.getMessage());
    } catch (...) {
        reportFailure(operation, what, "because an unknown exception was thrown.");
    }
}

} // namespace

std::string KVO2NorvaUtilities::escape(const std::string& text) { return StringUtilities::escapeXml(text); }

std::string KVO2NorvaUtilities::locationText(const std::string& location) {
    const bool plain = std::all_of(location.begin(), location.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ' ' || c == '.';
    });
    return plain ? location : "\"" + location + "\"";
}

std::string KVO2NorvaUtilities::buildExpression(const std::string& function, const std::string& variable,
                                                const std::string& phaseTest, const std::string& on,
                                                const std::string& component, bool volumeFraction,
                                                const std::string& weight, const std::string& location) {
    const std::vector<std::string> fluids = DataStorageBase::instance()->getPhases(1, "");
    const bool single = fluids.size() < 2 || ObjectDB::instance()->getTopObjectByName(phaseTest) != nullptr;
    auto one = [&](const std::string& phase) {
        std::string e = function + "( ";
        if (!phase.empty()) e += phase + ".";
        e += variable;
        if (!on.empty()) e += " on " + on;
        if (!component.empty()) e += " " + component;
        if (volumeFraction && !phase.empty()) {
            for (const char* fraction : {".Volume Fraction", ".Conservative Volume Fraction"})
                if (OKLCoreAPI::instance()->hasObject(phase + fraction)) {
                    e += " * " + phase + fraction;
                    break;
                }
        }
        if (!weight.empty()) e += " * " + weight;
        return e + " )@" + locationText(location);
    };
    if (single) return one(std::string());
    std::vector<std::string> parts;
    for (const std::string& fluid : fluids) parts.push_back(one(fluid));
    return StringUtilities::vectorToString(parts, " + ");
}

void KVO2NorvaUtilities::appendBlock(const std::string& file, const std::string& block) {
    std::vector<std::string> lines;
    if (ZELFile::exists(file)) {
        ZELStream in(file, ZELStream::Read);
        lines = in.getFileAsVector();
        in.close();
    }
    std::ostringstream out;
    bool hasRoot = false;
    for (const std::string& line : lines) {
        if (line.find("</KVO2NORVA>") != std::string::npos) {
            out << "\n";
            break;
        }
        if (line.find("<KVO2NORVA>") != std::string::npos) hasRoot = true;
        out << line << "\n";
    }
    if (!hasRoot) out << "<KVO2NORVA>\n";
    out << block << "</KVO2NORVA>\n\n";

    // Beside the old report first, so that a failed write (a full disk) loses nothing.
    const std::string scratch = file + ".tmp";
    {
        std::ofstream f(scratch, std::ios::out | std::ios::binary | std::ios::trunc);
        if (!f) throw data::error(kClass, "appendBlock", _("Cannot write the report '%s'.", scratch), ErrError);
        const std::string text = out.str();
        f.write(text.data(), std::streamsize(text.size()));
        f.close();
        if (f.fail()) {
            std::error_code ignored;
            std::filesystem::remove(scratch, ignored);
            throw data::error(kClass, "appendBlock", _("Cannot write the report '%s'.", scratch), ErrError);
        }
    }
    std::error_code ec;
    std::filesystem::rename(scratch, file, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(scratch, ignored);
        throw data::error(kClass, "appendBlock", _("Cannot replace the report '%s': %s", file, ec.message()), ErrError);
    }
}

namespace {
bool& reportWriting() {
    static bool on = true;
    return on;
}
} // namespace

void KVO2NorvaUtilities::setReportWriting(bool on) { reportWriting() = on; }

void KVO2NorvaUtilities::writeImportDiagnostics(GeometricOKLObject* surface,
                                                Geometry::ProjectionStatistics statistics) {
    guarded("writeImportDiagnostics", "Import succeeded, although could not create Projection Statistics file", [&] {
        const Transfer t = transferOf(surface);
        BlockWriter block;
        block.open(1, "IMPORT-DIAGNOSTICS");
        writeFiles(block, t);
        auto forces = [&](const std::string& location) {
            for (const char* component : {"X", "Y", "Z"}) {
                const Figure f =
                    evaluate(buildExpression("sum", "Force", "Force", "", component, false, "", location), "Force");
                block.leaf(3, "FORCE", {{"component", component}, {"units", f.units}}, number(f.value));
            }
        };
        block.open(2, "KVO-RESULTS", {{"location", t.boundary}});
        forces(t.boundary);
        block.close(2, "KVO-RESULTS");
        block.open(2, "NORVA-LOAD", {{"location", t.surface}});
        block.leaf(3, "PROJECTION-SUCCESS", {{"type", "percentage"}},
                   std::to_string(static_cast<int>(statistics.getSuccessPercentage())));
        forces(t.surface);
        block.close(2, "NORVA-LOAD");
        block.close(1, "IMPORT-DIAGNOSTICS");
        if (reportWriting()) appendBlock(kReportFile, block.str());
    });
}

void KVO2NorvaUtilities::writeExportDiagnostics(GeometricOKLObject* surface, DiagnosticsType type, VarType) {
    guarded("writeExportDiagnostics", "Export succeeded, although could not create Export Diagnostics file", [&] {
        const Transfer t = transferOf(surface);
        BlockWriter block;
        block.open(1, "EXPORT-DIAGNOSTICS");
        writeFiles(block, t);
        // One side of the transfer: `kvo` for the boundary (volume fractions applied, the
        // variables as the flow solution names them), else the surface's load variables.
        auto side = [&](const char* tag, const std::string& location, bool kvo) {
            block.open(2, tag, {{"location", location}});
            auto figure = [&](const char* element, const char* function, const char* variable, const char* phaseTest,
                              bool onSurface, const char* weight, const char* quantity) {
                const std::string expression =
                    buildExpression(function, variable, phaseTest, onSurface && !kvo ? t.surface : std::string(), "",
                                    kvo, weight, location);
                const Figure f = evaluate(expression, quantity);
                block.leaf(3, element, {{"units", f.units}}, number(f.value));
                return f.value;
            };
            if (type == TemperatureExport) {
                figure("TEMPAVERAGE", "areaAve", "Temperature", "Temperature", false, "", "Temperature");
            } else if (type == HeatTransferExport) {
                const double flow = kvo ? figure("HEATFLOW", "sum", "Heat Flux", "Velocity", false, "Area", "Power")
                                        : figure("HEATFLOW", "areaInt", "Heat Flux", "Velocity", true, "", "Power");
                if (kvo && std::abs(flow) < kEpsilon)
                    ErrorProgressReporter::instance()->reportError(
                        ErrorMsg(kClass, "writeExportDiagnostics",
                                 "NOTE: The transfer diagnostics reports zero Heat Flow.\n"
                                 "This may be due to an adiabatic boundary setting.",
                                 ErrNotice));
                figure("BULKTEMPAVERAGE", "areaAve", "Wall Adjacent Temperature", "Velocity", true, "", "Temperature");
                figure("CONVECTIONFILMCOEFF", "areaAve", "Wall Heat Transfer Coefficient", "Velocity", true, "",
                       "Heat Transfer Coefficient");
            }
            block.close(2, tag);
        };
        side("KVO-RESULTS", t.boundary, true);
        side("NORVA-LOAD", t.surface, false);
        block.close(1, "EXPORT-DIAGNOSTICS");
        if (reportWriting()) appendBlock(kReportFile, block.str());
    });
}

} // namespace zel
