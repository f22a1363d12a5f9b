#pragma once
// Path-level access to the object database and the entry point of the command language.
// The grammar of the command text is described in docs/command-language.md.
#include "framework/okl/OKLObject.h"
#include "framework/okl/ParamDefinition.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zel {

struct OKLStatement;

class OKLCoreAPI {
public:
    // processOKL modes.
    enum Mode : int {
        ModeReplace = 0, // a re-opened block first removes the set parameters of its object
        ModeUpdate = 1   // a re-opened block changes only the parameters it gives
    };

    static OKLCoreAPI* instance();

    // nameOrPath: a name ("Slice 1", see ObjectDB::getObjectByName) or a path
    // ("/PLANE:Slice 1", "PLANE:Slice 1", "/LIBRARY/ROX/EXPRESSIONS"). Text with '/' or
    // ':' is a path; a path without the leading '/' starts at the top level.
    bool hasObject(const std::string& nameOrPath) const;
    // The object at a path, or null.
    OKLObject* getObjectByPath(const std::string& path) const;
    // The top-level object of that name, or null.
    OKLObject* getTopObjectByName(const std::string& name) const;
    // The canonical path of an existing object given by name or path ("Plane 1" ->
    // "/PLANE:Plane 1", "/ PLANE : Plane 1" -> "/PLANE:Plane 1"). data::notFound naming
    // the text when no object is found.
    std::string toValidatedPath(const std::string& nameOrPath) const;
    // The parameters of the object at a path (filter as OKLObject::getParameters).
    // data::notFound when there is no such object.
    std::vector<std::pair<std::string, std::string>>
    getObjectParamsByPath(const std::string& nameOrPath,
                          int filter = OKLObject::StateSetParams | OKLObject::StateDefaultParams) const;
    // The parameters of an object type with their defaults (empty for a type that defines
    // none or is not registered).
    std::vector<ParamDefinition> getParamsForObjectType(const std::string& type) const;

    // Applies command text to the database (see docs/command-language.md). The whole text
    // is read first: a syntax error raises okl::error naming the line, and nothing is
    // applied. Then blocks and actions are applied in order; each top-level block is
    // applied as a whole or not at all. A block that cannot be applied (an object of that
    // name with another type) raises okl::error naming its line; blocks before it stay
    // applied, nothing after it runs. Failures of actions and calc functions pass on
    // unchanged. mode: ModeUpdate (1) or ModeReplace (0); other values internal::badParam.
    // `applied`, when set, is called after each top-level statement that was applied, with
    // its wall time in seconds.
    using StatementTimer = std::function<void(const OKLStatement& statement, double seconds)>;
    void processOKL(const std::string& text, int mode = ModeUpdate, const StatementTimer& applied = {});

private:
    OKLCoreAPI() = default;
    static OKLCoreAPI* m_instance;
};

} // namespace zel
