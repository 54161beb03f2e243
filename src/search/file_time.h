// Date-times and file times of the file search, and the packed DOS date and
// time that lies between them.
//
// A TDateTime counts days since 1899-12-30 00:00 in local time (29221.0 is
// 1980-01-01, 73050.0 is 2099-12-31). A FileTime counts 100-nanosecond ticks
// since 1601-01-01 00:00 UTC. Going from one to the other passes through a
// packed DOS date and time, so values are kept at two-second resolution, in
// local time, between 1980 and 2107.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

#include "text/date_time.h"

namespace quoldex::search {

using FileTime = uint64_t;

// A DOS date (high 16 bits: day | month << 5 | (year - 1980) << 9) and time
// (low 16 bits: seconds / 2 | minutes << 5 | hours << 11).
using DosDateTime = uint32_t;

// The bounds a stored time window is clamped to: 1980-01-01 and 2099-12-31.
inline constexpr text::TDateTime kMinDosDateTime = 29221.0;
inline constexpr text::TDateTime kMaxDosDateTime = 73050.0;

// The stored time when a date-time cannot be turned into a file time.
inline constexpr FileTime kInvalidFileTime = 0x0000FFFF0000FFFFull;

// Packs `value` (which must lie in 1980..2107) as a DOS date and time: the
// value is rounded to the millisecond, then seconds are truncated to even.
DosDateTime DateTimeToDosDateTime(text::TDateTime value);

// The TDateTime of a packed DOS date and time.
text::TDateTime DosDateTimeToDateTime(DosDateTime dos);

// The UTC file time of a DOS date and time read as local time, or nullopt
// when the platform cannot represent it.
std::optional<FileTime> LocalDosDateTimeToFileTime(DosDateTime dos);

// The local DOS date and time of a UTC file time, or nullopt when it falls
// outside 1980..2107 (or outside what the platform can convert).
std::optional<DosDateTime> FileTimeToLocalDosDateTime(FileTime time);

// Writing direction of a time-window bound: clamps `value` into
// kMinDosDateTime..kMaxDosDateTime (NaN counts as below), packs it and
// returns the UTC file time, or kInvalidFileTime when that fails.
FileTime DateTimeToFileTime(text::TDateTime value);

// Reading direction: a UTC file time as a local TDateTime at two-second
// resolution, or -1.0 when it has no DOS date and time.
text::TDateTime FileTimeToDateTime(FileTime time);

// The file time of a POSIX time stamp; times before 1601 give 0, times past
// the last file time give the last one.
FileTime UnixTimeToFileTime(const timespec& time);

}  // namespace quoldex::search
