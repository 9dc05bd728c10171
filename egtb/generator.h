// The table generator: retrograde analysis that computes the distance to
// mate of every position of a table, reading or first generating the
// smaller tables its captures and promotions lead into.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct GeneratorOptions {
    std::string directory = ".";  // where tables are read from and written to
    bool compress = false;        // write ".emd" files instead of ".nbw"/".nbb"
    int level = 12;               // zstd level for compressed files
    bool writeFiles = true;       // false: keep the tables in memory only
    bool verbose = false;         // a line per table on standard output
};

// A table held in memory: the file contents of each side (one for a
// colour-symmetric table), 8-bit or 16-bit entries.
struct MemoryTable {
    int table = 0;
    bool wide = false;
    std::vector<uint8_t> data[2];
    int value(int side, uint32_t index) const;  // tablebase value
};

// The tables known to one generator run, by catalogue number.
class TableStore {
public:
    explicit TableStore(GeneratorOptions options);
    ~TableStore();

    // Makes the table available: already in memory, read from the
    // directory, or generated (with everything it depends on) and written.
    // False, with the reason in `error`, when that fails.
    bool ensure(int table, std::string& error);
    const MemoryTable* find(int table) const;
    // Forgets the tables of more than `men` men (they are read again from
    // the directory when needed).
    void releaseAbove(int men);
    const GeneratorOptions& options() const { return options_; }
    // Statistics of the last generated table.
    struct Report {
        double seconds = 0;
        uint64_t wins[2] = {}, losses[2] = {}, draws[2] = {}, unused[2] = {};
        int longestPlies = 0;
    };
    const Report& lastReport() const { return report_; }

    // Value of a position given by men (tablebase squares) for the side to
    // move; the material selects the table, which must be in memory.
    // TB_NOT_AVAILABLE when it is not.
    int probe(int men, const int8_t* colour, const int8_t* type, const int* square, int sideToMove) const;

private:
    friend class TableGenerator;
    bool load(int table, std::string& error);
    bool generate(int table, std::string& error);
    bool write(const MemoryTable& table, std::string& error) const;

    GeneratorOptions options_;
    std::map<int, std::unique_ptr<MemoryTable>> tables_;
    std::vector<int16_t> materialTable_;  // material key -> signed table number
    Report report_;
};

// The catalogue tables a table's captures and promotions lead into.
std::vector<int> tableDependencies(int table);

// Visits every entry of a table side that stands for a legal position (the
// canonical entry of a position whose side not to move is not in check):
// visit(index, squares of the men in digit order, tablebase numbering).
// The board tables must be built (initBoardTables).
void forEachLegalEntry(int table, int side, const std::function<void(uint32_t, const int*)>& visit);

// Whether an entry stands for a legal position (see forEachLegalEntry);
// its men's squares go to sq.
bool legalEntry(int table, int side, uint32_t index, int* sq);

// The FEN of a table's men on the given squares (digit order, tablebase
// numbering), `side` to move.
std::string entryFen(int table, const int* sq, int side);
