#include "framework/okl/OKLProcessor.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/StringUtilities.h"
#include "framework/okl/ActionExecutor.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/ObjectDB.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

namespace zel {

namespace {

const char* const kClass = "OKLCoreAPI";
const char* const kOp = "processOKL";

// `where`: the place of the failure that this one passes on, else the caller's.
[[noreturn]] void fail(int line, const std::string& problem,
                       std::source_location where = std::source_location::current()) {
    throw okl::error(kClass, kOp, _("Line %d: %s", line, problem), ErrError, where);
}

// The line without its comment: '#' starts a comment unless it is inside double quotes.
std::string stripComment(const std::string& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == '#' && !quoted)
            return line.substr(0, i);
    }
    return line;
}

std::string rtrim(const std::string& s) {
    std::size_t e = s.size();
    while (e > 0 && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\f' || s[e - 1] == '\v'))
        --e;
    return s.substr(0, e);
}

std::string ltrim(const std::string& s) {
    std::size_t b = 0;
    while (b < s.size() && (s[b] == ' ' || s[b] == '\t' || s[b] == '\f' || s[b] == '\v')) ++b;
    return s.substr(b);
}

struct LogicalLine {
    int line;
    std::string text; // comment removed, continuations joined, trimmed
};

std::vector<LogicalLine> logicalLines(const std::string& text) {
    std::vector<std::string> physical;
    std::size_t start = 0;
    // A line end closes a line; it does not open an empty one at the end of the text.
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            physical.push_back(text.substr(start));
            break;
        }
        physical.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    std::vector<LogicalLine> out;
    for (std::size_t i = 0; i < physical.size(); ++i) {
        const int first = static_cast<int>(i) + 1;
        std::string joined = rtrim(stripComment(physical[i]));
        // A trailing '\' joins the next line, its leading blanks removed, to this one.
        while (!joined.empty() && joined.back() == '\\') {
            joined.pop_back();
            if (i + 1 >= physical.size()) fail(first, "the line is continued with '\\' but the text ends.");
            ++i;
            joined += ltrim(rtrim(stripComment(physical[i])));
        }
        out.push_back({first, StringUtilities::trim(joined)});
    }
    return out;
}

bool badChar(const std::string& s, bool colonAllowed) {
    for (char c : s)
        if (c == '/' || c == '=' || c == '#' || (!colonAllowed && c == ':')) return true;
    return false;
}

std::string blockHeader(const OKLStatement& b) { return b.name == b.type ? b.type + ":" : b.type + ": " + b.name; }

} // namespace

std::vector<OKLStatement> OKLProcessor::parse(const std::string& text) {
    std::vector<OKLStatement> top;
    std::vector<OKLStatement> open; // open blocks, innermost last
    for (const LogicalLine& ll : logicalLines(text)) {
        const std::string& t = ll.text;
        if (t.empty()) continue;
        if (t == "END") {
            if (open.empty()) fail(ll.line, "END without an open block.");
            OKLStatement done = std::move(open.back());
            open.pop_back();
            (open.empty() ? top : open.back().items).push_back(std::move(done));
            continue;
        }
        if (t.front() == '>') {
            if (!open.empty())
                fail(ll.line, _("an action cannot stand inside the block '%s' opened at line %d.",
                                blockHeader(open.back()), open.back().line));
            const std::string rest = StringUtilities::trim(std::string_view(t).substr(1));
            const std::size_t blank = rest.find_first_of(" \t");
            OKLStatement a;
            a.kind = OKLStatement::Action;
            a.line = ll.line;
            a.name = rest.substr(0, blank);
            a.value = blank == std::string::npos ? std::string() : StringUtilities::trim(rest.substr(blank));
            if (a.name.empty()) fail(ll.line, "an action line names no action.");
            top.push_back(std::move(a));
            continue;
        }
        const std::size_t sep = t.find_first_of(":=");
        if (sep == std::string::npos)
            fail(ll.line, _("cannot read '%s': expected 'TYPE: Name', 'Name = value', '> action' or END.", t));
        if (t[sep] == '=') {
            OKLStatement p;
            p.kind = OKLStatement::Param;
            p.line = ll.line;
            p.name = StringUtilities::trim(std::string_view(t).substr(0, sep));
            p.value = StringUtilities::trim(std::string_view(t).substr(sep + 1));
            if (p.name.empty()) fail(ll.line, "a parameter line has no parameter name.");
            if (badChar(p.name, false)) fail(ll.line, _("invalid parameter name '%s'.", p.name));
            if (open.empty()) fail(ll.line, _("parameter '%s' is outside any object block.", p.name));
            open.back().items.push_back(std::move(p));
            continue;
        }
        OKLStatement b;
        b.kind = OKLStatement::Block;
        b.line = ll.line;
        b.type = StringUtilities::trim(std::string_view(t).substr(0, sep));
        b.name = StringUtilities::trim(std::string_view(t).substr(sep + 1));
        if (b.type.empty()) fail(ll.line, _("the block header '%s' has no object type.", t));
        if (badChar(b.type, false) || b.type == "END") fail(ll.line, _("invalid object type '%s'.", b.type));
        if (b.name.empty()) b.name = b.type; // "CALCULATOR:" names the singleton after its type
        if (badChar(b.name, false)) fail(ll.line, _("invalid object name '%s'.", b.name));
        open.push_back(std::move(b));
    }
    if (!open.empty()) fail(open.back().line, _("the block '%s' is not closed with END.", blockHeader(open.back())));
    return top;
}

struct OKLProcessor::Applied {
    // Objects created by the block, outermost first, with their new owner (null: the top
    // level). Only the outermost new objects need undoing; their children go with them.
    std::vector<std::pair<OKLObject*, OKLObject*>> created;
    // Existing objects whose parameters the block touched, with their earlier parameters.
    std::vector<std::pair<OKLObject*, std::vector<std::pair<std::string, std::string>>>> snapshots;
    std::vector<std::string> newPaths;    // every created object, parents first
    std::vector<std::string> finishPaths; // objects to finish, children before parents
};

void OKLProcessor::applyInto(const OKLStatement& block, OKLObject* parent, bool parentIsNew, int mode,
                             Applied& applied) {
    ObjectDB* db = ObjectDB::instance();
    OKLObject* object = parent ? parent->findChild(block.name) : db->getTopObjectByName(block.name);
    bool isNew = false;
    bool hasParams = false;
    for (const OKLStatement& item : block.items) hasParams = hasParams || item.kind == OKLStatement::Param;

    if (object) {
        if (object->getType() != block.type)
            fail(block.line, _("cannot open '%s': the object '%s' has type '%s'.", blockHeader(block),
                               object->getPath(), object->getType()));
        if (hasParams) {
            applied.snapshots.emplace_back(object, object->m_params);
            if (mode == OKLCoreAPI::ModeReplace) object->clearParameters();
        }
    } else {
        std::unique_ptr<OKLObject> made = ObjectFactory::instance()->createObject(block.type, block.name);
        if (made->getType() != block.type || made->getName() != block.name)
            fail(block.line, _("the factory of type '%s' made an object of type '%s' named '%s'.", block.type,
                               made->getType(), made->getName()));
        object = parent ? parent->addChild(std::move(made)) : db->attachTop(std::move(made));
        isNew = true;
        // Children of a new object go with it, so only outermost new objects are recorded.
        if (!parentIsNew) applied.created.emplace_back(object, parent);
        applied.newPaths.push_back(object->getPath());
    }

    for (const OKLStatement& item : block.items) {
        if (item.kind == OKLStatement::Param)
            object->setParameter(item.name, item.value);
        else
            applyInto(item, object, isNew, mode, applied);
    }
    if (isNew || hasParams) {
        std::string path = object->getPath();
        if (std::find(applied.finishPaths.begin(), applied.finishPaths.end(), path) == applied.finishPaths.end())
            applied.finishPaths.push_back(std::move(path));
    }
}

void OKLProcessor::rollback(Applied& applied) {
    ObjectDB* db = ObjectDB::instance();
    // Parameters first (the objects may lie under new ones only if they are new themselves,
    // and new objects have no snapshot), then the new objects, innermost records last.
    for (auto it = applied.snapshots.rbegin(); it != applied.snapshots.rend(); ++it)
        it->first->m_params = std::move(it->second);
    for (auto it = applied.created.rbegin(); it != applied.created.rend(); ++it) {
        auto [object, parent] = *it;
        if (parent)
            parent->releaseChild(object); // destroyed here
        else
            db->detachTop(object);
    }
}

void OKLProcessor::applyBlock(const OKLStatement& block, int mode) {
    Applied applied;
    try {
        applyInto(block, nullptr, false, mode, applied);
    } catch (const okl::error&) {
        rollback(applied);
        throw;
    } catch (const Error& e) {
        rollback(applied);
        fail(block.line, _("cannot apply the block '%s': %s", blockHeader(block), e.getMessage()),
             e.getErrorMsg().where());
    } catch (...) {
        rollback(applied);
        throw;
    }

    // The block is in: tell the observers of the new objects, then finish every object
    // the block created or set parameters of, children before parents. A calc function or
    // observer may change the database meanwhile, so objects are looked up again by path.
    ObjectDB* db = ObjectDB::instance();
    for (const std::string& path : applied.newPaths)
        if (OKLObject* o = db->getObjectByPath(path)) db->notify(NotifyObjectCreated, *o);
    std::exception_ptr firstFailure;
    for (const std::string& path : applied.finishPaths) {
        OKLObject* o = db->getObjectByPath(path);
        if (!o) continue;
        try {
            o->finishParameters();
        } catch (...) {
            if (!firstFailure) firstFailure = std::current_exception();
        }
    }
    if (firstFailure) std::rethrow_exception(firstFailure);
}

void OKLProcessor::process(const std::string& text, int mode,
                           const std::function<void(const OKLStatement&, double)>& applied) {
    if (mode != OKLCoreAPI::ModeReplace && mode != OKLCoreAPI::ModeUpdate)
        throw internal::badParam(kClass, kOp, _("Unknown update mode %d.", mode));
    const std::vector<OKLStatement> statements = parse(text);
    for (const OKLStatement& s : statements) {
        const auto start = std::chrono::steady_clock::now();
        if (s.kind == OKLStatement::Action)
            ActionDispatcher::instance()->dispatch(s.name, s.value);
        else
            applyBlock(s, mode);
        if (applied) applied(s, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

} // namespace zel
