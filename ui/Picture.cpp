// Loading pictures by extension and holding one graphic.
#include "ui/Picture.h"

#include "cipher/Error.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mg {

const std::vector<TPictureKind>& PictureKinds()
{
    static const std::vector<TPictureKind> kinds = {
        {"wmf", "Metafiles", [] { return std::unique_ptr<TGraphic>(new TMetafile(MetafileKind::Wmf)); }},
        {"emf", "Enhanced Metafiles", [] { return std::unique_ptr<TGraphic>(new TMetafile(MetafileKind::Emf)); }},
        {"ico", "Icons", [] { return std::unique_ptr<TGraphic>(new TIcon); }},
        {"bmp", "Bitmaps", [] { return std::unique_ptr<TGraphic>(new TBitmap); }},
        {"jpeg", "JPEG Image File", [] { return std::unique_ptr<TGraphic>(new TJPEGGraphic); }},
        {"jpg", "JPEG Image File", [] { return std::unique_ptr<TGraphic>(new TJPEGGraphic); }},
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

const TPictureKind* FindPictureKind(const std::string& extension)
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

namespace {


// Closes the descriptor on every path out of the reader.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() { if (fd >= 0) ::close(fd); }
};

} // namespace

std::vector<std::uint8_t> ReadPictureFile(const std::string& pathBytes)
{
    if (pathBytes.empty() || pathBytes.find('\0') != std::string::npos)
        throw Error("File not found");
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    FileDescriptor file{::open(pathBytes.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0)
        ThrowFileError(errno);
    struct stat info {};
    if (::fstat(file.fd, &info) != 0)
        ThrowFileError(errno);
    // Only regular files hold pictures; a folder, a device or a FIFO would
    // never end or never start.
    if (S_ISDIR(info.st_mode))
        ThrowFileError(EISDIR);
    if (!S_ISREG(info.st_mode))
        ThrowFileError(ENODEV);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ThrowFileError(errno);
        }
        if (got == 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

void TPicture::LoadFromFile(const std::string& pathBytes)
{
    const std::string extension = PictureExtension(pathBytes);
    const TPictureKind* kind = FindPictureKind(extension);
    if (!kind)
        throw Error("Unknown picture file extension (." + extension + ")");
    std::unique_ptr<TGraphic> graphic = kind->create();
    graphic->LoadFromBytes(ReadPictureFile(pathBytes));
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
