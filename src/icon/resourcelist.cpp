#include "icon/resourcelist.h"

#include "icon/cursorexport.h"

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

std::vector<ListedResource> ListedGroups(IconReader& reader, ResourceKind kind, bool& anyReadable, ItemBudget& items)
{
    std::vector<ListedResource> groups;
    const int count = reader.Count(kind);
    for (int i = 0; i < count && items.Take(); ++i) {
        ListedResource group{reader.Name(kind, i), reader.Languages(kind, i), {}, 0};
        if (kind == ResourceKind::AnimatedCursor) {
            group.Bytes = AniBytes(reader, i).size();
            anyReadable |= group.Bytes > 0;
        }
        for (const IconEntry& entry : reader.Entries(i, kind)) {
            if (!items.Take())
                break;
            group.Images.push_back(Listed(reader, entry));
            anyReadable |= group.Images.back().Readable;
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

} // namespace

ResourceListing ListResources(const ByteSource& file)
{
    IconReader reader(file);
    ResourceListing listing;
    listing.Format = reader.Format();
    listing.IconFile = reader.IsIconFile();
    listing.Problem = FromResourceProblem(reader.Problem());
    bool anyReadable = false;
    ItemBudget items;
    listing.Icons = ListedGroups(reader, ResourceKind::Icon, anyReadable, items);
    listing.Cursors = ListedGroups(reader, ResourceKind::Cursor, anyReadable, items);
    listing.AnimatedCursors = ListedGroups(reader, ResourceKind::AnimatedCursor, anyReadable, items);
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
