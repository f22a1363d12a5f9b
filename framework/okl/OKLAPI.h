#pragma once
// Descriptions of objects and parameters by path, and deletion by path.
#include <string>
#include <vector>

namespace zel {

class OKLAPI {
public:
    struct ObjectInfo {
        std::string name;  // object name or parameter name
        std::string kind;  // "Object" or "Param"
        std::string type;  // object type; for a parameter the type of its object
        std::string path;  // object path; for a parameter the path of its object
        std::string value; // parameter value text; empty for an object

        const std::string& getName() const { return name; }
        const std::string& getKind() const { return kind; }
        const std::string& getType() const { return type; }
        const std::string& getPath() const { return path; }
        const std::string& getValue() const { return value; }
        bool isObject() const { return kind == "Object"; }
        bool isParam() const { return kind == "Param"; }
    };

    static OKLAPI* instance();

    // The object at path (a name or a path, as OKLCoreAPI::hasObject) and everything under
    // it, depth first: the object's record, its parameters (set ones in setting order,
    // then the type's defaults), then each child's records in the same way.
    // okl::error when there is no such object.
    std::vector<ObjectInfo> getObjectInfo(const std::string& path) const;
    // Deletes the object and its children. okl::error when there is no such object.
    void deleteObj(const std::string& path);

private:
    OKLAPI() = default;
    static OKLAPI* m_instance;
};

} // namespace zel
