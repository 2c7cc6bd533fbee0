#include "crushed/encoder_huffman.h"

#include <algorithm>

#include "crushed/format.h"

// Plain Huffman lengths of n >= 2 leaves with ascending weights. The two-queue
// method: leaves and merged nodes each come out in ascending order, so the two
// smallest are always at the heads of the two queues.
static int HuffmanDepths(const uint64_t* weight, int n, uint8_t* depth) {
    uint64_t merged[ENC_MAX_SYMBOLS];
    int parent[2 * ENC_MAX_SYMBOLS]; // nodes 0..n-1 are leaves, n.. merged nodes
    int nextLeaf = 0, nextMerged = 0;
    for (int made = 0; made < n - 1; made++) {
        uint64_t sum = 0;
        for (int pick = 0; pick < 2; pick++) {
            if (nextLeaf < n && (nextMerged >= made || weight[nextLeaf] <= merged[nextMerged])) {
                sum += weight[nextLeaf];
                parent[nextLeaf++] = n + made;
            } else {
                sum += merged[nextMerged];
                parent[n + nextMerged++] = n + made;
            }
        }
        merged[made] = sum;
    }
    // Merged nodes are made after their children, so parents are finished first
    // when walking back from the root.
    int nodeDepth[2 * ENC_MAX_SYMBOLS];
    int root = 2 * n - 2;
    nodeDepth[root] = 0;
    int deepest = 0;
    for (int node = root - 1; node >= 0; node--) {
        nodeDepth[node] = nodeDepth[parent[node]] + 1;
        if (node < n) {
            depth[node] = static_cast<uint8_t>(std::min(nodeDepth[node], 255));
            deepest = std::max(deepest, nodeDepth[node]);
        }
    }
    return deepest;
}

// Length-limited lengths by package-merge: at each of maxLength levels the list is
// the leaves merged with the pairs ("packages") of the level below; the cheapest
// 2n-2 items of the top list fix the lengths, each leaf counting one bit for every
// level in which it is taken. Optimal, and always a complete code.
static void PackageMerge(const uint64_t* weight, int n, int maxLength, uint8_t* depth) {
    static_assert(CRUSHED_MAX_CODE_LENGTH <= 16, "level flags are sized for 16 levels");
    uint8_t isLeaf[16][2 * ENC_MAX_SYMBOLS];
    int listSize[16];
    uint64_t lower[2 * ENC_MAX_SYMBOLS], upper[2 * ENC_MAX_SYMBOLS];
    for (int i = 0; i < n; i++) {
        lower[i] = weight[i];
        isLeaf[0][i] = 1;
    }
    listSize[0] = n;
    for (int level = 1; level < maxLength; level++) {
        int packages = listSize[level - 1] / 2;
        int leaf = 0, package = 0, size = 0;
        while (leaf < n || package < packages) {
            uint64_t packageWeight = package < packages ? lower[2 * package] + lower[2 * package + 1] : 0;
            if (leaf < n && (package >= packages || weight[leaf] <= packageWeight)) {
                upper[size] = weight[leaf++];
                isLeaf[level][size++] = 1;
            } else {
                upper[size] = packageWeight;
                isLeaf[level][size++] = 0;
                package++;
            }
        }
        listSize[level] = size;
        std::copy(upper, upper + size, lower);
    }
    for (int i = 0; i < n; i++)
        depth[i] = 0;
    int take = 2 * n - 2;
    for (int level = maxLength - 1; level >= 0 && take > 0; level--) {
        int leaves = 0;
        for (int i = 0; i < take; i++)
            leaves += isLeaf[level][i];
        for (int i = 0; i < leaves; i++)
            depth[i]++;
        take = 2 * (take - leaves);
    }
}

int EncBuildLengths(const uint32_t* freq, int symbolCount, int maxLength, uint8_t* lengths) {
    // Sorted by frequency; among equal ones the higher symbols come first, so they
    // are merged first and the lower symbols keep the shorter codes.
    uint64_t order[ENC_MAX_SYMBOLS]; // frequency above, 0xFFFF - symbol in the low 16 bits
    int used = 0;
    for (int symbol = 0; symbol < symbolCount; symbol++) {
        lengths[symbol] = 0;
        if (freq[symbol] != 0)
            order[used++] = (static_cast<uint64_t>(freq[symbol]) << 16) | (0xFFFF - symbol);
    }
    if (used < 2) return used;
    std::sort(order, order + used);
    uint64_t weight[ENC_MAX_SYMBOLS];
    for (int i = 0; i < used; i++)
        weight[i] = order[i] >> 16;
    uint8_t depth[ENC_MAX_SYMBOLS];
    if (HuffmanDepths(weight, used, depth) > maxLength) PackageMerge(weight, used, maxLength, depth);
    for (int i = 0; i < used; i++)
        lengths[0xFFFF - (order[i] & 0xFFFF)] = depth[i];
    return used;
}

void EncCanonicalCodes(const uint8_t* lengths, int symbolCount, uint16_t* codes) {
    uint32_t count[CRUSHED_MAX_CODE_LENGTH + 2] = {0};
    for (int symbol = 0; symbol < symbolCount; symbol++)
        count[lengths[symbol]]++;
    uint32_t next[CRUSHED_MAX_CODE_LENGTH + 2] = {0};
    count[0] = 0;
    for (int length = 1; length <= CRUSHED_MAX_CODE_LENGTH; length++) {
        next[length + 1] = (next[length] + count[length]) << 1;
    }
    for (int symbol = 0; symbol < symbolCount; symbol++) {
        int length = lengths[symbol];
        codes[symbol] = length ? static_cast<uint16_t>(next[length]++) : 0;
    }
}
