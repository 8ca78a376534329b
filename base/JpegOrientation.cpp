// Reading the EXIF orientation tag through libexif.
#include "base/JpegOrientation.h"

#include <libexif/exif-data.h>

#include <limits>
#include <memory>

namespace mg {

namespace {
struct ExifDataRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
} // namespace

int JpegOrientation(const std::uint8_t* data, std::size_t size)
{
    if (!data || size < 4 || size > std::numeric_limits<unsigned int>::max())
        return 1;
    std::unique_ptr<ExifData, ExifDataRelease> exif(exif_data_new());
    if (!exif)
        return 1;
    // Read the tags as stored: the default options would add the tags the
    // EXIF standard calls mandatory and parse maker notes, neither of which
    // is needed here.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(exif.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    // libexif walks the application markers after SOI and stops at the
    // first other marker, so a large picture's entropy data is never read.
    exif_data_load_data(exif.get(), data, static_cast<unsigned int>(size));
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data || entry->size < 2)
        return 1;
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
    return value >= 1 && value <= 8 ? value : 1;
}

} // namespace mg
