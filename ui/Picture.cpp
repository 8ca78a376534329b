// Loading pictures by extension and holding one graphic.
#include "ui/Picture.h"

#include "base/Error.h"
#include "base/SafeFile.h"

#include <cerrno>
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
