#include "icon/resourcelist.h"

#include "icon/cursorexport.h"
#include "icon/iconexport.h"

namespace {

ListProblem FromResourceProblem(ResourceProblem problem)
{
    switch (problem) {
    case ResourceProblem::None:
        return ListProblem::None;
    case ResourceProblem::Empty:
        return ListProblem::Empty;
    case ResourceProblem::NotExecutable:
        return ListProblem::NotExecutable;
    case ResourceProblem::Truncated:
        return ListProblem::Truncated;
    case ResourceProblem::DamagedHeaders:
        return ListProblem::DamagedHeaders;
    case ResourceProblem::NoResources:
        return ListProblem::NoResources;
    case ResourceProblem::DamagedResources:
        return ListProblem::DamagedResources;
    }
    return ListProblem::None;
}

ListedImage Listed(IconReader& reader, const IconEntry& entry)
{
    ListedImage image;
    image.Width = EntryDimension(entry.Width);
    image.Height = EntryDimension(entry.Height);
    image.BitCount = entry.BitCount;
    image.ColorCount = entry.ColorCount;
    image.Id = entry.Where;
    if (const auto facts = reader.Inspect(entry)) {
        image.Readable = true;
        image.Png = facts->Png;
        image.Bytes = facts->Length;
        if (facts->BitCount != 0)
            image.BitCount = facts->BitCount;
    }
    if (entry.Kind == ResourceKind::Cursor) {
        image.HotspotX = entry.HotspotX;
        image.HotspotY = entry.HotspotY;
    }
    return image;
}

// Counts the groups and images listed; false once there are too many.
struct ItemBudget {
    int left = kMaxListedItems;
    bool cut = false;
    bool Take()
    {
        if (left == 0) {
            cut = true;
            return false;
        }
        --left;
        return true;
    }
};

// One language of group index, read as the reader reads it now.
ListedVariant Variant(IconReader& reader, ResourceKind kind, int index, ItemBudget& items)
{
    ListedVariant variant;
    if (kind == ResourceKind::AnimatedCursor) {
        variant.Bytes = AniBytes(reader, index).size();
        variant.Readable = variant.Bytes > 0;
        if (!variant.Readable)
            variant.Problem = "its data lies outside the file or is no animated cursor";
        return variant;
    }
    for (const IconEntry& entry : reader.Entries(index, kind)) {
        if (!items.Take())
            break;
        variant.Images.push_back(Listed(reader, entry));
    }
    // The very rule the scan and --extract take a group by, not a look at its headers.
    if (kind == ResourceKind::Icon) {
        GroupProblem why = GroupProblem::None;
        variant.Readable = reader.Read(index, &why).has_value();
        variant.Problem = GroupProblemText(why);
    } else {
        variant.Readable = !CursorFileBytes(reader, index).empty();
        if (!variant.Readable)
            variant.Problem = "none of its images can be read";
    }
    return variant;
}

std::vector<ListedResource> ListedGroups(IconReader& reader, ResourceKind kind, int firstPosition,
                                         const GroupChoice& choice, bool& anyReadable, ItemBudget& items)
{
    std::vector<ListedResource> groups;
    const int count = reader.Count(kind);
    for (int i = 0; i < count && items.Take(); ++i) {
        ListedResource group{reader.Name(kind, i), reader.Languages(kind, i), {}, 0, true};
        group.Chosen = IsChosen(reader, kind, i, firstPosition + i, choice);
        std::vector<std::optional<std::uint32_t>> languages(group.Languages.begin(), group.Languages.end());
        if (languages.empty())
            languages.push_back(std::nullopt);
        for (std::size_t v = 0; v < languages.size(); ++v) {
            if (choice.Language && languages[v] == choice.Language)
                group.Taken = int(v);
            reader.SelectLanguage(languages[v]);
            group.Variants.push_back(Variant(reader, kind, i, items));
            group.Variants.back().Language = languages[v];
        }
        reader.SelectLanguage(std::nullopt);
        anyReadable |= group.TakenVariant().Readable;
        groups.push_back(std::move(group));
    }
    return groups;
}

} // namespace

ResourceListing ListResources(const ByteSource& file, const GroupChoice& choice)
{
    IconReader reader(file);
    ResourceListing listing;
    listing.Format = reader.Format();
    listing.IconFile = reader.IsIconFile();
    listing.Problem = FromResourceProblem(reader.Problem());
    bool anyReadable = false;
    ItemBudget items;
    listing.Icons = ListedGroups(reader, ResourceKind::Icon, 0, choice, anyReadable, items);
    listing.Cursors = ListedGroups(reader, ResourceKind::Cursor, 0, choice, anyReadable, items);
    // Animated cursors are counted on from the cursor groups, as --extract --format cur
    // numbers them.
    listing.AnimatedCursors = ListedGroups(reader, ResourceKind::AnimatedCursor, reader.Count(ResourceKind::Cursor),
                                           choice, anyReadable, items);
    listing.Cut = items.cut;
    if (!listing.Icons.empty())
        listing.ShownIcon = 0;
    const bool none = listing.Icons.empty() && listing.Cursors.empty() && listing.AnimatedCursors.empty();
    if (listing.Problem == ListProblem::None && none)
        listing.Problem = ListProblem::NoIconsOrCursors;
    else if (listing.Problem == ListProblem::None && !anyReadable)
        listing.Problem = ListProblem::NothingReadable;
    return listing;
}
