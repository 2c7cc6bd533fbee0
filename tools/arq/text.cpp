// Formatting of listing fields.
#include "tools/arq/text.h"

#include <cstdio>

#include "platform/platform.h"
#include "tools/arq/console.h"

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian calendar), by counting
// 400-year eras of 146097 days from 0000-03-01, so that the leap day ends a year.
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468; // 0000-03-01 to 1970-01-01
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153; // 0 = March
    *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

// Folder separators as people on this system write them. A double-byte character
// cannot hide a '\\' here: the name is in the host's encoding, which on Linux is
// UTF-8 and on Windows keeps '\\' anyway.
std::string WithSeparators(std::string name) {
    const char separator = PlatPathSeparator();
    for (char& c : name) {
        if (c == '\\' || c == '/') c = separator;
    }
    return name;
}

std::string FormatSeconds(int64_t seconds) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        days--;
    }
    int64_t year;
    int month;
    int day;
    CivilFromDays(days, &year, &month, &day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(year), month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return text;
}

unsigned char Folded(char c) {
    if (c == '\\') return '/';
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
    return static_cast<unsigned char>(c);
}

} // namespace

std::string FormatUtc(uint32_t mtime) { return FormatSeconds(static_cast<int32_t>(mtime)); }

std::string FormatLocal(uint32_t mtime) {
    const int64_t seconds = static_cast<int32_t>(mtime);
    return FormatSeconds(seconds + PlatLocalOffset(seconds));
}

bool NameMatches(const std::string& pattern, const std::string& name) {
    // Greedy matching with one backtrack point: the last '*' seen.
    size_t p = 0;
    size_t n = 0;
    size_t star = std::string::npos;
    size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || Folded(pattern[p]) == Folded(name[n]))) {
            p++;
            n++;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        p++;
    return p == pattern.size();
}

std::string FormatMode(int mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%06o", static_cast<unsigned>(mode) & 0xFFFFu);
    return text;
}

std::string FormatRatio(uint64_t packed, uint64_t size) {
    if (size == 0) return "-";
    const uint64_t tenths = (packed * 1000 + size / 2) / size;
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u%%", static_cast<unsigned>(tenths / 10),
                  static_cast<unsigned>(tenths % 10));
    return text;
}

std::string ShownName(const char* name) { return WithSeparators(Printable(name)); }

std::string ShownHostName(const std::string& name) {
    std::string out;
    for (char c : name)
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return WithSeparators(out);
}
