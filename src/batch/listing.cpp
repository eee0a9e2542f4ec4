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
#include <cstring>

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

// The numbers --extract gives the groups it takes, counted on from file to file: icons,
// and cursor groups with animated cursors, each a run of its own.
struct ExtractNumbers {
    long long icons = 0;
    long long cursors = 0;
};

// A listed group with the number --extract writes it under, 0 for none.
struct Numbered {
    const ListedResource* group;
    int index; // in the file
    long long number;
};

std::vector<Numbered> Number(const std::vector<ListedResource>& groups, long long& last)
{
    std::vector<Numbered> numbered;
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (groups[i].Chosen)
            numbered.push_back({&groups[i], int(i), groups[i].TakenVariant().Readable ? ++last : 0});
    return numbered;
}

// Why a variant can't be taken, as the listing says it: "" when it can.
QString Unreadable(const ListedVariant& variant)
{
    return variant.Readable ? QString() : QStringLiteral(" (unreadable: %1)").arg(QString::fromStdString(variant.Problem));
}

QJsonValue NumberJson(long long number)
{
    return number > 0 ? QJsonValue(qint64(number)) : QJsonValue();
}

QJsonObject VariantJson(const ListedVariant& variant, bool animated)
{
    QJsonObject json{{"language", variant.Language ? QJsonValue(qint64(*variant.Language)) : QJsonValue()},
                     {"readable", variant.Readable},
                     {"unreadable", variant.Readable ? QJsonValue() : QJsonValue(QString::fromStdString(variant.Problem))}};
    if (animated) {
        json.insert("bytes", qint64(variant.Bytes));
    } else {
        QJsonArray images;
        for (const ListedImage& image : variant.Images)
            images.append(ImageJson(image));
        json.insert("images", images);
    }
    return json;
}

// Each group as before (its name, languages, and the taken variant's images or bytes),
// with extract_number, the variant taken and every variant.
QJsonArray ResourcesJson(const std::vector<Numbered>& numbered, bool animated)
{
    QJsonArray array;
    for (const auto& [resource, index, number] : numbered) {
        QJsonObject json;
        if (resource->Name.Form == NameForm::Number)
            json.insert("name", qint64(resource->Name.Number));
        else
            json.insert("name", NameText(resource->Name));
        if (!resource->Name.DisplayIsExact()) {
            const std::vector<std::uint8_t> stored = resource->Name.StoredBytes();
            json.insert("name_bytes", Hex(QByteArray(reinterpret_cast<const char*>(stored.data()), qsizetype(stored.size()))));
        }
        QJsonArray languages;
        for (const std::uint32_t language : resource->Languages)
            languages.append(qint64(language));
        json.insert("languages", languages);
        QJsonObject taken = VariantJson(resource->TakenVariant(), animated);
        for (const char* key : {"images", "bytes", "readable", "unreadable"})
            if (taken.contains(QLatin1String(key)))
                json.insert(QLatin1String(key), taken.value(QLatin1String(key)));
        json.insert("extract_number", NumberJson(number));
        json.insert("taken_variant", resource->Taken);
        QJsonArray variants;
        for (const ListedVariant& variant : resource->Variants)
            variants.append(VariantJson(variant, animated));
        json.insert("variants", variants);
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

void PrintVariant(BatchOutput& out, const ListedVariant& variant, const QString& indent)
{
    if (variant.Images.empty() && variant.Bytes > 0)
        out.Line(stdout, indent + QStringLiteral("%1 bytes").arg(variant.Bytes));
    for (const ListedImage& image : variant.Images)
        out.Line(stdout, indent + ImageText(image));
}

void PrintResources(BatchOutput& out, const char* kind, const std::vector<Numbered>& numbered,
                    std::optional<int> shown, const QString& stem, bool languageChosen)
{
    for (std::size_t i = 0; i < numbered.size(); ++i) {
        const ListedResource& resource = *numbered[i].group;
        const int index = numbered[i].index;
        QStringList languages;
        for (const std::uint32_t language : resource.Languages)
            languages << QString::number(language);
        QString line = QStringLiteral("  %1 %2: name %3").arg(QLatin1String(kind)).arg(index).arg(Shown(NameText(resource.Name)));
        if (!languages.isEmpty())
            line += QStringLiteral(", language %1").arg(languages.join(QLatin1Char(' ')));
        if (shown && *shown == index)
            line += QStringLiteral(" (shown for the file)");
        if (numbered[i].number > 0)
            line += QStringLiteral(", written as %1%2").arg(stem).arg(numbered[i].number, 5, 10, QLatin1Char('0'));
        if (resource.Variants.size() == 1) {
            out.Line(stdout, line + Unreadable(resource.TakenVariant()));
            PrintVariant(out, resource.TakenVariant(), QStringLiteral("    "));
            continue;
        }
        out.Line(stdout, line);
        for (std::size_t v = 0; v < resource.Variants.size(); ++v) {
            const ListedVariant& variant = resource.Variants[v];
            QString head = QStringLiteral("    language %1").arg(variant.Language.value_or(0));
            if (int(v) == resource.Taken)
                head += languageChosen ? QStringLiteral(" (taken)") : QStringLiteral(" (taken without --language)");
            out.Line(stdout, head + Unreadable(variant) + QLatin1Char(':'));
            PrintVariant(out, variant, QStringLiteral("      "));
        }
    }
}

void PrintFile(BatchOutput& out, const BatchSource& source, const ResourceListing& listing, const QByteArray& iconsFrom,
               bool json, bool languageChosen, ExtractNumbers& numbers)
{
    const auto [problemWord, problemText] = ProblemNames(listing.Problem);
    const std::vector<Numbered> icons = Number(listing.Icons, numbers.icons);
    const std::vector<Numbered> cursors = Number(listing.Cursors, numbers.cursors);
    const std::vector<Numbered> animated = Number(listing.AnimatedCursors, numbers.cursors);
    if (json) {
        QJsonObject object{{"file", source.Shown},
                           {"file_bytes", Hex(source.ShownBytes)},
                           {"format", QLatin1String(FormatName(listing))},
                           {"problem", problemWord ? QJsonValue(QLatin1String(problemWord)) : QJsonValue()},
                           {"shown_icon", listing.ShownIcon ? QJsonValue(*listing.ShownIcon) : QJsonValue()},
                           {"icons", ResourcesJson(icons, false)},
                           {"cursors", ResourcesJson(cursors, false)},
                           {"animated_cursors", ResourcesJson(animated, true)},
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
    const QString icon = QStringLiteral("Icon");
    const QString cursor = QStringLiteral("Cursor");
    PrintResources(out, "icon", icons, listing.ShownIcon, icon, languageChosen);
    PrintResources(out, "cursor", cursors, std::nullopt, cursor, languageChosen);
    PrintResources(out, "animated cursor", animated, std::nullopt, cursor, languageChosen);
    if (listing.Cut)
        out.Line(stdout, QStringLiteral("  (more groups and images than are listed)"));
}
} // namespace

int RunList(const ListRequest& request)
{
    BatchOutput out(false);
    int status = 0;
    ExtractNumbers numbers;
    for (const QByteArray& source : request.Sources) {
        const auto unreadable = [&out](const QString& folder, int error) {
            out.Line(stderr, QStringLiteral("vistrel: %1 can't be read and was passed over: %2")
                                 .arg(Shown(folder), QString::fromLocal8Bit(std::strerror(error))));
        };
        const std::optional<std::vector<BatchSource>> files = ListSources(source, request.Walk, unreadable);
        if (!files) {
            out.Line(stderr, QStringLiteral("vistrel: %1 is not a file or a folder").arg(Shown(DisplayName(source))));
            status = 2;
            continue;
        }
        for (const BatchSource& file : *files) {
            IconFile icons((file.Folder + '/' + file.Name.Bytes).constData(), file.Redirects.get());
            PrintFile(out, file, ListResources(icons.Source(), request.Choice.Group),
                      QByteArray::fromStdString(icons.IconsFrom()), request.Json,
                      request.Choice.Group.Language.has_value(), numbers);
        }
    }
    return status;
}
