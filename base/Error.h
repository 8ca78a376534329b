#pragma once
// The program's one error type. Everything except the cipher operations
// reports a failure by throwing mg::Error with the system's own message text
// (UTF-8); the application's event dispatch catches it and shows ErrorReport.
#include <cerrno>
#include <stdexcept>
#include <string>

namespace mg {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// The message for a failed file operation, from the system's error number:
// short texts that say what went wrong ("File not found", "Invalid filename",
// "File access denied", else "I/O error <n>").
inline std::string FileErrorMessage(int error)
{
    switch (error) {
    case ENOENT:
        return "File not found";
    case ENAMETOOLONG:
    case EILSEQ:
        return "Invalid filename";
    case EACCES:
    case EPERM:
    case EROFS:
        return "File access denied";
    default:
        return "I/O error " + std::to_string(error);
    }
}

[[noreturn]] inline void ThrowFileError(int error)
{
    throw Error(FileErrorMessage(error));
}

} // namespace mg
