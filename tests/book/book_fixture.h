// Helpers for the book tests: each test runs in a fresh empty folder (the
// book lives in the working folder), with small PGN collections written as
// text and the book's bytes read back.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/makemove.h"
#include "board/notation.h"
#include "book/book_create.h"
#include "book/book_file.h"
#include "book/book_format.h"
#include "book/book_learn.h"
#include "book/book_replay.h"
#include "book/book_state.h"
#include "support/test_support.h"

// One game in PGN: a few tags, the movetext and its result.
inline std::string pgnGame(const std::string& movetext, const std::string& result,
                           const std::string& extraTags = "") {
    return "[Event \"test\"]\n[Result \"" + result + "\"]\n" + extraTags + "\n" + movetext + " " + result + "\n\n";
}

// The same game `times` times.
inline std::string pgnGames(int times, const std::string& movetext, const std::string& result) {
    std::string text;
    for (int i = 0; i < times; i++) text += pgnGame(movetext, result);
    return text;
}

struct OutputOf {
    std::string out, err;
};

// What `action` printed on standard output and on the error stream.
inline OutputOf captureOutput(const std::function<void()>& action) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    action();
    std::fflush(stdout);
    std::fflush(stderr);
    OutputOf result;
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

class BookTest : public ::testing::Test {
protected:
    std::string home_;
    std::string dir_;

    void SetUp() override {
        initEngineTables();
        char templ[] = "/tmp/tarno-book-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
        home_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        closeBook();
        gBook = BookState{};
        gBookLearning = BookLearning{};
    }
    void TearDown() override {
        closeBook();
        std::filesystem::current_path(home_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    static void writeFile(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }
    static std::string readFile(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Builds book.bin from the PGN text; returns the records generated.
    int64_t build(const std::string& pgn, int blockRecords = BOOK_BLOCK_RECORDS) {
        writeFile("games.pgn", pgn);
        int64_t records = 0;
        lastBuild_ = captureOutput([&] { records = createBook("games.pgn", blockRecords).records; });
        return records;
    }
    OutputOf lastBuild_;

    // The records of book.bin in file order.
    static std::vector<BookRecord> bookRecords() {
        const std::string bytes = readFile(BOOK_FILE_NAME);
        std::vector<BookRecord> records;
        const int64_t end = int64_t(bytes.size()) - 4 - BOOK_VERSION_LENGTH;
        for (int64_t at = BOOK_INDEX_BYTES; at + BOOK_RECORD_BYTES <= end; at += BOOK_RECORD_BYTES)
            records.push_back(decodeRecord(reinterpret_cast<const unsigned char*>(bytes.data() + at)));
        return records;
    }

    // The position after a line of SAN moves from the initial position.
    static std::unique_ptr<Position> positionAfter(const std::vector<std::string>& moves) {
        auto pos = std::make_unique<Position>();
        setInitialBoard(*pos);
        for (const std::string& text : moves) {
            MoveC move;
            parseMove(move, *pos, text.c_str());
            Move legal = findLegalMove(*pos, move.move);
            EXPECT_NE(legal, 0u) << text;
            advancePosition(*pos, legal);
        }
        return pos;
    }
    static Move moveFrom(Position& pos, const std::string& text) {
        MoveC move;
        parseMove(move, pos, text.c_str());
        return findLegalMove(pos, move.move);
    }
    // The key of the book record for a move from a position.
    static uint64_t keyOf(Position& pos, const std::string& text) {
        Move move = moveFrom(pos, text);
        uint64_t parent = pos.hashKey;
        makeMove(pos, move, true);
        uint64_t key = bookKey(parent, pos.hashKey);
        unmakeMove(pos);
        return key;
    }
    static std::optional<BookRecord> findRecord(const std::vector<BookRecord>& records, uint64_t key) {
        for (const BookRecord& record : records)
            if (record.key == key) return record;
        return std::nullopt;
    }
    // Overwrites bytes of book.bin in place.
    static void patchFile(int64_t offset, const std::string& bytes, const std::string& name = BOOK_FILE_NAME) {
        std::fstream file(name, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(offset);
        file.write(bytes.data(), std::streamsize(bytes.size()));
    }
    static std::string int32Bytes(int32_t value) {
        unsigned char bytes[4];
        putInt32(bytes, value);
        return std::string(reinterpret_cast<char*>(bytes), 4);
    }
    // Sets the learned value of a record found by key.
    static void setLearned(uint64_t key, float learned) {
        std::vector<BookRecord> records = bookRecords();
        for (size_t i = 0; i < records.size(); i++) {
            if (records[i].key != key) continue;
            records[i].learned = learned;
            unsigned char bytes[BOOK_RECORD_BYTES];
            encodeRecord(records[i], bytes);
            patchFile(BOOK_INDEX_BYTES + int64_t(i) * BOOK_RECORD_BYTES,
                      std::string(reinterpret_cast<char*>(bytes), BOOK_RECORD_BYTES));
            return;
        }
        ADD_FAILURE() << "no record with key " << key;
    }
    // Files in the test folder, for checking that nothing is left behind.
    static std::vector<std::string> folderContents() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator("."))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};
