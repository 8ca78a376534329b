// Feeds arbitrary bytes to the JPEG picture: the EXIF orientation, the header
// check, then decoding at full size and at two reduced scales. Only mg::Error
// may come out.
#include "base/Error.h"
#include "base/JPEGImage.h"
#include "base/JpegOrientation.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Well under the fuzzer's memory limit, sanitizer overhead included.
    mg::SetJpegDecodeBudget(std::uint64_t(64) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int orientation = mg::JpegOrientation(data, size);
    if (orientation < 1 || orientation > 8)
        __builtin_trap();
    mg::TJPEGImage image;
    try {
        image.LoadFromBytes(data, size);
    } catch (const mg::Error&) {
        return 0;
    }
    const int width = image.Width();
    const int height = image.Height();
    for (int scale : {1, 3, 8}) {
        try {
            const auto pixels = image.Decode(scale);
            if (!image.Empty()
                && (pixels->width != (width * scale + 7) / 8 || pixels->height != (height * scale + 7) / 8
                    || pixels->rgb.size() != std::size_t(pixels->width) * std::size_t(pixels->height) * 3))
                __builtin_trap();
        } catch (const mg::Error&) {
        }
    }
    return 0;
}
