#include "scan/iconextraction.h"

#include "ui/busy.h"
#include "platform/atomicfile.h"
#include "icon/bytesource.h"
#include "platform/bitmapfile.h"
#include "platform/errors.h"
#include "icon/exeicons.h"
#include "icon/iconexport.h"
#include "platform/programfolder.h"

#include <QFile>

QString NumberedFilePath(const QString& prefix, int number, const QString& extension)
{
    return prefix + QStringLiteral("%1.").arg(number, 5, 10, QLatin1Char('0')) + extension;
}

QString NumberedBitmapPath(const QString& prefix, int number)
{
    return NumberedFilePath(prefix, number, QStringLiteral("bmp"));
}

QString TempBitmapPath(int number)
{
    return NumberedBitmapPath(TempFolder() + QStringLiteral("Temp"), number);
}


namespace {
QByteArray AsByteArray(const std::vector<std::uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// The file of icon index in format; empty when the icon has nothing to write in it.
QByteArray Encoded(IconReader& reader, int index, const IconImage& icon, IconFormat format)
{
    switch (format) {
    case IconFormat::Png:
        return AsByteArray(LargestImagePng(reader, index));
    case IconFormat::Ico:
        return AsByteArray(IconFileBytes(reader, index));
    case IconFormat::Bmp:
        break;
    }
    return EncodeBmp(DrawIconBitmap(icon));
}

QString Extension(IconFormat format)
{
    switch (format) {
    case IconFormat::Png:
        return QStringLiteral("png");
    case IconFormat::Ico:
        return QStringLiteral("ico");
    case IconFormat::Bmp:
        break;
    }
    return QStringLiteral("bmp");
}

// The temporary bitmaps are the program's own scratch files, always replaced with a plain
// write; exported files are the user's (userFiles): a read-only one is left alone, and
// the others are replaced whole, so a reader never sees half an icon.
ExtractionResult Extract(BrowseState& state, const QString& folder, const QString& fileName, const QString& prefix,
                         IconFormat format, bool userFiles, QStringList* passedOver)
{
    // Read with bounded reads, not mapped: the file may be cut short while messages run
    // between two of its icons, and that must cost icons, not the program.
    const FileSource file(QFile::encodeName(folder + QLatin1Char('/') + fileName).constData());
    IconReader reader(file);
    const int count = reader.Count();
    for (int i = 0; i < count; ++i) {
        const auto icon = reader.Read(i);
        if (!icon)
            continue;
        if (state.IconCount >= kMaxIcons)
            return ExtractionResult::CapacityReached;
        const QByteArray bytes = Encoded(reader, i, *icon, format);
        if (bytes.isEmpty())
            continue;
        const int n = state.IconCount + 1;
        const QString path = NumberedFilePath(prefix, n, Extension(format));
        // Counted only once written: a count that included the failed icon would make the
        // grid and Save take its slot's bitmap from an earlier scan for it. A user's file
        // passed over still counts, so the numbers stay those of the bitmaps.
        if (userFiles && !MayReplace(ReplacedFile(path))) {
            if (passedOver)
                passedOver->append(path);
        } else if (!(userFiles ? ReplaceFileWith(path, bytes) : WriteWholeFile(path, bytes))) {
            throw AppError(QStringLiteral("ファイル %1 を作成できません").arg(path));
        }
        state.IconCount = n;
        state.TempBitmaps[static_cast<std::size_t>(n)] = path;
        state.IconOrigins[static_cast<std::size_t>(n)] = {folder, fileName, i, count};
        ProcessMessages();
    }
    return ExtractionResult::Done;
}
} // namespace

ExtractionResult ExtractIcons(BrowseState& state, const QString& folder, const QString& fileName)
{
    return Extract(state, folder, fileName, TempFolder() + QStringLiteral("Temp"), IconFormat::Bmp, false, nullptr);
}

ExtractionResult ExtractIconsTo(BrowseState& state, const QString& folder, const QString& fileName,
                                const QString& prefix, IconFormat format, QStringList* passedOver)
{
    return Extract(state, folder, fileName, prefix, format, true, passedOver);
}
