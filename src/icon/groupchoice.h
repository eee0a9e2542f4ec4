// A choice of icon or cursor groups, as a launcher names one: plain data, apart from the
// reader so that code above the icon core can hold one without its names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// One group as a launcher names it: by its position among what is counted (ExtractIcon's
// index for icons), or by its resource name, a number in decimal or a string (ASCII
// letters in any case, as Windows finds them); and in one language. Unset parts choose
// everything.
struct GroupChoice {
    std::optional<int> Position;
    std::optional<std::string> Name;
    std::optional<std::uint32_t> Language;
    bool Any() const { return Position || Name || Language; }
};
