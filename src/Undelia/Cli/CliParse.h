// The texts of undelia-cli's result options turned into values: sizes with unit suffixes and
// ranges of ISO 8601 dates and times.
#pragma once

#include <cstdint>
#include <string>

// "1500", "10K", "1.5M", "2G", "4KB", "4KiB", "3T" (units of 1024, case ignored). False for
// anything else or a size that does not fit 64 bits.
bool CliParseSize(const std::string& strText, uint64_t* pBytes);

// "FROM..TO" of ISO 8601 times, either side empty for an open end: "2024-01-31",
// "2024-01-31T08:30", "2024-01-31 08:30:15", with "Z" or an offset such as "+02:00" (UTC when
// none is given). A date alone stands for its whole day: from its first to its last moment. The
// result is in file times (100 ns since 1601, UTC); false when a side cannot be read or FROM is
// later than TO.
bool CliParseTimeRange(const std::string& strText, uint64_t* pFrom, uint64_t* pTo);
