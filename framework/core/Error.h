#pragma once
// Exception families and error records of the framework. Every failure is built from
// (class name, operation name, message, error type); what() reads
// "ClassName::operation: message". Each record also keeps where in the source it was made
// (the raise site of an error, taken by default at the call), for the log and for hosts
// that show it (zelpost --verbose); what hosts see otherwise is unchanged.
#include <source_location>
#include <stdexcept>
#include <string>

namespace zel {

// Error types used across the system. The numbers are what hosts see.
enum ErrorType : int {
    ErrNotice = 0,       // a notice
    ErrStdException = 1, // a wrapped standard exception
    ErrError = 4,        // every raised error and most reports
    ErrWarning = 8,      // a warning about user input or an adjusted size
    ErrInternal = 32     // a reported failed cast or internal error
};

// A reportable message: (class name, operation name, message, error type).
class ErrorMsg {
public:
    ErrorMsg() = default;
    ErrorMsg(std::string className, std::string operation, std::string message, int errorType = ErrError,
             std::source_location where = std::source_location::current())
        : m_className(std::move(className)), m_operation(std::move(operation)), m_message(std::move(message)),
          m_errorType(errorType), m_where(where) {}

    const std::string& getClassName() const { return m_className; }
    const std::string& getOperation() const { return m_operation; }
    const std::string& getMessage() const { return m_message; }
    int getErrorType() const { return m_errorType; }
    void setErrorType(int errorType) { m_errorType = errorType; }
    const std::source_location& where() const { return m_where; }
    // "ClassName::operation: message" (parts that are empty are left out).
    std::string toString() const;
    // "folder/file.cpp:line" of where(): the file's last two path components.
    std::string place() const;

private:
    std::string m_className;
    std::string m_operation;
    std::string m_message;
    int m_errorType = ErrError;
    std::source_location m_where;
};

// Base of every framework exception family.
class Error : public std::runtime_error {
public:
    Error(const std::string& className, const std::string& operation, const std::string& message,
          int errorType = ErrError, std::source_location where = std::source_location::current());
    const std::string& getClassName() const { return m_msg.getClassName(); }
    const std::string& getOperation() const { return m_msg.getOperation(); }
    const std::string& getMessage() const { return m_msg.getMessage(); }
    int getErrorType() const { return m_msg.getErrorType(); }
    const ErrorMsg& getErrorMsg() const { return m_msg; }
    // The family name, e.g. "data::notFound".
    virtual const char* family() const { return "Error"; }

private:
    ErrorMsg m_msg;
};

#define ZEL_DECLARE_ERROR_FAMILY(ns, name)                                                                             \
    namespace ns {                                                                                                     \
    class name : public ::zel::Error {                                                                                 \
    public:                                                                                                            \
        using ::zel::Error::Error;                                                                                     \
        const char* family() const override { return #ns "::" #name; }                                                 \
    };                                                                                                                 \
    }

ZEL_DECLARE_ERROR_FAMILY(data, notFound)
ZEL_DECLARE_ERROR_FAMILY(data, invalid)
ZEL_DECLARE_ERROR_FAMILY(data, duplicate)
ZEL_DECLARE_ERROR_FAMILY(data, error)
ZEL_DECLARE_ERROR_FAMILY(internal, badParam)
ZEL_DECLARE_ERROR_FAMILY(internal, nullPointer)
ZEL_DECLARE_ERROR_FAMILY(internal, bad_cast)
ZEL_DECLARE_ERROR_FAMILY(internal, error)
ZEL_DECLARE_ERROR_FAMILY(expressions, eval)
ZEL_DECLARE_ERROR_FAMILY(okl, error)

#undef ZEL_DECLARE_ERROR_FAMILY

} // namespace zel
