#pragma once
// The executive of the calc functions of the location types: everything about a call but the
// geometry itself. A calc function derives from it, states its Policy, and supplies the cast
// (in the policy), the build of "top" and the drawing of "render".
//
//   cast      an object that is not of the calc function's type is refused: internal::error
//             "Cast to <type> failed." (class `className`, operation "operator()") when errors
//             propagate, else a reported data::error "Bad cast of OKLObject 'p_OKLObj' to
//             <reported type>." (error type ErrInternal); this comes before any action;
//   "top"     prepare the object for an update, discard its geometries, build;
//   "colour"  the object recolours;
//   "render"  draw, update the default legend, clear the change flags (as the policy says);
//   others    the calc function's own (perform); anything else is ignored.
//
// A failure of a guarded action ("top"; with guardEveryAction also "colour" and "render")
// discards the object's geometries, so that it is left without geometry rather than with
// half of it, and then passes on or, without propagation, is reported to the
// ErrorProgressReporter and swallowed:
//   internal::error           as itself (ErrInternal with internalErrorsAsInternal, else ErrError);
//   other framework errors    as themselves, ErrError;
//   std::bad_alloc            with reportOutOfMemory: data::error "Operation '<failed
//                             operation>' failed. Insufficient memory." (ErrStdException);
//   other std::exception      data::error "Operation '<failed operation>' failed (system
//                             exception: <what>)." (ErrStdException);
//   anything else             data::error "Operation '<className>' failed with unrecognized
//                             exception." (ErrStdException).
// Failures of the actions that are not guarded pass on untouched.
#include "framework/ZelExport.h"
#include "framework/okl/CalcBase.h"

#include <string>

namespace zel {

class GeometricOKLObject;

class ZEL_API CalcFuncExecutive : public CalcBase {
public:
    struct Policy {
        const char* className;
        // The type the calc function works on, as a raised cast failure names it.
        const char* objectType;
        // The type as a reported cast failure names it (what hosts have always been shown).
        const char* reportedObjectType;
        // The object as that type (accepting<T>), or null.
        GeometricOKLObject* (*accept)(OKLObject* object);
        bool propagateErrors = true;
        bool guardEveryAction = false;
        bool clearChangeFlags = false;
        // The operation named by a reported std::exception; null: the class name.
        const char* failedOperation = nullptr;
        bool internalErrorsAsInternal = false;
        bool reportOutOfMemory = false;
    };

    template <typename T> static GeometricOKLObject* accepting(OKLObject* object) { return dynamic_cast<T*>(object); }

    // The policy of the calc functions whose failures always pass on: they take any
    // GeometricOKLObject, and their render clears the change flags.
    static Policy passingOn(const char* className);
    // The policy of the calc functions that may report their failures instead: the failures of
    // "top" follow `propagateErrors`, reports name the class, render leaves the change flags.
    static Policy reporting(const char* className, const char* objectType, const char* reportedObjectType,
                            GeometricOKLObject* (*accept)(OKLObject*), bool propagateErrors);

    void operator()(OKLObject* object, const std::string& action) final;

    bool getPropagateErrors() const { return m_policy.propagateErrors; }

protected:
    explicit CalcFuncExecutive(const Policy& policy) : m_policy(policy) {}

    // "top", once the object is prepared and without geometry: reads the parameters and
    // attaches the geometries.
    virtual void build(GeometricOKLObject& object) = 0;
    // "render": puts the object's geometries in the viewer.
    virtual void draw(GeometricOKLObject& object) = 0;
    // Any other action; the default ignores it.
    virtual void perform(GeometricOKLObject& object, const std::string& action);

private:
    void dispatch(GeometricOKLObject& object, const std::string& action);
    void refuse() const;
    // Reports the failure being handled.
    void report() const;

    Policy m_policy;
};

} // namespace zel
