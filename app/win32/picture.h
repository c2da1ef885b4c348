#pragma once

#include <windows.h>

namespace verlisk::win32 {

// Decodes a JPEG held as an RCDATA resource into a 32-bit top-down DIB of the given
// size (the picture scaled to it). nullptr when the resource or the decoder fails.
HBITMAP LoadJpegResource(HINSTANCE instance, int resourceId, int width, int height);

}  // namespace verlisk::win32
