// Taking every icon out of one executable or library file into temporary bitmaps.
#pragma once

#include "scan/browsesession.h"

#include <QString>
#include <QStringList>

enum class ExtractionResult {
    Done,            // every icon of the file that could be drawn was stored
    CapacityReached, // TempBitmaps is full: icons after number kMaxIcons were left out
};

// What an export writes for each icon.
enum class IconFormat {
    Bmp, // the 34x34 bitmap, as Open draws it
    Png, // the icon's largest image (deepest on equal sizes) at its own size, with its alpha
    Ico, // an icon file with every image of the icon, in the order of its group
};

// prefix + number in the pattern "00000" + "." + extension: Icon00001.png.
QString NumberedFilePath(const QString& prefix, int number, const QString& extension);

// The same with ".bmp": Icon00001.bmp, Temp00012.bmp, Temp10000.bmp.
QString NumberedBitmapPath(const QString& prefix, int number);

// The temporary bitmap of icon number n: TempFolder() + "Temp" + n as "00000" + ".bmp".
QString TempBitmapPath(int number);

// Takes the icons of folder + "/" + fileName in index order. Each icon that can be
// drawn gets the next number n = IconCount + 1, is drawn at (1, 1) on a white 34x34
// bitmap written to TempBitmapPath(n); then IconCount becomes n, TempBitmaps[n] that
// path, IconOrigins[n] the file and the icon's index in it, and pending window messages run. Icons that can't be drawn get no number. A file
// that can't be read or holds no icon adds nothing. Throws AppError("ファイル %s を作成できません")
// when a bitmap can't be written; that icon is not counted and its slot is left as it
// was, so IconCount and TempBitmaps[1..IconCount] always describe bitmaps on disk.
ExtractionResult ExtractIcons(BrowseState& state, const QString& folder, const QString& fileName);

// The same, writing prefix + n as "00000" + the format's extension instead of the
// temporary bitmaps; the batch command line writes its Icon files this way. Whatever the
// format, the icons and their numbers are those of the bitmaps. These are the user's
// files, so they follow Save's rules: a target that may not be replaced (no write bit, or
// not a regular file) is left as it is, its icon keeps its number, and its path is added
// to passedOver when that is given.
ExtractionResult ExtractIconsTo(BrowseState& state, const QString& folder, const QString& fileName,
                                const QString& prefix, IconFormat format = IconFormat::Bmp,
                                QStringList* passedOver = nullptr);
