#include "locators/CalcFuncExecutive.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/okl/GeometricOKLObject.h"

#include <new>

namespace zel {

CalcFuncExecutive::Policy CalcFuncExecutive::passingOn(const char* className) {
    return {.className = className,
            .objectType = "GeometricOKLObject",
            .reportedObjectType = "GeometricOKLObject",
            .accept = accepting<GeometricOKLObject>,
            .clearChangeFlags = true};
}

CalcFuncExecutive::Policy CalcFuncExecutive::reporting(const char* className, const char* objectType,
                                                       const char* reportedObjectType,
                                                       GeometricOKLObject* (*accept)(OKLObject*),
                                                       bool propagateErrors) {
    return {.className = className,
            .objectType = objectType,
            .reportedObjectType = reportedObjectType,
            .accept = accept,
            .propagateErrors = propagateErrors};
}

void CalcFuncExecutive::operator()(OKLObject* object, const std::string& action) {
    GeometricOKLObject* target = m_policy.accept(object);
    if (target == nullptr) return refuse();

    const bool guarded = action == "top" || (m_policy.guardEveryAction && (action == "colour" || action == "render"));
    if (!guarded) return dispatch(*target, action);
    try {
        dispatch(*target, action);
    } catch (...) {
        target->discardGeometries();
        if (m_policy.propagateErrors) throw;
        report();
    }
}

void CalcFuncExecutive::dispatch(GeometricOKLObject& object, const std::string& action) {
    if (action == "top") {
        object.prepareForUpdate();
        object.discardGeometries();
        build(object);
    } else if (action == "colour") {
        object.recolour();
    } else if (action == "render") {
        draw(object);
        object.updateDefaultLegend();
        if (m_policy.clearChangeFlags) object.clearChangeFlags();
    } else {
        perform(object, action);
    }
}

void CalcFuncExecutive::perform(GeometricOKLObject& /*object*/, const std::string& /*action*/) {}

void CalcFuncExecutive::refuse() const {
    if (m_policy.propagateErrors)
        throw internal::error(m_policy.className, "operator()", _("Cast to %s failed.", m_policy.objectType), ErrError);
    ErrorProgressReporter::instance()->reportError(data::error(
        m_policy.className, "operator()",
        _("Bad cast of %s '%s' to %s.", "OKLObject", "p_OKLObj", m_policy.reportedObjectType), ErrInternal));
}

void CalcFuncExecutive::report() const {
    ErrorProgressReporter* reporter = ErrorProgressReporter::instance();
    const char* operation = m_policy.failedOperation != nullptr ? m_policy.failedOperation : m_policy.className;
    auto failed = [&](const std::string& message) {
        reporter->reportError(data::error(m_policy.className, "operator()", message, ErrStdException));
    };
    try {
        throw;
    } catch (const internal::error& e) {
        reporter->reportError(e, m_policy.internalErrorsAsInternal ? ErrInternal : ErrError);
    } catch (const Error& e) {
        reporter->reportError(e, ErrError);
    } catch (const std::bad_alloc& e) {
        if (m_policy.reportOutOfMemory)
            failed(_("Operation '%s' failed. Insufficient memory.", operation));
        else
            failed(_("Operation '%s' failed (system exception: %s).", operation, e.what()));
    } catch (const std::exception& e) {
        failed(_("Operation '%s' failed (system exception: %s).", operation, e.what()));
    } catch (...) {
        failed(_("Operation '%s' failed with unrecognized exception.", m_policy.className));
    }
}

} // namespace zel
