#include "host/CommandLine.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "host/Collective.h"
#include "host/DemoCase.h"
#include "host/Host.h"
#include "host/NameTable.h"
#include "host/ParallelFiles.h"
#include "host/readers/PieceReader.h"
#include "host/render/PictureCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace zel::host {
namespace {

struct Options {
    bool demo = false, help = false, json = false, timings = false, verbose = false;
    std::string caseFile;
    std::vector<std::string> sessions;
    std::vector<std::string> expressions;
    std::string vtkOut;
    std::string pictures;
    std::optional<double> density;
    FlowSource boundaryFlows = FlowSource::Faces;
};

// Throws std::invalid_argument with the message for the user.
Options parse(const std::vector<std::string>& args) {
    Options o;
    bool inExpressions = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* what) -> const std::string& {
            if (i + 1 >= args.size()) throw std::invalid_argument(_("%s needs %s", a, what));
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--demo") {
            o.demo = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--timings") {
            o.timings = true;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--vtk-out") {
            o.vtkOut = value("a folder");
        } else if (a == "--pictures") {
            o.pictures = value("a folder");
        } else if (a == "--density") {
            const std::string& text = value("a density in kg m^-3");
            char* end = nullptr;
            const double d = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !(d > 0.0) || !std::isfinite(d))
                throw std::invalid_argument(_("--density needs a positive number, not '%s'", text));
            o.density = d;
        } else if (a == "--boundary-flows") {
            const std::string& text = value("points or faces");
            if (text == "faces")
                o.boundaryFlows = FlowSource::Faces;
            else if (text == "points")
                o.boundaryFlows = FlowSource::Points;
            else
                throw std::invalid_argument(_("--boundary-flows needs points or faces, not '%s'", text));
        } else if (a == "-e") {
            o.expressions.push_back(value("an expression"));
            inExpressions = true;
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            throw std::invalid_argument(_("unknown option '%s'", a));
        } else if (inExpressions) {
            o.expressions.push_back(a);
        } else if (o.caseFile.empty() && !o.demo) {
            o.caseFile = a;
        } else {
            o.sessions.push_back(a);
        }
    }
    if (!o.help && !o.demo && o.caseFile.empty()) throw std::invalid_argument("no case file given");
    return o;
}

std::string number(double v) {
    std::ostringstream s;
    s << std::setprecision(7) << v;
    return s.str();
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += _("\\u%04x", static_cast<int>(c));
            else
                out += c;
        }
    }
    return out + "\"";
}

std::optional<double> relativeError(const ResultRow& r) {
    if (!r.value || !r.analytic) return std::nullopt;
    const double scale = std::max(std::fabs(*r.analytic), 1e-30);
    return std::fabs(*r.value - *r.analytic) / scale;
}

} // namespace

std::string helpText() {
    std::ostringstream s;
    s << "zelpost: post-processing of CFD results with libZELGeomDataAccess\n"
         "\n"
         "usage:\n"
         "  zelpost CASE [SESSION...] [-e EXPRESSION...] [--json] [--vtk-out DIR] [--pictures DIR]\n"
         "          [--density RHO] [--boundary-flows points|faces] [--timings] [--verbose]\n"
         "  zelpost --demo [--json] [--vtk-out DIR] [--pictures DIR] [--timings]\n"
         "  zelpost --help\n"
         "\n"
         "CASE       a VTK file: legacy .vtk (ASCII or BINARY unstructured grid), XML .vtu / .vtp, or a\n"
         "           multiblock .vtm such as foamToVTK writes (case_N.vtm -> internal.vtu + boundary/*.vtp),\n"
         "           or a decomposed case (.pvtu / .pvtp and their pieces; under mpirun each process reads\n"
         "           its own group of pieces, docs/parallel.md)\n"
         "SESSION    a file in the command language (docs/command-language.md), applied in order; it\n"
         "           defines locations and runs actions, e.g.\n"
         "               PLANE: Plane 1\n"
         "                 Option = YZ Plane\n"
         "                 X = 0.5 [m]\n"
         "               END\n"
         "               > calculate areaAve, Pressure, Plane 1\n"
         "               > calculate massFlow, outlet\n"
         "           (> calculate help lists the calculator functions)\n"
         "-e EXPR    evaluates an expression (docs/expression-language.md) after the sessions, e.g.\n"
         "           -e \"massFlow()@outlet\"; every argument after -e that is no option is an expression\n"
         "--json     prints the results as one JSON array on stdout: elements with \"call\", \"function\",\n"
         "           \"location\", \"value\" (null when undefined) and \"units\" (and with --demo\n"
         "           \"analytic\" and \"relative error\")\n"
         "--vtk-out DIR   writes every location and boundary, with the variables on it, as VTK files\n"
         "           (under mpirun: each process its pieces, DIR/pieceN/*.vtp, and one DIR/*.pvtp each)\n"
         "--pictures DIR  writes the pictures and plots of the sessions (> picture, > plot) into DIR, created\n"
         "           when missing; without it they are skipped\n"
         "--density RHO   density in kg m^-3 of an incompressible solver's kinematic output: p, p_rgh and\n"
         "           wallShearStress are multiplied by it, and it is the density where the case has no rho\n"
         "           (default 1)\n"
         "--boundary-flows faces|points   where the boundaries' Mass Flow, Force, momentum flow and Heat\n"
         "           Flow come from: faces (the default) takes each patch face's own values (foamToVTK's\n"
         "           cell data of the patch) and splits the face's flow among its vertices, so that a\n"
         "           patch's massFlow or force is the solver's sum over its faces (surfaceFieldValue\n"
         "           sum(phi), forces); points integrates the vertex values, which the export interpolated\n"
         "           from the cells and which miss those sums by a fraction of a percent. Patches without\n"
         "           face values use the vertex values either way\n"
         "--verbose  ends every message with the place in the source code where it arose\n"
         "           ([folder/file.cpp:line]), for a bug report\n"
         "--timings  prints to stderr the wall time of each phase: reading the case file, decoding it,\n"
         "           the domain build, fields, boundary build and registering of the load, each statement\n"
         "           of each session (with its file and line) and each expression\n"
         "--demo     runs the embedded demo: a duct meshed with hexahedra, wedges, pyramids and tetrahedra\n"
         "           with analytic fields; prints every result beside its analytic value\n"
         "\n"
         "Domains and boundaries: one domain per volume block; each boundary patch is a BOUNDARY object\n"
         "named after the patch, its type from the name (inlet, outlet, opening, sym, periodic/cyclic,\n"
         "wall, else WALL); set it with  BOUNDARY: name / Boundary Type = OUTLET / END.\n"
         "A volume file alone has one boundary \"Boundary\" of all its free faces.\n"
         "\n"
         "Variables (file array -> variable):\n";
    for (const VariableName& row : nameTable())
        s << "  " << std::left << std::setw(18) << row.fileName << row.name
          << (row.factor < 0 ? " (negated: the fluid's stress on the wall)" : "")
          << (row.kinematic ? "  (kinematic)" : "") << "\n";
    s << "  other arrays keep their names; cell data without point data are averaged to the vertices.\n"
         "Derived: X, Y, Z, Density, Area, Normal, and on boundaries Mass Flow (rho U.n A, outward normal:\n"
         "inflow negative), Force (p n A + tau A: the force of the fluid on the boundary), its parts Pressure\n"
         "Force and Viscous Force, and momentum flow (Force + Mass Flow U), from the patches' face values\n"
         "where they have them (--boundary-flows). Every vector has components \"<name> X\", \"<name> Y\", \"<name> "
         "Z\".\n"
         "\n"
         "Exit status: 0 on success, 1 when anything failed (the messages go to stderr), 2 for a bad\n"
         "command line.\n";
    return s.str();
}

void printTable(const std::vector<ResultRow>& rows, std::ostream& out) {
    const bool analytic =
        std::any_of(rows.begin(), rows.end(), [](const ResultRow& r) { return r.analytic.has_value(); });
    auto function = [](const ResultRow& r) {
        const std::string call = r.expression.empty() ? r.function : r.function + "(" + r.expression + ")";
        return r.extra.empty() ? call : call + " (" + r.extra + ")";
    };
    std::size_t wf = 8, wl = 8;
    for (const ResultRow& r : rows) {
        wf = std::max(wf, function(r).size());
        wl = std::max(wl, r.location.size());
    }
    out << std::left << std::setw(int(wf)) << "function"
        << "  " << std::setw(int(wl)) << "location"
        << "  " << std::right << std::setw(14) << "value"
        << "  " << std::left << std::setw(14) << "units";
    if (analytic)
        out << std::right << std::setw(14) << "analytic"
            << "  " << std::setw(10) << "rel. error";
    out << "\n";
    for (const ResultRow& r : rows) {
        out << std::left << std::setw(int(wf)) << function(r) << "  " << std::setw(int(wl)) << r.location << "  "
            << std::right << std::setw(14) << (r.value ? number(*r.value) : std::string("undefined")) << "  "
            << std::left << std::setw(14) << r.units;
        if (analytic) {
            out << std::right << std::setw(14) << (r.analytic ? number(*r.analytic) : std::string());
            const auto e = relativeError(r);
            std::ostringstream es;
            if (e) es << std::scientific << std::setprecision(2) << *e;
            out << "  " << std::setw(10) << es.str();
        }
        out << "\n";
    }
}

void printJson(const std::vector<ResultRow>& rows, std::ostream& out) {
    out << "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ResultRow& r = rows[i];
        out << (i == 0 ? "\n" : ",\n") << "  {\"call\": " << jsonString(r.call)
            << ", \"function\": " << jsonString(r.function) << ", \"location\": " << jsonString(r.location)
            << ", \"value\": " << (r.value ? number(*r.value) : std::string("null"))
            << ", \"units\": " << jsonString(r.units);
        if (r.analytic) {
            out << ", \"analytic\": " << number(*r.analytic);
            const auto e = relativeError(r);
            out << ", \"relative error\": " << (e ? number(*e) : std::string("null"));
        }
        out << "}";
    }
    out << (rows.empty() ? "]\n" : "\n]\n");
}

namespace {
struct Idle {}; // a process of a parallel run that holds no piece
} // namespace

int runZelpost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return runZelpost(args, out, err, nullptr);
}

int runZelpost(const std::vector<std::string>& args, std::ostream& leadOut, std::ostream& leadErr,
               Collective* collective) {
    // In a run over several processes only the first one prints.
    const bool lead = collective == nullptr || collective->rank() == 0;
    std::ostream nowhere(nullptr);
    std::ostream& out = lead ? leadOut : nowhere;
    std::ostream& err = lead ? leadErr : nowhere;
    Options options;
    try {
        options = parse(args);
        if (collective != nullptr && options.demo) throw std::invalid_argument("--demo runs on one process");
    } catch (const std::invalid_argument& e) {
        err << "zelpost: " << e.what() << "\n(zelpost --help tells how to use it)\n";
        return 2;
    }
    if (options.help) {
        out << helpText();
        return 0;
    }
    ErrorProgressReporter& reporter = *ErrorProgressReporter::instance();
    reporter.setEcho(lead);
    reporter.setShowPlaces(options.verbose);
    int status = 0;
    std::string failure;
    try {
        Host host;
        host.setCollective(collective);
        if (options.timings) host.setTimings(&err);
        if (!options.pictures.empty()) {
            std::filesystem::create_directories(options.pictures);
            host.setPictureFolder(std::filesystem::path(options.pictures));
        }
        if (options.demo) {
            runDemo(host);
        } else {
            LoadOptions load;
            load.density = options.density;
            load.boundaryFlows = options.boundaryFlows;
            LoadedCase loaded;
            if (collective != nullptr) {
                // Each process reads only its own group of pieces.
                const CaseData data =
                    readCasePieces(readCaseLayout(options.caseFile), collective->rank(), collective->size());
                // More processes than pieces: the ones without any wait at the end.
                collective->setIdle(data.blocks.empty());
                if (data.blocks.empty()) throw Idle();
                loaded = host.loadCase(data, load);

            } else {
                loaded = host.loadCase(options.caseFile, load, !options.json);
            }
            if (!options.json && collective != nullptr)
                out << _("loaded %s on %d processes (the first: %d domain(s), %d boundaries, %d variables)\n",
                         options.caseFile, collective->size(), static_cast<int>(loaded.domains.size()),
                         static_cast<int>(loaded.boundaries.size()), static_cast<int>(loaded.variables.size()));
            else if (!options.json)
                out << _("loaded %s: %d domain(s), %d boundaries, %d variables\n", options.caseFile,
                         static_cast<int>(loaded.domains.size()), static_cast<int>(loaded.boundaries.size()),
                         static_cast<int>(loaded.variables.size()));
        }
        for (const std::string& session : options.sessions) host.runSessionFile(session);
        for (const std::string& expression : options.expressions) host.evaluate(expression);
        if (!options.vtkOut.empty()) {
            const std::filesystem::path folder(options.vtkOut);
            if (collective == nullptr) {
                const auto files = host.writeVtk(folder);
                if (!options.json)
                    out << _("wrote %d VTK files to %s\n", static_cast<int>(files.size()), folder.string());
            } else {
                // Each process writes its part of every location as a piece of its own; once
                // all have, the first lists them in one .pvtp per location.
                const auto files = host.writeVtk(pieceFolder(folder, collective->rank()), true);
                collective->maxOf(static_cast<int>(files.size())); // all have written
                std::string failure;
                std::vector<std::string> index;
                if (collective->rank() == 0) {
                    try {
                        index = writeParallelIndex(folder, collective->size());
                    } catch (const std::exception& e) {
                        failure = e.what();
                    }
                }
                failure = collective->firstFailure(failure);
                if (!failure.empty()) throw std::runtime_error(failure);
                if (!options.json)
                    out << _("wrote %d VTK files (.pvtp) to %s, their pieces in %s\n", static_cast<int>(index.size()),
                             folder.string(), (folder / "piece*").string());
            }
        }
        if (!options.json)
            for (const render::PictureRecord& p : host.pictures())
                out << "wrote " << p.file.string() << ": " << p.summary << "\n";
        if (options.json)
            printJson(host.results(), out);
        else if (!host.results().empty()) // a run that calculated nothing prints no empty table
            printTable(host.results(), out);
        if (host.errorCount() > 0) status = 1;
    } catch (const Idle&) {
        // nothing to do here
    } catch (const PeerFailure&) {
        status = 1; // the failing process tells why
    } catch (const Error& e) {
        failure = e.what();
        if (options.verbose) failure += " [" + e.getErrorMsg().place() + "]";
        status = 1;
    } catch (const std::exception& e) {
        failure = e.what();
        status = 1;
    }
    if (collective != nullptr) {
        bool failed = false;
        failure = collective->finish(failure, status != 0, failed);
        status = failed ? 1 : 0;
    }
    if (!failure.empty()) err << "zelpost: " << failure << "\n";
    reporter.setEcho(false);
    reporter.setShowPlaces(false);
    return status;
}

} // namespace zel::host
