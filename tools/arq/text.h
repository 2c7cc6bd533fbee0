// Figures for people: times, modes, ratios.
#pragma once

#include <cstdint>
#include <string>

// "2023-11-14 22:13:20": seconds since 1970-01-01 taken as the signed 32-bit count
// the engine applies, shown in UTC, which is what the archive stores.
std::string FormatUtc(uint32_t mtime);
// The same moment in the local time zone.
std::string FormatLocal(uint32_t mtime);

// Whether an entry's stored name matches a pattern given on the command line: '*'
// stands for any run of characters, '?' for one; letters match without regard to
// case, and '\\' and '/' alike.
bool NameMatches(const std::string& pattern, const std::string& name);

// "100666": a stat-layout mode word in octal.
std::string FormatMode(int mode);

// "21.7%": packed as a share of size; "-" for an empty entry.
std::string FormatRatio(uint64_t packed, uint64_t size);

// A name from an archive (in the ANSI code page) as the terminal shows it: control
// bytes as '?' (see Printable), in the terminal's encoding, and with the separator
// people on this system write between folders.
std::string ShownName(const char* name);
// The same for a name in the host's own spelling (from the command line or a folder).
std::string ShownHostName(const std::string& name);
