#pragma once
// The viewer's command line: `murkglass [FILE|FOLDER]`, --help and --version.
// Read before the application object exists, so the help and the version are
// printed without a display; Qt's own options are taken out by the
// application object, and the rest is read again afterwards.
#include <string>
#include <vector>

namespace mg::viewer {

struct StartRequest {
    enum Action { Run, Help, Version, Error };
    Action action = Run;
    std::string path;  // Run: the file or folder to open, as given; empty for none
    std::string error; // Error: what is wrong with the arguments
};

// args: the arguments after the program's name, as bytes. --help (or -h) and
// --version win wherever they stand before "--"; after "--" every argument
// is a path. Any other argument starting with "-" is an error, as is a second
// path.
StartRequest ParseArguments(const std::vector<std::string>& args);

// A path given on the command line made absolute against the folder the
// program was started in, with "." and ".." parts and repeated or trailing
// slashes removed ("/" stays "/").
std::string AbsoluteStartPath(const std::string& path, const std::string& startFolder);

std::string UsageText();
std::string VersionText();

} // namespace mg::viewer
