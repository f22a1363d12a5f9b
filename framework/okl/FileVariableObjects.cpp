#include "framework/okl/FileVariableObjects.h"

#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/UserGeometryReader.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitsConverter.h"

namespace zel {

void declareFileVariables(const UserGeometryReader& reader) {
    ObjectDB& db = *ObjectDB::instance();
    for (const std::string& name : reader.getFileVariableNames()) {
        if (const OKLObject* existing = db.getObjectByName(name)) {
            if (!existing->isA("variable"))
                ErrorProgressReporter::instance()->reportError(
                    ErrorMsg("UserGeometryReader", "generateOKLObjects",
                             _("The file variable '%s' is not declared: an object '%s' of type %s exists.", name, name,
                               existing->getType()),
                             ErrWarning));
            continue;
        }
        std::unique_ptr<OKLObject> object = ObjectFactory::instance()->createObject("SCALAR VARIABLE", name);
        object->setParameter("Related Object", reader.getObjectName());
        object->setParameter("Variable Dimensions",
                             UnitsConverter::instance()->dimsStringFromUnits(reader.getVariableUnits(name)));
        object->setParameter("Variable Description", _("Read from file '%s'", reader.getFilename()));
        db.addObject(std::move(object));
    }
}

} // namespace zel
