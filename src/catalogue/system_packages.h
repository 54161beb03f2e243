// The game's own script packages ("system" packages), listed in systemu.dat:
// the defaults an empty list is filled with, and the look-up the Compile
// command's guard asks.
#pragma once

#include <array>
#include <string_view>

#include "tables/components/db_dataset.h"

namespace quoldex::catalogue {

// The default list, in the order its rows are added.
inline constexpr std::array<std::string_view, 16> kDefaultSystemPackages = {
    "botpack",  "core",          "editor", "engine",  "fire",        "ipdrv",
    "ipserver", "ubrowser",      "umenu",  "unreali", "unrealshare", "utbrowser",
    "utmenu",   "utserveradmin", "uweb",   "uwindow"};

// The after-open handler of dtblSystemU (install it with SetAfterOpen): when
// the row the open table stands on has an empty `Package` (so the table has
// no rows, a row cannot be posted without a name), appends the default
// names, one posted row each, in order. A table that holds any row is left
// as it is. A name that is there already (another instance filling the
// table at the same time) is passed over; any other refused row is
// cancelled and its error propagates, the rows posted before it staying.
void dtblSystemUAfterOpen(tables::TDataSet& data_set);

// True when the open systemu table holds a row whose `Package` equals
// `package`, ignoring case and comparing the whole value ("BotPack" finds
// botpack, "botpack.u" finds nothing). The table then stands on that row;
// otherwise its position is unchanged.
bool IsSystemPackage(tables::TDataSet& dtbl_system_u, std::string_view package);

}  // namespace quoldex::catalogue
