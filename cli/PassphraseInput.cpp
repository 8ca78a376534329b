#include "cli/PassphraseInput.h"

#include <cerrno>
#include <csignal>
#include <termios.h>
#include <unistd.h>

namespace mg::cli {
namespace {

// The terminal settings to restore, also from a signal handler, so an
// interrupted prompt does not leave the terminal without echo.
termios g_saved{};
volatile std::sig_atomic_t g_echoOff = 0;

extern "C" void RestoreAndReraise(int sig)
{
    if (g_echoOff)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Turns terminal echo off for its lifetime.
class EchoOff {
public:
    EchoOff()
    {
        if (::tcgetattr(STDIN_FILENO, &g_saved) != 0)
            return;
        termios quiet = g_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        std::signal(SIGINT, RestoreAndReraise);
        std::signal(SIGTERM, RestoreAndReraise);
        std::signal(SIGHUP, RestoreAndReraise);
        g_echoOff = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff()
    {
        if (g_echoOff)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
        g_echoOff = 0;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

} // namespace

std::optional<std::string> ReadFirstLine(std::FILE* stream)
{
    std::string line;
    for (int c; (c = std::fgetc(stream)) != EOF && c != '\n';)
        line.push_back(static_cast<char>(c));
    if (std::ferror(stream))
        return std::nullopt; // errno still tells why
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::optional<std::string> ReadPassphraseFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    auto line = ReadFirstLine(file);
    const int error = errno;
    std::fclose(file);
    errno = error;
    return line;
}

bool InputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> ReadPassphraseLine(const char* prompt)
{
    if (!InputIsTerminal())
        return ReadFirstLine(stdin);
    // Echo goes off before the prompt appears: turning it off discards
    // pending input, so anything typed after the prompt must come later.
    EchoOff quiet;
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    return ReadFirstLine(stdin);
}

} // namespace mg::cli
