#include "crushed/encoder_match.h"

#include <cstring>

void EncChainsReset(EncChains* chains) { std::memset(chains, 0, sizeof *chains); }

static uint32_t MatchLimit(uint32_t size, uint32_t pos) {
    uint32_t left = size - pos;
    return left < CRUSHED_MAX_MATCH ? left : uint32_t{CRUSHED_MAX_MATCH};
}

uint32_t EncChainsFind(const EncChains* chains, const uint8_t* data, uint32_t size, uint32_t pos,
                       uint32_t maxTries, uint32_t niceLength, uint32_t* distance) {
    uint32_t limit = MatchLimit(size, pos);
    if (limit < CRUSHED_MIN_MATCH) return 0;
    if (niceLength > limit) niceLength = limit;
    const uint8_t* here = data + pos;
    uint32_t best = CRUSHED_MIN_MATCH - 1;
    uint32_t link = chains->head[EncHash3(here)];
    while (link != 0 && maxTries-- > 0) {
        uint32_t candidate = link - 1;
        uint32_t back = pos - candidate;
        if (back > CRUSHED_WINDOW_SIZE) break;
        const uint8_t* there = data + candidate;
        // The byte that would make this match longer than the best decides first.
        if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
            uint32_t length = EncMatchLength(here, there, 2, limit);
            if (length > best) {
                best = length;
                *distance = back;
                if (length >= niceLength) break;
            }
        }
        link = chains->previous[candidate & (ENC_HISTORY - 1)];
    }
    return best >= CRUSHED_MIN_MATCH ? best : 0;
}

void EncTreeReset(EncTree* tree) { std::memset(tree, 0, sizeof *tree); }

uint32_t EncTreeFind(EncTree* tree, const uint8_t* data, uint32_t size, uint32_t pos, uint32_t maxTries,
                     EncFound* found) {
    uint32_t limit = MatchLimit(size, pos);
    if (limit < CRUSHED_MIN_MATCH) return 0;
    const uint8_t* here = data + pos;
    uint32_t hash = EncHash3(here);
    uint32_t link = tree->head[hash];
    tree->head[hash] = pos + 1;

    // smaller/larger: the link slots where the next node below or above the new
    // string goes; every node met is known to share lengthSmaller/lengthLarger
    // bytes with it, so the comparison starts at the lesser of the two.
    uint32_t* smaller = &tree->children[2 * (pos & (ENC_HISTORY - 1))];
    uint32_t* larger = smaller + 1;
    uint32_t lengthSmaller = 0, lengthLarger = 0;
    uint32_t best = CRUSHED_MIN_MATCH - 1;
    uint32_t count = 0;
    for (;;) {
        if (link == 0 || maxTries-- == 0 || pos - (link - 1) > CRUSHED_WINDOW_SIZE) {
            *smaller = 0;
            *larger = 0;
            break;
        }
        uint32_t candidate = link - 1;
        uint32_t* pair = &tree->children[2 * (candidate & (ENC_HISTORY - 1))];
        const uint8_t* there = data + candidate;
        uint32_t length =
            EncMatchLength(here, there, lengthSmaller < lengthLarger ? lengthSmaller : lengthLarger, limit);
        if (length > best) {
            best = length;
            found[count].length = static_cast<uint16_t>(length);
            found[count].distance = static_cast<uint16_t>(pos - candidate);
            count++;
        }
        if (length == limit) {
            // Equal as far as we may look: the new node takes the candidate's place.
            *smaller = pair[0];
            *larger = pair[1];
            break;
        }
        if (there[length] < here[length]) {
            *smaller = link;
            smaller = &pair[1];
            link = *smaller;
            lengthSmaller = length;
        } else {
            *larger = link;
            larger = &pair[0];
            link = *larger;
            lengthLarger = length;
        }
    }
    return count;
}
