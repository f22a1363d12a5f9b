#pragma once
// The session commands of pictures and profile plots, and the PICTURE and PLOT objects
// that keep their settings (docs/command-language.md, "Pictures and plots"):
//
//   > picture LOCATION, VARIABLE, FILE[, Name = value...]
//   > picture PICTURE_OBJECT[, Name = value...]
//   > plot LINE_OR_POLYLINE, EXPRESSION[, EXPRESSION...], FILE[, Name = value...]
//   > plot PLOT_OBJECT[, Name = value...]
//
// Options are the parameters of the objects (names in any case). Pictures are written only
// when a picture folder is set (zelpost --pictures DIR): relative file names are taken in
// it. Without one, a command is checked (its settings and location) and skipped, with one
// notice per session runner.
#include "framework/okl/ActionExecutor.h"
#include "host/render/Picture.h"
#include "host/render/Plot.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zel::host::render {

// One picture or plot written.
struct PictureRecord {
    std::filesystem::path file;
    std::string summary;                  // "Pressure [Pa] on Mid Plane, 1600 x 1200, -12.5 to 45.25"
    std::optional<PictureResult> picture; // what a picture shows
    std::optional<PlotResult> plot;       // or a plot
};

class PictureCommands : public ActionExecutor {
public:
    // Registers the PICTURE and PLOT object types (again: their parameters are fixed).
    static void registerObjectTypes();

    // {"picture" or "plot", items...}. Failures pass on (data::invalid, data::notFound,
    // data::error for a file that cannot be written) and leave no file behind.
    void invoke(const std::vector<std::string>& action) override;

    void setFolder(std::optional<std::filesystem::path> folder) { m_folder = std::move(folder); }
    const std::optional<std::filesystem::path>& folder() const { return m_folder; }
    const std::vector<PictureRecord>& written() const { return m_written; }
    std::size_t skipped() const { return m_skipped; }

private:
    void picture(const std::vector<std::string>& action);
    void plot(const std::vector<std::string>& action);
    // The file to write, or nullopt (and the notice) when pictures are not written.
    std::optional<std::filesystem::path> target(const std::string& file);

    std::optional<std::filesystem::path> m_folder;
    std::vector<PictureRecord> m_written;
    std::size_t m_skipped = 0;
};

} // namespace zel::host::render
