// The tables known to one generator run: those in memory, read from the
// directory, or generated there (with everything they depend on) by
// retrograde analysis.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "egtb/retrograde.h"
#include "egtb/table_files.h"

// What a generator run tells its caller as it goes; either may be empty.
struct GenerationReporter {
    // The table being generated has `done` of its `total` work units behind
    // it (tableWork), told every few thousand positions.
    std::function<void(int table, uint64_t done, uint64_t total)> progress;
    // A table has been generated (and written), with its statistics.
    std::function<void(int table, const TableReport& report)> generated;
};

struct GeneratorOptions {
    std::string directory = ".";  // where tables are read from and written to
    bool compress = false;        // write ".emd" files instead of ".nbw"/".nbb"
    int level = 12;               // zstd level for compressed files
    bool writeFiles = true;       // false: keep the tables in memory only
    GenerationReporter reporter;
};

class TableStore {
public:
    explicit TableStore(GeneratorOptions options);
    ~TableStore();

    // Makes the table available: already in memory, read from the
    // directory, or generated (with everything it depends on) and written.
    // False, with the reason in `error`, when that fails.
    bool ensure(int table, std::string& error);
    // The tables that ensure() would generate for `tables`, in the order it
    // would generate them: those neither in memory nor in the directory,
    // each after the tables it depends on.
    std::vector<int> tablesToGenerate(const std::vector<int>& tables) const;
    const MemoryTable* find(int table) const;
    // Forgets the tables of more than `men` men (they are read again from
    // the directory when needed).
    void releaseAbove(int men);
    const GeneratorOptions& options() const { return options_; }
    // Statistics of the last generated table.
    const TableReport& lastReport() const { return report_; }

    // Value of a position given by men (tablebase squares) for the side to
    // move; the material selects the table, which must be in memory.
    // TB_NOT_AVAILABLE when it is not.
    int probe(int men, const int8_t* colour, const int8_t* type, const int* square, int sideToMove) const;

private:
    bool load(int table, std::string& error);
    bool generate(int table, std::string& error);

    GeneratorOptions options_;
    std::map<int, std::unique_ptr<MemoryTable>> tables_;
    TableReport report_;
};
