// murkglass-crypt: the command-line companion of the viewer, on the same
// cipher core. Exit codes: 0 success, 1 the operation failed, 2 usage error.
#include "cipher/ImageCrypt.h"
#include "cipher/KeyText.h"
#include "cli/PassphraseInput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kUsageText[] =
    "Usage: murkglass-crypt key\n"
    "       murkglass-crypt encrypt SOURCE DEST [--passphrase-file FILE]\n"
    "       murkglass-crypt decrypt SOURCE DEST [--passphrase-file FILE]\n"
    "\n"
    "key      reads one passphrase line from standard input and prints its key.\n"
    "encrypt  writes SOURCE combined with the passphrase's keystream to DEST.\n"
    "decrypt  does the same, but writes DEST only when the result is a JPEG picture.\n"
    "\n"
    "The passphrase is the first line of FILE, else it is read from the terminal\n"
    "without echo (twice for encrypt), else the first line of standard input.\n"
    "A whole-number text is used as the key directly. DEST may be SOURCE.\n"
    "Names after \"--\" may begin with \"-\".\n"
    "Exit status: 0 success, 1 the operation failed, 2 usage error.\n";

struct Arguments {
    bool help = false;
    std::string command;
    std::vector<std::string> operands;
    std::optional<std::string> passphraseFile;
};

// Every failure is one line on standard error.
int Report(int code, const std::string& text)
{
    std::fprintf(stderr, "murkglass-crypt: %s\n", text.c_str());
    return code;
}

int UsageError(const std::string& text)
{
    return Report(kUsage, text + " (see murkglass-crypt --help)");
}

// Splits the command line; nullopt (after reporting) on an unusable one.
std::optional<Arguments> Parse(int argc, char** argv)
{
    Arguments args;
    bool optionsEnded = false; // after "--" every argument is a name
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded) {
            (args.command.empty() ? args.command : args.operands.emplace_back()) = arg;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (arg == "--passphrase-file") {
            if (i + 1 == argc) {
                UsageError("--passphrase-file needs a FILE");
                return std::nullopt;
            }
            args.passphraseFile = argv[++i];
        } else if (arg.rfind("--passphrase-file=", 0) == 0) {
            args.passphraseFile = arg.substr(std::strlen("--passphrase-file="));
        } else if (arg.size() > 1 && arg[0] == '-') {
            UsageError("unknown option \"" + arg + "\"");
            return std::nullopt;
        } else if (args.command.empty()) {
            args.command = arg;
        } else {
            args.operands.push_back(arg);
        }
    }
    return args;
}

// The passphrase typed or stored for this run; nullopt after reporting.
std::optional<std::string> ObtainPassphrase(const Arguments& args, bool confirm, int& code)
{
    std::optional<std::string> text;
    if (args.passphraseFile) {
        text = mg::cli::ReadPassphraseFile(*args.passphraseFile);
        if (!text) {
            code = Report(kFailed, "cannot read \"" + *args.passphraseFile +
                                       "\": " + std::strerror(errno));
            return std::nullopt;
        }
    } else {
        text = mg::cli::ReadPassphraseLine("Passphrase: ");
        if (!text) {
            code = Report(kFailed, std::string("cannot read standard input: ") + std::strerror(errno));
            return std::nullopt;
        }
        if (text && !text->empty() && confirm && mg::cli::InputIsTerminal()) {
            const auto again = mg::cli::ReadPassphraseLine("Confirm passphrase: ");
            if (!again || *again != *text) {
                code = Report(kUsage, "the passphrases do not match");
                return std::nullopt;
            }
        }
    }
    if (!text || text->empty()) {
        code = Report(kUsage, "an empty passphrase is refused");
        return std::nullopt;
    }
    // The viewer's field takes no more, so a longer passphrase would make
    // files that the viewer cannot open with the same text.
    if (mg::PassphraseFieldLength(*text) > mg::kPassphraseMaxLength) {
        code = Report(kUsage, "a passphrase longer than " +
                                  std::to_string(mg::kPassphraseMaxLength) +
                                  " characters is refused");
        return std::nullopt;
    }
    return text;
}

// The key as the viewer's prompt makes it: integer texts are the key, any
// other text goes through PassphraseKey on its Windows-1252 bytes.
std::int32_t KeyOf(const std::string& typed)
{
    return mg::KeyForText(mg::PassphraseBytes(typed)).key;
}

std::string Explain(const mg::CipherResult& result, const std::string& src,
                    const std::string& dst)
{
    switch (result.failure) {
    case mg::CipherFailure::CannotReadSource:
        return "cannot read \"" + src + "\": " + result.detail;
    case mg::CipherFailure::CannotWriteDestination:
        return "cannot write \"" + dst + "\": " + result.detail;
    case mg::CipherFailure::NotJpeg:
        return "\"" + src + "\": not a JPEG picture after decryption: "
               "wrong passphrase or not an encrypted JPEG";
    case mg::CipherFailure::None:
        break;
    }
    return {};
}

int RunKey(const Arguments& args)
{
    if (!args.operands.empty() || args.passphraseFile)
        return UsageError("key takes no arguments; it reads standard input");
    int code = kOk;
    const auto text = ObtainPassphrase(args, false, code);
    if (!text)
        return code;
    std::printf("%d\n", KeyOf(*text));
    return kOk;
}

int RunCipher(const Arguments& args, bool encrypt)
{
    if (args.operands.size() != 2)
        return UsageError(args.command + " needs SOURCE and DEST");
    int code = kOk;
    const auto text = ObtainPassphrase(args, encrypt, code);
    if (!text)
        return code;
    const std::string& src = args.operands[0];
    const std::string& dst = args.operands[1];
    mg::TImgCrypt crypt;
    const mg::CipherResult result = encrypt ? crypt.EncryptFileEx(src, dst, KeyOf(*text))
                                            : crypt.DecryptFileEx(src, dst, KeyOf(*text));
    return result ? kOk : Report(kFailed, Explain(result, src, dst));
}

} // namespace

int main(int argc, char** argv)
{
    const auto args = Parse(argc, argv);
    if (!args)
        return kUsage;
    if (args->help) {
        std::fputs(kUsageText, stdout);
        return kOk;
    }
    if (args->command == "key")
        return RunKey(*args);
    if (args->command == "encrypt" || args->command == "decrypt")
        return RunCipher(*args, args->command == "encrypt");
    if (args->command.empty())
        return UsageError("no command given");
    return UsageError("unknown command \"" + args->command + "\"");
}
