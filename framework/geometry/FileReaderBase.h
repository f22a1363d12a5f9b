#pragma once
// Base of the file readers that fill a geometry from a file and then serve its variables
// (user surface, polyline and load files). An ExternalGeometry keeps its reader.
#include "framework/geometry/Containers.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel {

class Interpolant;
class Variable;

class FileReaderBase {
public:
    enum FileType : int { PolylineFile = 0, SurfaceFile = 1 };

    virtual ~FileReaderBase() = default;

    // A new variable of that name from the file's data, owned by the caller, or null. The
    // base makes a ScalarVariable (VarTypeVertex) from getVariableData.
    virtual std::unique_ptr<Variable> getVariable(const std::string& name, Interpolant* interpolant);
    // Creates the objects for what the file holds (the loader library does the work).
    virtual void generateOKLObjects() = 0;
    virtual std::vector<std::string> getVariableNames() = 0;
    // Minimum and maximum of a variable of the file.
    virtual std::pair<float, float> getRange(const std::string& name) = 0;
    // Called by initialize once the names are set.
    virtual void doInitialize() {}
    // Fills `values` with one value per vertex; false when the file has no such data.
    virtual bool getVariableData(const std::string& name, FloatZELVectorConcrete& values) = 0;
    virtual FileType getFileType() const = 0;

    // `file`: a relative name is looked for first beside the session being applied (see
    // setRelativeBase), then from the working directory.
    void initialize(const std::string& file, const std::string& objectName) {
        m_filename = resolve(file);
        m_objectName = objectName;
        doInitialize();
    }

    // The folder that relative file names in the commands being applied refer to (the
    // folder of a session file), or empty. The host sets it while it applies a session
    // file; RelativeBaseScope restores the previous one.
    static void setRelativeBase(const std::string& folder);
    static const std::string& getRelativeBase();
    class RelativeBaseScope {
    public:
        explicit RelativeBaseScope(const std::string& folder) : m_previous(getRelativeBase()) {
            setRelativeBase(folder);
        }
        ~RelativeBaseScope() { setRelativeBase(m_previous); }
        RelativeBaseScope(const RelativeBaseScope&) = delete;
        RelativeBaseScope& operator=(const RelativeBaseScope&) = delete;

    private:
        std::string m_previous;
    };
    // The file a name refers to: beside the relative base when it exists there, else as given.
    static std::string resolve(const std::string& file);
    const std::string& getFilename() const { return m_filename; }
    const std::string& getObjectName() const { return m_objectName; }

protected:
    FileReaderBase() = default;
    FileReaderBase(const FileReaderBase&) = default;
    FileReaderBase& operator=(const FileReaderBase&) = default;

private:
    std::string m_filename;
    std::string m_objectName;
};

} // namespace zel
