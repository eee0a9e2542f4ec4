#include "scan/iconextraction.h"

#include "platform/busy.h"
#include "platform/bytesource.h"
#include "platform/dib.h"
#include "platform/errors.h"
#include "platform/exeicons.h"
#include "platform/programfolder.h"

#include <QFile>

QString NumberedBitmapPath(const QString& prefix, int number)
{
    return prefix + QStringLiteral("%1.bmp").arg(number, 5, 10, QLatin1Char('0'));
}

QString TempBitmapPath(int number)
{
    return NumberedBitmapPath(ProgramFolder() + QStringLiteral("Temp"), number);
}

ExtractionResult ExtractIcons(BrowseState& state, const QString& folder, const QString& fileName)
{
    return ExtractIconsTo(state, folder, fileName, ProgramFolder() + QStringLiteral("Temp"));
}

ExtractionResult ExtractIconsTo(BrowseState& state, const QString& folder, const QString& fileName,
                                const QString& bitmapPrefix)
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
        const int n = state.IconCount + 1;
        const QString path = NumberedBitmapPath(bitmapPrefix, n);
        // Counted only once written: a count that included the failed icon would make the
        // grid and Save take its slot's bitmap from an earlier scan for it.
        if (!WriteWholeFile(path, EncodeBmp(DrawIconBitmap(*icon))))
            throw AppError(QStringLiteral("ファイル %1 を作成できません").arg(path));
        state.IconCount = n;
        state.TempBitmaps[static_cast<std::size_t>(n)] = path;
        state.IconOrigins[static_cast<std::size_t>(n)] = {folder, fileName, i, count};
        ProcessMessages();
    }
    return ExtractionResult::Done;
}
