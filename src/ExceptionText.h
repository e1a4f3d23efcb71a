#pragma once
// What the exception being handled says, whatever its family: the standard library's, the host
// runtime's (GS::Exception is not a std::exception) or anything else thrown. Call it only inside
// a catch block.

#include <exception>
#include <string>

#include "GSRoot.h"

inline std::string currentExceptionText(const char* unknown) {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (const GS::Exception& e) {
        return e.GetMessage();
    } catch (...) {
        return unknown;
    }
}
