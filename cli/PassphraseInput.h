#pragma once
// Where murkglass-crypt gets a passphrase: a file's first line, the
// terminal without echo, or the first line of a piped standard input.
// A passphrase is never taken from the command line, where other users
// could read it in the process list.
#include <cstdio>
#include <optional>
#include <string>

namespace mg::cli {

// The first line of a stream without its "\n" or "\r\n"; nullopt on a read
// error. An empty stream gives an empty line.
std::optional<std::string> ReadFirstLine(std::FILE* stream);

// The first line of a file; nullopt with errno set when it cannot be read.
std::optional<std::string> ReadPassphraseFile(const std::string& path);

// One line from standard input: when it is a terminal the prompt goes to
// standard error and echo is off while typing.
std::optional<std::string> ReadPassphraseLine(const char* prompt);

// Whether standard input is a terminal (so a second, confirming line can
// be asked for).
bool InputIsTerminal();

} // namespace mg::cli
