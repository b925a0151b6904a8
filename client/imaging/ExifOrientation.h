// The EXIF orientation tag of a JPEG file, read by a small reader of its own: GDI+ here
// does not expose the property items of a JPEG.
//
// Untrusted input: the file may be damaged or made to harm. The reader looks at no more
// than a fixed number of bytes from the start, checks every offset and count against
// the bounds of what it read, and answers "no tag" on anything unexpected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumexia {

// Orientation 1..8 from IFD0 of the first APP1 "Exif" segment before the first scan;
// 0 when there is none or it cannot be trusted.
int ReadExifOrientation(const std::wstring& path);
// The same over bytes already in memory (the start of a JPEG file).
int ParseExifOrientation(const uint8_t* data, size_t size);

// The GDI+ rotate-flip value that turns a picture stored with `orientation` upright;
// 0 (none) for 1 and for values outside 1..8.
int OrientationRotateFlip(int orientation);

} // namespace lumexia
