#include "viewer/Memory.h"

#include <malloc.h>

namespace mg {

void TunePictureMemory()
{
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
}

} // namespace mg
