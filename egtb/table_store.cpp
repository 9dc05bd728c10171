#include "egtb/table_store.h"

#include <algorithm>
#include <chrono>

#include "board/types.h"
#include "egtb/catalogue.h"
#include "egtb/index_scheme.h"
#include "egtb/material_keys.h"
#include "egtb/tablebase_values.h"

TableStore::TableStore(GeneratorOptions options) : options_(std::move(options)) {}

TableStore::~TableStore() = default;

const MemoryTable* TableStore::find(int table) const {
    auto it = tables_.find(table);
    return it == tables_.end() ? nullptr : it->second.get();
}

void TableStore::releaseAbove(int men) {
    for (auto it = tables_.begin(); it != tables_.end();)
        if (tableMen(it->first) > men) it = tables_.erase(it);
        else ++it;
}

int TableStore::probe(int men, const int8_t* colour, const int8_t* type, const int* square, int sideToMove) const {
    int lists[2][LIST_SLOTS] = {};
    int counts[10] = {};
    int pieces = 0;
    for (int m = 0; m < men; m++) {
        if (type[m] == KING) {
            lists[colour[m]][KING_SLOT] = square[m];
            continue;
        }
        int& n = counts[colour[m] * 5 + type[m] - 1];
        if (n == 3) return TB_NOT_AVAILABLE;
        lists[colour[m]][listSlot(type[m], n++)] = square[m];
        pieces++;
    }
    if (pieces == 0) return TB_DRAW;  // bare kings
    int table = tableOfCounts(counts);
    if (table == 0) return TB_NOT_AVAILABLE;
    const bool reversed = table < 0;
    if (reversed) table = -table;
    const MemoryTable* t = find(table);
    if (!t) return TB_NOT_AVAILABLE;
    const int side = reversed ? 1 - sideToMove : sideToMove;
    const TableInfo& info = tableCatalogue[table];
    uint32_t index = info.index[side](lists[reversed ? 1 : 0], lists[reversed ? 0 : 1], TB_NO_SQUARE, reversed);
    if (index == NO_INDEX) return TB_NOT_AVAILABLE;
    return t->value((info.flags & TABLE_SYMMETRIC) ? 0 : side, index);
}

bool TableStore::load(int table, std::string& error) {
    auto t = std::make_unique<MemoryTable>();
    if (!readTableFiles(options_.directory, table, *t, error)) return false;
    tables_[table] = std::move(t);
    return true;
}

bool TableStore::generate(int table, std::string& error) {
    auto start = std::chrono::steady_clock::now();
    auto t = std::make_unique<MemoryTable>();
    SolveProgress progress;
    if (options_.reporter.progress)
        progress = [&](uint64_t done, uint64_t total) { options_.reporter.progress(table, done, total); };
    if (!solveTable(*this, table, *t, report_, progress, error)) return false;
    report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (options_.writeFiles && !writeTableFiles(options_.directory, *t, options_.compress, options_.level, error))
        return false;
    tables_[table] = std::move(t);
    return true;
}

bool TableStore::ensure(int table, std::string& error) {
    if (!tableHasIndex(table)) {
        error = "no such table";
        return false;
    }
    if (find(table)) return true;
    error.clear();
    if (load(table, error)) return true;
    if (!error.empty()) return false;  // a file is there but unusable
    for (int dependency : tableDependencies(table))
        if (!ensure(dependency, error)) return false;
    if (!generate(table, error)) return false;
    if (options_.reporter.generated) options_.reporter.generated(table, report_);
    return true;
}

std::vector<int> TableStore::tablesToGenerate(const std::vector<int>& tables) const {
    std::vector<int> order;
    std::function<void(int)> visit = [&](int table) {
        if (!tableHasIndex(table) || find(table) || std::find(order.begin(), order.end(), table) != order.end() ||
            tableFilesPresent(options_.directory, table))
            return;
        for (int dependency : tableDependencies(table)) visit(dependency);
        order.push_back(table);
    };
    for (int table : tables) visit(table);
    return order;
}
