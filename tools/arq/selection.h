// The entries named on a command line ("arq list ARCHIVE [NAME...]"), as patterns.
#pragma once

#include <string>
#include <vector>

struct Selection {
    std::vector<std::string> patterns; // none: every entry is chosen
    std::vector<bool> matched;         // per pattern: some entry matched it
};

void SelectionSet(Selection* selection, const std::vector<std::string>& patterns);
// Whether the entry is chosen; notes which patterns it matched.
bool SelectionChooses(Selection* selection, const char* name);
// Says which patterns matched no entry, one line each. ARQ_EXIT_OK, or
// ARQ_EXIT_NOT_FOUND when there was such a pattern.
int SelectionReport(const Selection& selection);
