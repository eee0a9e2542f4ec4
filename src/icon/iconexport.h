// An icon's images taken out whole: the best one as a PNG picture, all of them as an
// icon file, and the first icon of a file as a thumbnail for file managers.
#pragma once

#include "icon/exeicons.h"
#include "icon/iconformat.h"
#include "icon/png.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The indexes of entries, the preferred image first, for a picture of size pixels: the
// images at least size wide from the smallest up, then the smaller ones from the largest
// down; among equal sizes the deepest colour first, then the directory's order.
// With a size above every image's, the largest image comes first.
std::vector<int> PreferredImages(const std::vector<IconEntry>& entries, int size);

// picture shrunk to fit in size x size pixels with its aspect ratio kept, each pixel the
// alpha-weighted average of the area it covers; a picture that fits already is returned
// as it is, never enlarged.
Picture ScaleToFit(Picture picture, int size);

// Icon index's largest image (on equal sizes the deepest colour) as a PNG file at its own
// size with its alpha: PNG images as they are stored, DIBs encoded. When that image can't
// be read or doesn't decode, the next one in that order; empty when none can. With a size,
// PreferredImages' order for that size instead: the smallest image at least size wide.
// A size of 0 or less is none.
std::vector<std::uint8_t> LargestImagePng(IconReader& reader, int index, int size = 0);

// The width and height an icon or cursor file's entry gives image (0 for 256 and more):
// the image's own, from a PNG's IHDR or a DIB's header (whose height counts the mask's
// rows too), where the group's entry says otherwise, as damaged groups of zeros do;
// the entry's own where the image's header can't be read.
struct FileEntrySize {
    std::uint8_t Width;
    std::uint8_t Height;
};
FileEntrySize EntrySizeOf(const IconEntry& entry, std::span<const std::uint8_t> image);

// Icon index as the bytes of an icon file holding every image of its group that can be
// read, in the group's order and as stored, damaged or not; each directory entry states
// its image's own length, which in NE files is less than the padded resource's, and its
// own width and height (EntrySizeOf).
// Empty when there is none.
std::vector<std::uint8_t> IconFileBytes(IconReader& reader, int index);

// What format writes for group index of kind (as ForEachChosen visits them): a cursor
// group's cursor file, an animated cursor's .ani, an icon's icon file or its PNG image
// (size as LargestImagePng's). Empty for a BMP, which is drawn, not taken out.
std::vector<std::uint8_t> ExportedFileBytes(IconReader& reader, ResourceKind kind, int index, IconFormat format, int size);

// The file's first icon (index 0) as a picture of at most size x size pixels: the
// smallest image at least size wide, or else the largest, shrunk to fit. Nothing when
// the file has no icon whose images can be read.
std::optional<Picture> ThumbnailPicture(IconReader& reader, int size);

// The same picture as a PNG file's bytes, made only of what was decoded whole: a PNG image
// that fits in size x size pixels and decodes as its IHDR, PLTE, tRNS, IDAT and IEND
// chunks; any other image decoded, shrunk and written uncompressed (the client reads it
// once). An image that doesn't decode gives way to the next in ThumbnailPicture's order.
// Empty when the file has no icon or none of its images decodes.
std::vector<std::uint8_t> ThumbnailPng(IconReader& reader, int size);

// Appends the bytes of a file's on-disk structure to out. Grown and copied into rather
// than inserted: GCC 12 at -O3 takes a range insert into a vector that starts empty for a
// write past its end (-Wstringop-overflow).
template <typename T>
void AppendStruct(std::vector<std::uint8_t>& out, const T& value)
{
    const std::size_t at = out.size();
    out.resize(at + sizeof(T));
    std::memcpy(out.data() + at, &value, sizeof(T));
}
