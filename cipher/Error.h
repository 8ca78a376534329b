#pragma once
// The program's one error type. Everything except the cipher operations
// reports a failure by throwing mg::Error with the system's own message text
// (UTF-8); the application's event dispatch catches it and shows ErrorReport.
#include <stdexcept>
#include <string>

namespace mg {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

} // namespace mg
