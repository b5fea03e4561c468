// The standard 56-colour palette that colour indexes refer to.
#pragma once
#include <cstdint>
#include <optional>

namespace spreadsheet {

constexpr int kColorIndexNone = -4142;       // no fill
constexpr int kColorIndexAutomatic = -4105;  // the automatic colour: for a fill, none

// 0xRRGGBB of palette entry 1..56; nullopt for any other index.
std::optional<std::uint32_t> PaletteColor(int index);

}  // namespace spreadsheet
