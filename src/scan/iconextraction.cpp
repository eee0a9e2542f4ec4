#include "scan/iconextraction.h"

#include "icon/cursorexport.h"
#include "icon/exeicons.h"
#include "icon/iconexport.h"
#include "icon/redirect.h"
#include "platform/bitmapfile.h"
#include "platform/errors.h"
#include "platform/folderwriter.h"
#include "platform/programfolder.h"
#include "ui/busy.h"

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

QByteArray AsByteArray(const std::vector<std::uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

namespace {
QString Extension(IconFormat format)
{
    switch (format) {
    case IconFormat::Png:
        return QStringLiteral("png");
    case IconFormat::Ico:
        return QStringLiteral("ico");
    case IconFormat::Cur:
        return QStringLiteral("cur");
    case IconFormat::Bmp:
        break;
    }
    return QStringLiteral("bmp");
}

// The path of name in the folder out writes to, as it is shown.
QString PathIn(const FolderWriter& out, const QString& name)
{
    const QString folder = DisplayName(out.Folder());
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}
} // namespace

FileIcons ReadIcons(const SourceFile& file, IconFormat format, const IconChoice& choice)
{
    FileIcons read;
    read.Path = file.Folder + '/' + file.Name.Bytes;
    // Read with bounded reads, not mapped: the file may be cut short while it is read,
    // and that must cost icons, not the program.
    IconFile icons(read.Path.constData(), file.Redirects.get());
    IconReader& reader = icons.Reader();
    read.IconsFrom = QByteArray::fromStdString(icons.IconsFrom());
    reader.SelectLanguage(choice.Group.Language);
    const bool cursors = format == IconFormat::Cur;
    read.Count = reader.Count(cursors ? ResourceKind::Cursor : ResourceKind::Icon);
    ForEachChosen(reader, choice.Group, cursors, [&](ResourceKind kind, int i, const IconImage* icon) {
        if (!icon) {
            const QString extension = kind == ResourceKind::AnimatedCursor ? QStringLiteral("ani") : QStringLiteral("cur");
            read.Icons.push_back({i, AsByteArray(ExportedFileBytes(reader, kind, i, format, 0)), extension, 0});
            return;
        }
        const QImage bitmap = DrawIconBitmap(*icon);
        QByteArray bytes = format == IconFormat::Bmp ? EncodeBmp(bitmap)
                                                     : AsByteArray(ExportedFileBytes(reader, kind, i, format, choice.Size));
        read.Icons.push_back({i, std::move(bytes), Extension(format), BitmapFingerprint(bitmap)});
    });
    return read;
}

ExtractionResult StoreIcons(BrowseState& state, const SourceFile& file, const FileIcons& read, const IconTarget& to,
                            QStringList* passedOver)
{
    for (const EncodedIcon& icon : read.Icons) {
        if (state.IconCount >= kMaxIcons)
            return ExtractionResult::CapacityReached;
        if (icon.Bytes.isEmpty())
            continue;
        const int n = state.IconCount + 1;
        const QString name = NumberedFilePath(to.Stem, n, icon.Extension);
        // Counted only once written: a count that included the failed icon would make the
        // grid and Save take its slot's bitmap from an earlier scan for it. A user's file
        // passed over still counts, so the numbers stay those of the bitmaps.
        switch (to.Out->Write(QFile::encodeName(name), icon.Bytes)) {
        case FolderWriter::Result::Written:
            break;
        case FolderWriter::Result::PassedOver:
            if (passedOver)
                passedOver->append(PathIn(*to.Out, name));
            break;
        case FolderWriter::Result::Failed:
            throw WriteError(PathIn(*to.Out, name));
        }
        state.IconCount = n;
        state.TempBitmaps[static_cast<std::size_t>(n)] = PathIn(*to.Out, name);
        state.IconOrigins[static_cast<std::size_t>(n)] = {file.FolderText, file.Name.Text, icon.Index, read.Count,
                                                          read.Path, icon.Fingerprint, read.IconsFrom};
        ProcessMessages();
    }
    return ExtractionResult::Done;
}

ExtractionResult ExtractIcons(BrowseState& state, const SourceFile& file, const IconTarget& to, QStringList* passedOver)
{
    return StoreIcons(state, file, ReadIcons(file, to.Format), to, passedOver);
}
