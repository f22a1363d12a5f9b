#include "host/readers/CaseReader.h"

#include <fstream>

#include "host/readers/FileBytes.h"
#include "host/readers/PieceReader.h"
#include "host/readers/VtkLegacyReader.h"
#include "host/readers/VtkXmlReader.h"

namespace zel::host {

namespace {

bool isLegacyFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[5] = {};
    in.read(head, 5);
    return in.gcount() == 5 && head[0] == '#' && head[1] == ' ' && (head[2] == 'v' || head[2] == 'V') &&
           (head[3] == 't' || head[3] == 'T') && (head[4] == 'k' || head[4] == 'K');
}

} // namespace

CaseData readCase(const std::filesystem::path& file, const ReadOptions& options) {
    const std::filesystem::path ext = file.extension();
    if (ext == ".pvtu" || ext == ".pvtp" || ext == ".vtm") {
        const CaseLayout layout = readCaseLayout(file);
        if (layout.decomposed) return readCasePieces(layout, 0, 1, options);
    }
    if (!isLegacyFile(file)) {
        CaseData out = readVtkXmlCase(file, options);
        joinProcessorSeams(out);
        return out;
    }
    CaseData out;
    out.sourceFile = file.string();
    out.blocks.push_back(parseVtkLegacy(readFileBytes(file, options.readTime), file.string()));
    for (const FieldArray& f : out.blocks.back().fieldData)
        if (f.name == "TimeValue" && !f.values.empty()) out.time = f.values[0];
    joinProcessorSeams(out);
    if (options.progress) options.progress(1.0);
    return out;
}

} // namespace zel::host
