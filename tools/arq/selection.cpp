// Choosing entries by name patterns.
#include "tools/arq/selection.h"

#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/text.h"

void SelectionSet(Selection* selection, const std::vector<std::string>& patterns) {
    selection->patterns = patterns;
    selection->matched.assign(patterns.size(), false);
}

bool SelectionChooses(Selection* selection, const char* name) {
    if (selection->patterns.empty()) return true;
    bool chosen = false;
    for (size_t i = 0; i < selection->patterns.size(); ++i) {
        if (NameMatches(selection->patterns[i], name)) {
            selection->matched[i] = true;
            chosen = true;
        }
    }
    return chosen;
}

int SelectionReport(const Selection& selection) {
    int code = ARQ_EXIT_OK;
    for (size_t i = 0; i < selection.patterns.size(); ++i) {
        if (selection.matched[i]) continue;
        Complain("%s: no entry of the archive matches this name", selection.patterns[i].c_str());
        code = ARQ_EXIT_NOT_FOUND;
    }
    return code;
}
