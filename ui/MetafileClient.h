#pragma once
// Turns WMF and EMF metafiles into SVG in the helper program
// murkglass-metafile, which the viewer then draws at the size it shows them.
// The metafile libraries run only in that short-lived, confined process
// (MetafileSandbox.h) under memory and processor limits; here it gets a
// wall-clock time limit and an output size limit, and the window keeps
// painting while it waits. Whatever the file makes the helper do (a crash, a
// time-out, a non-zero exit, output that is too large or malformed) fails
// the load like any unreadable picture: mg::Error("Metafile image is not valid"). A helper
// that cannot start its renderer (missing, a library or the fonts missing)
// says so in its own message, because the file may well be good.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mg {

enum class MetafileKind { Wmf, Emf };

struct MetafileVectors {
    int naturalWidth = 0; // the metafile's own size in pixels
    int naturalHeight = 0;
    QByteArray svg; // what the helper made of it; Qt SVG draws it
};

// Runs the helper on the bytes and returns its drawing.
MetafileVectors ConvertMetafile(MetafileKind kind, const std::vector<std::uint8_t>& bytes);

// The message when the helper cannot start its renderer.
inline constexpr const char* kMetafileRendererBroken = "Metafile renderer cannot start (missing fonts or libraries)";

// The helper program: $MURKGLASS_LIBEXEC_DIR/murkglass-metafile when that
// variable is set; else <dir of running executable>/../libexec/murkglass/,
// which is both the installed layout (bin/ next to libexec/) and the build
// tree's (executables one level below the build root); else next to the
// executable. Empty when none exists.
QString MetafileHelperPath();

// Test seams. A non-empty program replaces the helper (the kind argument
// "wmf" or "emf" is appended to args); an empty one restores it.
void SetMetafileHelperCommand(const QString& program, const QStringList& args = {});
// The wall-clock limit in milliseconds (0 restores kMetafileTimeLimitMs).
void SetMetafileTimeout(int milliseconds);

// The wall-clock limit. The largest metafiles of the picture benchmark (tens
// of thousands of records) take about a tenth of it; see the README.
constexpr int kMetafileTimeLimitMs = 3000;

// The wire format of the helper's standard output, in 32-bit words of the
// host's byte order: the magic word as soon as Qt has started (before the
// metafile is read), then version, natural width, natural height and the
// SVG's length in bytes, then the SVG.
constexpr std::uint32_t kMetafileMagic = 0x4D474D46; // "MGMF"
constexpr int kMetafileHeaderWords = 5;
constexpr std::uint32_t kMetafileVersion = 2;
constexpr int kMetafileMaxSide = 4096; // the largest side a metafile is drawn at
constexpr int kMetafileMaxNatural = 32767;
constexpr std::size_t kMetafileMaxSvg = std::size_t(64) << 20;
// The helper's exit code when libwmf refuses even a good metafile of its own.
constexpr int kMetafileExitRendererBroken = 10;

} // namespace mg
