// One exception hierarchy for failures of files, memory and the platform.
// Damage inside a stream is never reported this way (that goes through events).
#pragma once

#include <stdexcept>
#include <string>

namespace tw {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }
    // The dynamic class name ("EFOpenError").
    std::string ClassName() const;
    // "ClassName: message", as start-up and cleaning texts print it.
    std::string Describe() const { return ClassName() + ": " + message_; }

private:
    std::string message_;
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

} // namespace tw
