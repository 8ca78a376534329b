// Reading the viewer's command line.
#include "viewer/CommandLine.h"

#include <filesystem>

namespace mg::viewer {

StartRequest ParseArguments(const std::vector<std::string>& args)
{
    // --help and --version first: they answer even next to options that
    // only the application object knows (-platform, -style, ...).
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h")
            return {StartRequest::Help, {}, {}};
        if (arg == "--version")
            return {StartRequest::Version, {}, {}};
    }
    StartRequest request;
    bool operandsOnly = false;
    for (const std::string& arg : args) {
        if (!operandsOnly && arg == "--") {
            operandsOnly = true;
            continue;
        }
        if (!operandsOnly && arg.size() > 1 && arg[0] == '-')
            return {StartRequest::Error, {}, "unknown option " + arg};
        if (!request.path.empty() || arg.empty())
            return {StartRequest::Error, {}, arg.empty() ? "empty path" : "one FILE or FOLDER at most"};
        request.path = arg;
    }
    return request;
}

std::string AbsoluteStartPath(const std::string& path, const std::string& startFolder)
{
    std::filesystem::path full(path);
    if (!full.is_absolute())
        full = std::filesystem::path(startFolder) / full;
    std::string normal = full.lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

std::string UsageText()
{
    return "Usage: murkglass [FILE|FOLDER]\n"
           "Shows pictures, and encrypts, decrypts and deletes picture files with a passphrase.\n"
           "\n"
           "With a FILE, opens the folder that holds it and shows the file; with a FOLDER,\n"
           "opens that folder.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "Qt's own options (-platform, -style, ...) are accepted too.\n";
}

std::string VersionText()
{
    return std::string("murkglass ") + MURKGLASS_VERSION + "\n";
}

} // namespace mg::viewer
