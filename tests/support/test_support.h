// Helpers shared by the test programs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "search/position.h"

// Builds the Zobrist keys and attack tables once per test program.
void initEngineTables();
// The search's and the thread pool's remarks come out as plain lines on
// standard output, as the console shows them.
void reportNotesAsLines();

// A fresh position set from a FEN (the tables are built first). Fails the
// current test when the FEN is rejected.
std::unique_ptr<Position> positionFromFen(const std::string& fen);
std::unique_ptr<Position> startPosition();
// The moves (coordinate or SAN), played one after the other from the FEN,
// are all legal.
bool legalLine(const std::string& fen, const std::vector<std::string>& moves);

// The engine program driven through pipes, as an interface would drive it.
// It runs in a new empty working directory (optionally holding a Tarno.ini).
class EngineSession {
public:
    explicit EngineSession(const std::string& iniText = "");
    // Another program (an adapter in front of the engine, say): the command
    // is the program's path and its arguments.
    EngineSession(const std::vector<std::string>& command, const std::string& iniText);
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    void send(const std::string& text);       // written as is
    void sendLine(const std::string& line) { send(line + "\n"); }
    // Reads until `needle` appears in the output at or after offset `from`
    // (true) or the timeout ends.
    bool waitFor(const std::string& needle, int timeoutMs = 10000, size_t from = 0);
    // Closes the engine's standard input.
    void closeInput();
    // Waits for the process to end; returns its exit status, or -1 on timeout
    // (the process is then killed).
    int waitExit(int timeoutMs = 10000);
    const std::string& output() const { return output_; }
    std::string workDir() const { return dir_; }
    int pid() const { return pid_; }

private:
    bool readSome(int timeoutMs);
    int pid_ = -1;
    int toEngine_ = -1;
    int fromEngine_ = -1;
    std::string dir_;
    std::string output_;
};

// Runs the engine on a whole input script and returns everything it printed.
// exitStatus receives the status (-1 on timeout).
std::string runEngine(const std::string& input, int* exitStatus = nullptr, int timeoutMs = 20000,
                      const std::string& iniText = "");

// Path of a file in tests/data.
std::string testDataPath(const std::string& name);

// A fresh empty directory under /tmp, removed when the program ends.
std::string scratchDirectory();

// A directory holding every three-man endgame table, uncompressed
// (generated on first use).
const std::string& threeManTables();

// Positions with the Syzygy tables' verdict: an EPD file whose lines end in
// "wdl_table <w>; wdl <w>; dtz <d>;" (wdl -2 lost .. 2 won for the side to
// move, dtz signed as wdl).
struct SyzygyReference {
    std::string fen;  // placement, side, castling, en passant
    int wdl;
    int dtz;
};
std::vector<SyzygyReference> readSyzygyReferences(const std::string& path);
