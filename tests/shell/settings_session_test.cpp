// The engine program with and without Tarno.ini: the banner, the "ht"
// listing, "hash", "eval", and "evaltest" over the test suites, driven
// through its pipes as an interface drives it.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string hashListing(unsigned long long transposition, unsigned long long pawns) {
    return "\nHash Table Info\n\nTransposition Table\tPawn Table\n" + std::string(71, '-') + "\n" +
           std::to_string(transposition) + " Bytes\t\t" + std::to_string(pawns) + " Bytes\t\n\nTotal: " +
           std::to_string(transposition + pawns) + " Bytes\n";
}

TEST(SettingsSession, DefaultsWithoutAFile) {
    int status = 0;
    std::string out = runEngine("ht\nquit\n", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("Tarno Chess v4.1 (1 cpu)\n"), std::string::npos) << out;
    EXPECT_NE(out.find(hashListing(16777216, 6291456)), std::string::npos) << out;
}

TEST(SettingsSession, FileSetsThreadsAndTableSizes) {
    std::string ini = "resign_score=-800\nn_cpus=2\n[Hash Table Section]\ntransposition_table=64\npawn_table=4\n";
    std::string out = runEngine("ht\nquit\n", nullptr, 20000, ini);
    EXPECT_NE(out.find("Tarno Chess v4.1 (2 cpus)\n"), std::string::npos) << out;
    EXPECT_NE(out.find(hashListing(67108864, 131072ull * 24)), std::string::npos) << out;
}

TEST(SettingsSession, HashResizesAndRefusesWhatTheMachineCannotHold) {
    std::string out = runEngine("xboard\nhash 32 16\nht\nhash 100000000 16\nht\nhash 32\nping 1\nquit\n");
    std::string resized = hashListing(33554432, 524288ull * 24);
    EXPECT_EQ(count(out, resized), 2u) << "the refused size left the tables as they were\n" << out;
    EXPECT_NE(out.find("Not enough Memory for Depth Preferred Table\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Usage Hash <tt> <p>\n"), std::string::npos) << out;
    EXPECT_NE(out.find("pong 1\n"), std::string::npos) << out;
}

TEST(SettingsSession, TableTooLargeAtStartUpEndsTheProgram) {
    int status = 0;
    std::string out = runEngine("quit\n", &status, 20000, "[Hash Table Section]\ntransposition_table=100000000\n");
    EXPECT_EQ(status, 255);
    EXPECT_NE(out.find("Not enough Memory for Depth Preferred Table\n"), std::string::npos) << out;
}

TEST(SettingsSession, EvalCommand) {
    std::string out = runEngine("xboard\neval\nsetboard 8/8/8/3k4/8/8/8/R3K3 b - - 0 1\neval\nquit\n");
    EXPECT_NE(out.find("Eval: 5\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Eval: -624\n"), std::string::npos) << out;
}

// Every position of the test suites and its mirror score the same.
TEST(SettingsSession, EvaltestFindsNoAsymmetry) {
    for (const char* file : {"bratko-kopec.epd", "wac-001-100.epd", "perft.epd"}) {
        std::string out = runEngine("xboard\nevaltest " + testDataPath(file) + "\nprint\nquit\n", nullptr, 60000);
        EXPECT_EQ(out.find("ASYMMETRICAL!"), std::string::npos) << file << "\n" << out;
        EXPECT_EQ(count(out, "Eval Score: "), count(out, "Mirror eval score: ")) << file;
        EXPECT_GT(count(out, "Mirror eval score: "), 20u) << file;
        // The start position is set again afterwards.
        EXPECT_NE(out.find(" r n b q k b n r\n p p p p p p p p\n"), std::string::npos) << file;
    }
}

}  // namespace
