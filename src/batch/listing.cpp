#include "batch/listing.h"

#include "batch/progress.h"
#include "batch/sources.h"
#include "icon/redirect.h"
#include "icon/resourcelist.h"
#include "platform/filenames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {
const char* FormatName(const ResourceListing& listing)
{
    if (listing.IconFile)
        return "icon file";
    switch (listing.Format) {
    case ExecutableFormat::Pe32:
        return "PE32";
    case ExecutableFormat::Pe32Plus:
        return "PE32+";
    case ExecutableFormat::Ne:
        return "NE";
    case ExecutableFormat::Unknown:
        break;
    }
    return "unknown";
}

// Why a file yields nothing, as a word for scripts and a phrase for people.
std::pair<const char*, const char*> ProblemNames(ListProblem problem)
{
    switch (problem) {
    case ListProblem::None:
        return {nullptr, nullptr};
    case ListProblem::Empty:
        return {"empty", "the file is empty"};
    case ListProblem::NotExecutable:
        return {"not-executable", "not a Windows executable or icon file"};
    case ListProblem::Truncated:
        return {"truncated", "cut short: its headers run past its end"};
    case ListProblem::DamagedHeaders:
        return {"damaged-headers", "damaged headers"};
    case ListProblem::NoResources:
        return {"no-resources", "no resources"};
    case ListProblem::DamagedResources:
        return {"damaged-resources", "its resource directory lies outside the file"};
    case ListProblem::NoIconsOrCursors:
        return {"no-icons-or-cursors", "resources, but no icon or cursor among them"};
    case ListProblem::NothingReadable:
        return {"nothing-readable", "icon or cursor groups whose images can't be read"};
    }
    return {"unknown", "unknown"};
}

QString Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QString NameText(const ResourceName& name)
{
    return QString::fromStdString(name.Display());
}

QJsonObject ImageJson(const ListedImage& image)
{
    QJsonObject json{{"width", image.Width},   {"height", image.Height}, {"bits", image.BitCount},
                     {"colors", image.ColorCount}, {"png", image.Png},   {"bytes", qint64(image.Bytes)},
                     {"readable", image.Readable}};
    if (image.HotspotX && image.HotspotY)
        json.insert("hotspot", QJsonArray{*image.HotspotX, *image.HotspotY});
    return json;
}

QJsonArray ResourcesJson(const std::vector<ListedResource>& resources)
{
    QJsonArray array;
    for (const ListedResource& resource : resources) {
        QJsonObject json;
        if (resource.Name.Form == NameForm::Number)
            json.insert("name", qint64(resource.Name.Number));
        else
            json.insert("name", NameText(resource.Name));
        if (!resource.Name.DisplayIsExact()) {
            const std::vector<std::uint8_t> stored = resource.Name.StoredBytes();
            json.insert("name_bytes", Hex(QByteArray(reinterpret_cast<const char*>(stored.data()), qsizetype(stored.size()))));
        }
        QJsonArray languages;
        for (const std::uint32_t language : resource.Languages)
            languages.append(qint64(language));
        json.insert("languages", languages);
        if (resource.Images.empty() && resource.Bytes > 0) {
            json.insert("bytes", qint64(resource.Bytes));
        } else {
            QJsonArray images;
            for (const ListedImage& image : resource.Images)
                images.append(ImageJson(image));
            json.insert("images", images);
        }
        array.append(json);
    }
    return array;
}

QString ImageText(const ListedImage& image)
{
    QString text = QStringLiteral("%1x%2 %3-bit %4 %5 bytes")
                       .arg(image.Width)
                       .arg(image.Height)
                       .arg(image.BitCount)
                       .arg(image.Png ? QStringLiteral("PNG") : QStringLiteral("BMP"))
                       .arg(image.Bytes);
    if (image.HotspotX && image.HotspotY)
        text += QStringLiteral(", hotspot %1,%2").arg(*image.HotspotX).arg(*image.HotspotY);
    if (!image.Readable)
        text += QStringLiteral(" (unreadable)");
    return text;
}

void PrintResources(BatchOutput& out, const char* kind, const std::vector<ListedResource>& resources,
                    std::optional<int> shown)
{
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const ListedResource& resource = resources[i];
        QStringList languages;
        for (const std::uint32_t language : resource.Languages)
            languages << QString::number(language);
        QString line = QStringLiteral("  %1 %2: name %3").arg(QLatin1String(kind)).arg(i).arg(Shown(NameText(resource.Name)));
        if (!languages.isEmpty())
            line += QStringLiteral(", language %1").arg(languages.join(QLatin1Char(' ')));
        if (resource.Images.empty() && resource.Bytes > 0)
            line += QStringLiteral(", %1 bytes").arg(resource.Bytes);
        if (shown && *shown == int(i))
            line += QStringLiteral(" (shown for the file)");
        out.Line(stdout, line);
        for (const ListedImage& image : resource.Images)
            out.Line(stdout, QStringLiteral("    ") + ImageText(image));
    }
}

void PrintFile(BatchOutput& out, const BatchSource& source, const ResourceListing& listing, const QByteArray& iconsFrom,
               bool json)
{
    const auto [problemWord, problemText] = ProblemNames(listing.Problem);
    if (json) {
        QJsonObject object{{"file", source.Shown},
                           {"file_bytes", Hex(source.ShownBytes)},
                           {"format", QLatin1String(FormatName(listing))},
                           {"problem", problemWord ? QJsonValue(QLatin1String(problemWord)) : QJsonValue()},
                           {"shown_icon", listing.ShownIcon ? QJsonValue(*listing.ShownIcon) : QJsonValue()},
                           {"icons", ResourcesJson(listing.Icons)},
                           {"cursors", ResourcesJson(listing.Cursors)},
                           {"animated_cursors", ResourcesJson(listing.AnimatedCursors)},
                           {"cut", listing.Cut}};
        // Only for a file whose icons are read from its .mun: other lines stay as they were.
        if (!iconsFrom.isEmpty()) {
            object.insert("icons_from", DisplayName(iconsFrom));
            object.insert("icons_from_bytes", Hex(iconsFrom));
        }
        out.Line(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        return;
    }
    QString head = QStringLiteral("%1: %2").arg(Shown(source.Shown), QLatin1String(FormatName(listing)));
    if (!iconsFrom.isEmpty())
        head += QStringLiteral(", icons from %1").arg(Shown(DisplayName(iconsFrom)));
    if (problemText)
        head += QStringLiteral(", nothing to take: %1").arg(QLatin1String(problemText));
    else
        head += QStringLiteral(", %1 icons, %2 cursors, %3 animated cursors")
                    .arg(listing.Icons.size())
                    .arg(listing.Cursors.size())
                    .arg(listing.AnimatedCursors.size());
    out.Line(stdout, head);
    PrintResources(out, "icon", listing.Icons, listing.ShownIcon);
    PrintResources(out, "cursor", listing.Cursors, std::nullopt);
    PrintResources(out, "animated cursor", listing.AnimatedCursors, std::nullopt);
    if (listing.Cut)
        out.Line(stdout, QStringLiteral("  (more groups and images than are listed)"));
}
} // namespace

int RunList(const ListRequest& request)
{
    BatchOutput out(false);
    int status = 0;
    for (const QByteArray& source : request.Sources) {
        const auto unreadable = [&out](const QString& folder) {
            out.Line(stderr, QStringLiteral("vistrel: %1 can't be read and was passed over").arg(Shown(folder)));
        };
        const std::optional<std::vector<BatchSource>> files = ListSources(source, request.Recursive, unreadable, request.AllKinds);
        if (!files) {
            out.Line(stderr, QStringLiteral("vistrel: %1 is not a file or a folder").arg(Shown(DisplayName(source))));
            status = 2;
            continue;
        }
        for (const BatchSource& file : *files) {
            IconFile icons((file.Folder + '/' + file.Name.Bytes).constData(), file.Redirects.get());
            PrintFile(out, file, ListResources(icons.Source()), QByteArray::fromStdString(icons.IconsFrom()),
                      request.Json);
        }
    }
    return status;
}
