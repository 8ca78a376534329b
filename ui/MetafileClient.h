#pragma once
// Renders WMF and EMF metafiles to pixels in the helper program
// murkglass-metafile. The metafile libraries run only in that short-lived
// process, under memory and processor limits; here it gets a wall-clock time
// limit and an output size limit. Whatever goes wrong in the helper (a crash,
// a time-out, a non-zero exit, output that is too large or malformed) is an
// ordinary load error: mg::Error("Metafile image is not valid").
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace mg {

enum class MetafileKind { Wmf, Emf };

struct MetafilePixels {
    int naturalWidth = 0;  // the metafile's own size in pixels
    int naturalHeight = 0;
    QImage image;          // ARGB32 premultiplied, possibly smaller than natural
};

// Runs the helper on the bytes and returns its pixels.
MetafilePixels RenderMetafile(MetafileKind kind, const std::vector<std::uint8_t>& bytes);

// The helper program: $MURKGLASS_LIBEXEC_DIR/murkglass-metafile when that
// variable is set; else <dir of running executable>/../libexec/murkglass/,
// which is both the installed layout (bin/ next to libexec/) and the build
// tree's (executables one level below the build root); else next to the
// executable. Empty when none exists.
QString MetafileHelperPath();

// Test seams. A non-empty program replaces the helper (the kind argument
// "wmf" or "emf" is appended to args); an empty one restores it.
void SetMetafileHelperCommand(const QString& program, const QStringList& args = {});
// The wall-clock limit in milliseconds (default 10000).
void SetMetafileTimeout(int milliseconds);

// The wire format of the helper's standard output: a header of six 32-bit
// little-endian words, then width * height * 4 bytes of premultiplied ARGB32
// rows (QImage::Format_ARGB32_Premultiplied in the host's byte order).
constexpr std::uint32_t kMetafileMagic = 0x4D474D46; // "MGMF"
constexpr int kMetafileHeaderWords = 6; // magic, version, natural w, h, pixel w, h
constexpr std::uint32_t kMetafileVersion = 1;
constexpr int kMetafileMaxSide = 4096;   // the rendered picture's largest side
constexpr int kMetafileMaxNatural = 32767;

} // namespace mg
