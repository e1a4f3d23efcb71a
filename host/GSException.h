#pragma once
// The host runtime's exceptions. They are deliberately not derived from std::exception: code
// that must not let them escape has to catch them by their own base, GS::Exception.

#include <string>

namespace GS {

class Exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    virtual ~Exception() = default;

    // The message as UTF-8 text.
    const std::string& GetMessage() const { return message_; }

private:
    std::string message_;
};

class GeneralException : public Exception {
public:
    using Exception::Exception;
};

class NullReferenceException : public Exception {
public:
    NullReferenceException() : Exception("Null reference.") {}
};

class ClassCastException : public Exception {
public:
    ClassCastException() : Exception("Bad cast.") {}
};

class IndexOutOfBoundsException : public Exception {
public:
    IndexOutOfBoundsException() : Exception("Index out of bounds.") {}
};

}  // namespace GS
