// One exception hierarchy for failures of files, memory and the platform.
// Damage inside a stream is never reported this way (that goes through events).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tw {

class Exception : public std::exception {
public:
    // Out of line, so that it can note the code that raised the exception.
    explicit Exception(std::string message);
    const std::string& Message() const { return message_; }
    // Where in the program's code the exception was raised: the place that
    // constructed it, which a failure report names for the developer.
    uintptr_t Address() const { return address_; }
    const char* what() const noexcept override { return message_.c_str(); }
    // The dynamic class name ("EFOpenError").
    std::string ClassName() const;
    // "ClassName: message", as start-up and cleaning texts print it.
    std::string Describe() const { return ClassName() + ": " + message_; }

private:
    std::string message_;
    uintptr_t address_ = 0;
};

#define TW_EXCEPTION(Name, Base)                                               \
    class Name : public Base {                                                 \
    public:                                                                    \
        using Base::Base;                                                      \
    }

TW_EXCEPTION(EAbort, Exception);
TW_EXCEPTION(EConvertError, Exception);
TW_EXCEPTION(EOutOfMemory, Exception);
TW_EXCEPTION(EArgumentError, Exception);
TW_EXCEPTION(EListError, Exception);
TW_EXCEPTION(EThreadError, Exception);
TW_EXCEPTION(EOSError, Exception);
TW_EXCEPTION(EStreamError, Exception);
TW_EXCEPTION(EFileStreamError, EStreamError);
TW_EXCEPTION(EFOpenError, EFileStreamError);
TW_EXCEPTION(EFCreateError, EFileStreamError);
TW_EXCEPTION(EReadError, EStreamError);
TW_EXCEPTION(EWriteError, EStreamError);
TW_EXCEPTION(EInOutError, Exception);

// Turns any caught exception into "ClassName: message" (for std exceptions
// the class is "Exception").
std::string DescribeException(const std::exception& e);
// The code address an exception of the program was raised at; 0 for one of
// the run-time library, which keeps none.
uintptr_t ExceptionAddress(const std::exception& e);
// "ClassName: message @ (Address $0040A1B2)": the address in eight
// hexadecimal digits (its low 32 bits), as failure reports show it.
std::string DescribeExceptionWithAddress(const std::exception& e);

} // namespace tw
