// Cursors taken out whole: a cursor group as a cursor file (.cur), an animated cursor as
// the .ani file it is stored as.
#pragma once

#include "icon/exeicons.h"

#include <cstdint>
#include <vector>

// Cursor group index (below reader.Count(ResourceKind::Cursor)) as the bytes of a cursor
// file holding every image of the group that can be read, in the group's order, each
// entry with the image's hotspot and its exact size; empty when there is none.
std::vector<std::uint8_t> CursorFileBytes(IconReader& reader, int index);

// Animated cursor index (below reader.Count(ResourceKind::AnimatedCursor)) as the .ani
// file it is: its RIFF bytes, without the padding an NE file adds after them. Empty when
// they can't be read or are no RIFF "ACON" file.
std::vector<std::uint8_t> AniBytes(IconReader& reader, int index);
