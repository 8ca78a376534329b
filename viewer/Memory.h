#pragma once
// The allocator settings of the viewer. Every click reads a whole picture
// file into memory (and, in encrypted view, decrypts a copy of it), so
// buffers of several megabytes come and go with each file shown.

namespace mg {

// Keeps such buffers in the heap for reuse instead of mapping fresh pages
// from the system for each one and returning them afterwards: buffers up to
// 32 MiB come from the heap, and up to 128 MiB of freed heap stay with the
// process. Without this, each display pays for faulting in new pages.
void TunePictureMemory();

} // namespace mg
