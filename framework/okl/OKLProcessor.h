#pragma once
// Reader and applier of command text (the grammar is in docs/command-language.md). Used by
// OKLCoreAPI::processOKL; public so that the parser can be tested on its own.
#include <functional>
#include <string>
#include <vector>

namespace zel {

class OKLObject;

// One statement of command text: a block (with its parameter lines and nested blocks in
// text order) or an action line.
struct OKLStatement {
    enum Kind { Block, Param, Action };
    Kind kind = Block;
    int line = 0;                    // first line of the statement (1-based)
    std::string type;                // Block: object type
    std::string name;                // Block: object name (the type for "TYPE:"); Param: name; Action: action name
    std::string value;               // Param: value text; Action: argument text
    std::vector<OKLStatement> items; // Block: parameters and nested blocks, in text order
};

class OKLProcessor {
public:
    // Reads the whole text into top-level statements (blocks and actions). okl::error
    // "Line N: problem" for the first malformed line.
    static std::vector<OKLStatement> parse(const std::string& text);

    // Parses, then applies each statement in order (see OKLCoreAPI::processOKL); `applied`,
    // when set, gets each applied statement and its wall time in seconds.
    static void process(const std::string& text, int mode,
                        const std::function<void(const OKLStatement&, double)>& applied = {});

private:
    struct Applied;
    static void applyBlock(const OKLStatement& block, int mode);
    static void applyInto(const OKLStatement& block, OKLObject* parent, bool parentIsNew, int mode, Applied& applied);
    static void rollback(Applied& applied);
};

} // namespace zel
