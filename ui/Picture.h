#pragma once
// TPicture: the picture holder of an image control. It owns at most one
// graphic, loads files by their extension through the registered picture
// kinds, and tells its owner when the picture changed.
#include "ui/Graphics.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mg {

// One registered picture kind: an extension (without the dot, lower case),
// its description and the graphic class that reads it.
struct PictureKind {
    std::string extension;
    std::string description;
    std::function<std::unique_ptr<TGraphic>()> create;
};

// The registrations, in the order they were made: wmf, emf, ico, bmp, jpeg,
// jpg, then the kinds Qt's readers show: png, gif, webp, tif, tiff, svg, svgz.
const std::vector<PictureKind>& PictureKinds();
// The extension of a file name: the text after the last "." that follows the
// last "/", as written; empty when there is none.
std::string PictureExtension(const std::string& pathBytes);
// The kind registered for an extension (letter case ignored), searched from
// the last registration to the first; nullptr when none matches.
const PictureKind* FindPictureKind(const std::string& extension);

// The extension of the picture kind that bytes hold, from their first bytes
// (JPEG, BMP, ICO, WMF, EMF, PNG, GIF, WebP, TIFF, SVG); empty when none of
// these is recognised.
std::string PictureExtensionOfContent(const std::vector<std::uint8_t>& bytes);

class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture& other) { Assign(other); }
    TPicture& operator=(const TPicture& other)
    {
        Assign(other);
        return *this;
    }

    // Replaces the graphic with one read from the file, kind chosen by the
    // extension. Throws mg::Error("Unknown picture file extension (.%s)") or
    // the graphic's / file system's error; on any error the previous graphic
    // stays.
    void LoadFromFile(const std::string& pathBytes);
    // Replaces the graphic with one read from bytes, the kind chosen by
    // their content, else by the extension given. Errors as LoadFromFile.
    void LoadFromBytes(const std::vector<std::uint8_t>& bytes, const std::string& extension);
    // Takes a copy of the other picture's graphic (none when it has none).
    void Assign(const TPicture& other);
    // Takes a copy of the graphic; nullptr clears the picture.
    void Assign(const TGraphic* graphic);
    void Clear();

    const TGraphic* Graphic() const { return graphic_.get(); }
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }
    bool Empty() const { return !graphic_ || graphic_->Empty(); }

    // Called after every change of the graphic.
    std::function<void()> OnChange;

private:
    void Replace(std::unique_ptr<TGraphic> graphic);
    std::unique_ptr<TGraphic> graphic_;
};

} // namespace mg
