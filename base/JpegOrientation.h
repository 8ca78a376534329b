#pragma once
// The EXIF orientation of a JPEG file: how the stored pixels must be turned
// or mirrored to appear upright. Cameras and phones store the sensor's rows
// as they were read and record the way the device was held in this tag.
#include <cstddef>
#include <cstdint>

namespace mg {

// The orientation tag of the first EXIF block (1 to 8, as EXIF numbers them:
// 1 upright, 2 mirrored left-right, 3 turned half a turn, 4 mirrored top-bottom,
// 5 mirrored along the main diagonal, 6 needs a quarter turn clockwise,
// 7 mirrored along the other diagonal, 8 needs a quarter turn counter-clockwise).
// 1 when there is no EXIF block, no tag, or a value outside 1 to 8. Only the
// application markers before the first frame marker are looked at.
int JpegOrientation(const std::uint8_t* data, std::size_t size);

// True for the orientations that exchange width and height (5 to 8).
constexpr bool OrientationSwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

} // namespace mg
