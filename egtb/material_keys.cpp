#include "egtb/material_keys.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "egtb/catalogue.h"

namespace {

// A material as a number: the ten counts in base 4.
int materialKey(const int counts[10]) {
    int key = 0;
    for (int i = 9; i >= 0; i--) key = key * 4 + counts[i];
    return key;
}

// Material key -> table number, negative for the colours exchanged.
const std::vector<int16_t>& materialTable() {
    static const std::vector<int16_t> table = [] {
        std::vector<int16_t> t(1 << 20, 0);
        for (int n = 1; n < TABLE_COUNT; n++) {
            if (!tableHasIndex(n)) continue;
            int c[10], swapped[10];
            countsFromName(tableCatalogue[n].name, c);
            for (int i = 0; i < 10; i++) swapped[i] = c[(i + 5) % 10];
            t[size_t(materialKey(swapped))] = int16_t(-n);
            t[size_t(materialKey(c))] = int16_t(n);
        }
        return t;
    }();
    return table;
}

}  // namespace

int tableOfCounts(const int counts[10]) {
    for (int i = 0; i < 10; i++)
        if (counts[i] < 0 || counts[i] > 3) return 0;
    return materialTable()[size_t(materialKey(counts))];
}

std::vector<int> tableDependencies(int table) {
    std::vector<int> result;
    int counts[10];
    if (!tableHasIndex(table) || !countsFromName(tableCatalogue[table].name, counts)) return result;
    auto add = [&](const int c[10]) {
        bool empty = true;
        for (int i = 0; i < 10; i++) empty &= c[i] == 0;
        if (empty) return;
        int t = tableOfCounts(c);
        t = t < 0 ? -t : t;
        if (t > 0 && std::find(result.begin(), result.end(), t) == result.end()) result.push_back(t);
    };
    for (int i = 0; i < 10; i++) {
        if (!counts[i]) continue;
        int c[10];
        std::copy(counts, counts + 10, c);
        c[i]--;
        add(c);  // a capture
        if (i % 5 != 0) continue;
        for (int promotion = 1; promotion <= 4; promotion++) {
            c[i + promotion]++;
            add(c);  // a promotion
            const int enemy = i == 0 ? 5 : 0;
            for (int j = enemy; j < enemy + 5; j++)
                if (c[j]) {
                    c[j]--;
                    add(c);  // a promotion that captures
                    c[j]++;
                }
            c[i + promotion]--;
        }
    }
    return result;
}
