// murkglass-crypt: the command-line companion of the viewer, on the same
// cipher core. Exit codes: 0 success, 1 the operation failed, 2 usage error.
#include "cipher/ImageCrypt.h"
#include "cipher/KeyText.h"
#include "cipher/SecretBytes.h"
#include "cipher/StrongCrypt.h"
#include "cli/PassphraseInput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kUsageText[] = "Usage: murkglass-crypt key\n"
                          "       murkglass-crypt encrypt SOURCE... DEST [--strong] [--passphrase-file FILE]\n"
                          "       murkglass-crypt decrypt SOURCE... DEST [--passphrase-file FILE]\n"
                          "\n"
                          "key      reads one passphrase line from standard input and prints its key.\n"
                          "encrypt  writes SOURCE combined with the passphrase's keystream to DEST.\n"
                          "decrypt  does the same, but writes DEST only when the result is a JPEG picture;\n"
                          "         a strong file is recognised by its header and written when it is whole.\n"
                          "\n"
                          "Two formats:\n"
                          "  light   (default) every byte XORed with a keystream seeded by a 32-bit key.\n"
                          "          It hides pictures from a casual look only: anyone with the file can\n"
                          "          find the key in seconds, and changes go unnoticed.\n"
                          "  strong  (--strong) Argon2id key derivation with a random salt and\n"
                          "          XChaCha20-Poly1305 authenticated encryption (libsodium). Without the\n"
                          "          passphrase the content stays secret, guessing is slow, and any change,\n"
                          "          cut or reordering is detected (\"damaged\"). A wrong passphrase is\n"
                          "          reported as such. Any file kind; its extension is kept inside.\n"
                          "\n"
                          "The passphrase is the first line of FILE, else it is read from the terminal\n"
                          "without echo (twice for encrypt), else the first line of standard input.\n"
                          "A whole-number text is used as the key directly. DEST may be SOURCE.\n"
                          "When DEST is a folder, each SOURCE is written into it under its own name;\n"
                          "several SOURCEs need such a folder and must have different names. A SOURCE\n"
                          "that fails is reported and the others are still done.\n"
                          "Names after \"--\" may begin with \"-\".\n"
                          "Exit status: 0 success, 1 the operation failed, 2 usage error.\n";

struct Arguments {
    bool help = false;
    bool version = false;
    bool strong = false;
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
        } else if (arg == "--version") {
            args.version = true;
        } else if (arg == "--strong") {
            args.strong = true;
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
            code = Report(kFailed, "cannot read \"" + *args.passphraseFile + "\": " + std::strerror(errno));
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
        code = Report(kUsage, "a passphrase longer than " + std::to_string(mg::kPassphraseMaxLength)
                                  + " characters is refused");
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

std::string Explain(const mg::CipherResult& result, const std::string& src, const std::string& dst)
{
    switch (result.failure) {
    case mg::CipherFailure::CannotReadSource:
        return "cannot read \"" + src + "\": " + result.detail;
    case mg::CipherFailure::CannotWriteDestination:
        return "cannot write \"" + dst + "\": " + result.detail;
    case mg::CipherFailure::NotJpeg:
        // libjpeg's reason goes along: a header cut short or an unusual
        // JPEG is told apart from a plain wrong passphrase.
        return "\"" + src
               + "\": not a JPEG picture after decryption: "
                 "wrong passphrase or not an encrypted JPEG"
               + (result.detail.empty() ? std::string() : " (" + result.detail + ")");
    case mg::CipherFailure::WrongPassphrase:
    case mg::CipherFailure::Damaged:
    case mg::CipherFailure::Unsupported:
        return "\"" + src + "\": " + result.detail;
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

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The last component of a path, trailing "/" ignored: "a/b.jpg" gives
// "b.jpg".
std::string BaseName(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int RunCipher(const Arguments& args, bool encrypt)
{
    if (args.operands.size() < 2)
        return UsageError(args.command + " needs SOURCE and DEST");
    if (args.strong && !encrypt)
        return UsageError("--strong is for encrypt; decrypt recognises strong files itself");
    const std::vector<std::string> sources(args.operands.begin(), args.operands.end() - 1);
    const std::string& dest = args.operands.back();
    const bool intoFolder = IsFolder(dest);
    if (sources.size() > 1 && !intoFolder)
        return UsageError("\"" + dest + "\" is not a folder; several sources need a destination folder");
    if (intoFolder) {
        // Two sources of one name would be written to one file, the second
        // over the first: refused before anything is written.
        std::set<std::string> names;
        for (const std::string& src : sources)
            if (!names.insert(BaseName(src)).second)
                return UsageError("two sources are named \"" + BaseName(src) + "\"; \"" + dest
                                  + "\" can hold only one of them");
    }
    int code = kOk;
    auto text = ObtainPassphrase(args, encrypt, code);
    if (!text)
        return code;
    mg::TImgCrypt crypt;
    std::string bytes = mg::PassphraseBytes(*text);
    crypt.Strong.SetPassphrase(bytes);
    const std::int32_t key = KeyOf(*text);
    mg::WipeString(bytes);
    mg::WipeString(*text);
    // One run is one batch: its strong files share a salt and one derivation.
    for (const std::string& src : sources) {
        const std::string dst = intoFolder ? (dest.back() == '/' ? dest : dest + "/") + BaseName(src) : dest;
        // A strong file keeps its original extension; say so when DEST has another.
        std::string stored;
        if (!encrypt && mg::strong::FileHasMagic(src) && mg::strong::StoredExtension(src, crypt.Strong, stored)
            && !stored.empty() && strcasecmp(stored.c_str(), mg::strong::ExtensionToKeep(dst).c_str()) != 0)
            std::fprintf(stderr, "murkglass-crypt: note: \"%s\" holds a .%s file\n", src.c_str(), stored.c_str());
        const mg::CipherResult result = !encrypt      ? crypt.DecryptFileEx(src, dst, key)
                                        : args.strong ? mg::strong::EncryptFile(src, dst, crypt.Strong)
                                                      : crypt.EncryptFileEx(src, dst, key);
        if (!result)
            code = Report(kFailed, Explain(result, src, dst));
    }
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    const auto args = Parse(argc, argv);
    if (!args)
        return kUsage;
    if (args->version) {
        std::puts("murkglass-crypt " MURKGLASS_VERSION);
        return kOk;
    }
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
