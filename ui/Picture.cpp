// Loading pictures by extension and holding one graphic.
#include "ui/Picture.h"

#include "base/Error.h"
#include "base/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <strings.h>

namespace mg {

namespace {
std::unique_ptr<TGraphic> Reader(const char* format, const char* invalidText)
{
    return std::make_unique<TReaderImage>(format, invalidText);
}
} // namespace

const std::vector<PictureKind>& PictureKinds()
{
    static const std::vector<PictureKind> kinds = {
        {"wmf", "Metafiles", [] { return std::unique_ptr<TGraphic>(new TMetafile(MetafileKind::Wmf)); }},
        {"emf", "Enhanced Metafiles", [] { return std::unique_ptr<TGraphic>(new TMetafile(MetafileKind::Emf)); }},
        {"ico", "Icons", [] { return std::unique_ptr<TGraphic>(new TIcon); }},
        {"bmp", "Bitmaps", [] { return std::unique_ptr<TGraphic>(new TBitmap); }},
        {"jpeg", "JPEG Image File", [] { return std::unique_ptr<TGraphic>(new JpegGraphic); }},
        {"jpg", "JPEG Image File", [] { return std::unique_ptr<TGraphic>(new JpegGraphic); }},
        {"png", "PNG Image", [] { return Reader("png", "PNG image is not valid"); }},
        {"gif", "GIF Image", [] { return Reader("gif", "GIF image is not valid"); }},
        {"webp", "WebP Image", [] { return Reader("webp", "WebP image is not valid"); }},
        {"tif", "TIFF Image", [] { return Reader("tiff", "TIFF image is not valid"); }},
        {"tiff", "TIFF Image", [] { return Reader("tiff", "TIFF image is not valid"); }},
        {"svg", "SVG Image", [] { return Reader("svg", "SVG image is not valid"); }},
        {"svgz", "SVG Image", [] { return Reader("svgz", "SVG image is not valid"); }},
    };
    return kinds;
}

std::string PictureExtension(const std::string& pathBytes)
{
    const std::size_t slash = pathBytes.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = pathBytes.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return {};
    return pathBytes.substr(dot + 1);
}

const PictureKind* FindPictureKind(const std::string& extension)
{
    const auto& kinds = PictureKinds();
    for (auto it = kinds.rbegin(); it != kinds.rend(); ++it) {
        // Byte-wise ASCII case folding: an extension is compared, not collated.
        if (it->extension.size() == extension.size()
            && ::strncasecmp(it->extension.c_str(), extension.c_str(), extension.size()) == 0
            && extension.find('\0') == std::string::npos)
            return &*it;
    }
    return nullptr;
}

void TPicture::LoadFromFile(const std::string& pathBytes)
{
    const std::string extension = PictureExtension(pathBytes);
    const PictureKind* kind = FindPictureKind(extension);
    if (!kind)
        throw Error("Unknown picture file extension (." + extension + ")");
    std::unique_ptr<TGraphic> graphic = kind->create();
    // A file larger than any picture may be is refused before it is read;
    // its bytes are held once (a JPEG keeps the buffer read here).
    graphic->TakeBytes(ReadWholeFile(pathBytes, PictureMemoryBudget(), PictureFileTooLarge()));
    Replace(std::move(graphic));
}

std::string PictureExtensionOfContent(const std::vector<std::uint8_t>& bytes)
{
    const auto starts = [&](std::size_t at, std::string_view sig) {
        return bytes.size() >= at + sig.size()
               && std::equal(sig.begin(), sig.end(), bytes.begin() + std::ptrdiff_t(at),
                             [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
    };
    using namespace std::string_view_literals;
    if (starts(0, "\xFF\xD8\xFF"sv))
        return "jpg";
    if (starts(0, "\x89PNG\r\n\x1A\n"sv))
        return "png";
    if (starts(0, "GIF87a"sv) || starts(0, "GIF89a"sv))
        return "gif";
    if (starts(0, "RIFF"sv) && starts(8, "WEBP"sv))
        return "webp";
    if (starts(0, "II*\0"sv) || starts(0, "MM\0*"sv))
        return "tif";
    if (starts(0, "\x01\0\0\0"sv) && starts(40, " EMF"sv))
        return "emf";
    // A placeable metafile, or a bare one in memory or on disk.
    if (starts(0, "\xD7\xCD\xC6\x9A"sv) || starts(0, "\x01\0\x09\0"sv) || starts(0, "\x02\0\x09\0"sv))
        return "wmf";
    if (starts(0, "\0\0\x01\0"sv))
        return "ico";
    if (starts(0, "BM"sv))
        return "bmp";
    const std::size_t look = std::min<std::size_t>(bytes.size(), 1024);
    const std::string_view head(reinterpret_cast<const char*>(bytes.data()), look);
    if (head.find("<svg") != std::string_view::npos)
        return "svg";
    return {};
}

void TPicture::LoadFromBytes(const std::vector<std::uint8_t>& bytes, const std::string& extension)
{
    const PictureKind* kind = FindPictureKind(PictureExtensionOfContent(bytes));
    if (!kind)
        kind = FindPictureKind(extension);
    if (!kind)
        throw Error("Unknown picture file extension (." + extension + ")");
    std::unique_ptr<TGraphic> graphic = kind->create();
    graphic->LoadFromBytes(bytes);
    Replace(std::move(graphic));
}

void TPicture::Assign(const TPicture& other)
{
    if (&other == this)
        return;
    Assign(other.Graphic());
}

void TPicture::Assign(const TGraphic* graphic)
{
    Replace(graphic ? graphic->Clone() : nullptr);
}

void TPicture::Clear()
{
    Replace(nullptr);
}

void TPicture::Replace(std::unique_ptr<TGraphic> graphic)
{
    graphic_ = std::move(graphic);
    if (OnChange)
        OnChange();
}

} // namespace mg
