// Icons inside Windows executables, libraries and icon files, read from the file's bytes.
//
// The reader never opens files itself: it reads from a ByteSource (a FileSource for the
// program), every header through one checked read into a fixed-layout struct, with all
// offset arithmetic in 64 bits. A damaged file, or one cut short while it is read, gives
// fewer icons or none, never a crash.
//
//   PE (PE32 and PE32+, any machine) and NE (16-bit) files: one icon per entry of the
//   icon-group resource directory, named entries first, then numbered ones, in file order.
//   An icon file (.ico) counts as one icon.
#pragma once

#include <QImage>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

class ByteSource;

// The large-icon size everything is drawn at.
inline constexpr int kIconSize = 32;

// One image of an icon, as the icon's directory entry describes it.
struct IconEntry {
    std::uint8_t Width; // 0 means 256
    std::uint8_t Height;
    std::uint8_t ColorCount;
    std::uint8_t Reserved;
    std::uint16_t Planes;
    std::uint16_t BitCount;
    std::uint32_t BytesInRes;
    std::uint32_t Where; // the image's RT_ICON id in a group, its offset in an icon file
};

// One icon, already chosen for and scaled to 32x32 pixels.
struct IconImage {
    // 0xAARRGGBB per pixel, rows top to bottom.
    std::array<std::uint32_t, kIconSize * kIconSize> Pixels{};
    // The AND mask: 1 where the background shows through (or is inverted).
    std::array<std::uint8_t, kIconSize * kIconSize> Mask{};
    // A 32-bit image with alpha: blended over the background, mask ignored.
    bool Blend = false;
};

// The icons of one file's bytes, its headers parsed once. A damaged file can ask for
// much work per icon (thousands of groups sharing one huge image); a reader stops
// drawing once it has looked at 256 MB of images, which no real file comes near.
class IconReader {
public:
    // file must outlive the reader.
    explicit IconReader(const ByteSource& file);
    ~IconReader();
    IconReader(const IconReader&) = delete;
    IconReader& operator=(const IconReader&) = delete;

    // As CountIcons and ReadIcon below.
    int Count() const;
    std::optional<IconImage> Read(int index);

private:
    struct Parsed;
    std::unique_ptr<Parsed> parsed_;
};

// Number of icons in a file's bytes; 0 for anything that is not an executable, a library
// or an icon file.
int CountIcons(std::span<const std::uint8_t> file);

// Icon index (0-based, below CountIcons) as a 32x32 image with its mask: the group's
// image nearest to 32x32 pixels at 32 bits per pixel, scaled by nearest neighbour when
// it has another size. Nothing when that image is missing, lies outside the file or
// can't be decoded; no other image of the group stands in for it.
std::optional<IconImage> ReadIcon(std::span<const std::uint8_t> file, int index);

// The icon drawn at (1, 1) on a fresh white 34x34 image (Format_RGB32): alpha-blended
// when it has alpha, else through its AND mask and then its XOR colours, so masked
// pixels with colour invert the white.
QImage DrawIconBitmap(const IconImage& icon);
