// Taking every icon out of one executable or library file into temporary bitmaps.
#pragma once

#include "platform/filenames.h"
#include "browse/browsestate.h"
#include "icon/groupchoice.h"
#include "icon/iconformat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class FolderWriter;
class MunFolder;

enum class ExtractionResult {
    Done,            // every icon of the file that could be drawn was stored
    CapacityReached, // TempBitmaps is full: icons after number kMaxIcons were left out
};

// The icon core's bytes as Qt's.
QByteArray AsByteArray(const std::vector<std::uint8_t>& bytes);

// prefix + number in the pattern "00000" + "." + extension: Icon00001.png.
QString NumberedFilePath(const QString& prefix, int number, const QString& extension);

// The same with ".bmp": Icon00001.bmp, Temp00012.bmp, Temp10000.bmp.
QString NumberedBitmapPath(const QString& prefix, int number);

// The temporary bitmap of icon number n: TempFolder() + "Temp" + n as "00000" + ".bmp".
QString TempBitmapPath(int number);

// One file to take icons from.
struct SourceFile {
    QString FolderText; // the folder as it is shown
    QByteArray Folder;  // and as the kernel takes it
    FileName Name;
    // The .mun files of the folder's redirect, listed once for all its files; none when null.
    std::shared_ptr<const MunFolder> Redirects = nullptr;
};

// Where the icons go: Out's folder, as Stem + number + the format's extension, by the
// rules of Out's kind of folder.
struct IconTarget {
    FolderWriter* Out = nullptr;
    QString Stem = QStringLiteral("Temp");
    IconFormat Format = IconFormat::Bmp;
};

// The icons of one file read and encoded in a format, not yet numbered: what a scan reads
// ahead on another thread while it writes the files before. Touches no state, so it may
// run on any thread.
struct EncodedIcon {
    int Index = 0;       // among the file's icons (or cursors), from 0
    QByteArray Bytes;    // the icon's file in the format; empty when it has none
    QString Extension;   // "bmp", "png", "ico"; "cur" or "ani" for cursors
    std::size_t Fingerprint = 0; // of its 34x34 bitmap (IconOrigin::Fingerprint)
};
struct FileIcons {
    QByteArray Path; // as the kernel takes it
    QByteArray IconsFrom; // the .mun read in the file's place, or empty
    int Count = 0;   // the icons the file holds, drawable or not
    // Those that can be drawn, in index order; for Cur, the cursor groups, then the
    // animated cursors.
    std::vector<EncodedIcon> Icons;
};
// Which icons a read takes: every one, or those Group names, each in the language it
// names; with Png, Size asks for the image PreferredImages puts first for that many
// pixels instead of the largest (0).
struct IconChoice {
    GroupChoice Group;
    int Size = 0;
};
FileIcons ReadIcons(const SourceFile& file, IconFormat format, const IconChoice& choice = {});

// Numbers and writes what ReadIcons read, as ExtractIcons does.
ExtractionResult StoreIcons(BrowseState& state, const SourceFile& file, const FileIcons& read, const IconTarget& to,
                            QStringList* passedOver = nullptr);

// Takes the icons of file in index order. Each icon that can be drawn gets the next
// number n = IconCount + 1 and is written to its numbered file in to: a 34x34 bitmap
// drawn at (1, 1) on white, or its file in the target's format; then IconCount becomes
// n, TempBitmaps[n] that file's path, IconOrigins[n] where the icon came from, and
// pending window messages run. Icons that can't be drawn get no number; a file that
// can't be read or holds no icon adds nothing. Whatever the format, the icons and their
// numbers are those of the bitmaps. A user's file the target passes over (Save's rules)
// keeps its number, and its path goes to passedOver when that is given. Throws
// WriteError when a file can't be written; that icon is not counted and its slot is left
// as it was, so IconCount and TempBitmaps[1..IconCount] always describe files on disk.
ExtractionResult ExtractIcons(BrowseState& state, const SourceFile& file, const IconTarget& to,
                              QStringList* passedOver = nullptr);
