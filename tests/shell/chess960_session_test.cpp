// Fischer random chess through the protocols, as interfaces drive it: the
// UCI option and king-takes-rook castling, xboard's variant feature and
// command, and the console's refusals of bad positions and castling moves.
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

bool has(const std::string& out, const std::string& text) { return out.find(text) != std::string::npos; }

// Castling is White's only legal move: the king stays on g1, the rook goes
// from h1 to f1 (f1 may be covered; only the king's squares must be safe).
const char* const ONLY_CASTLING = "4k3/8/b7/8/8/7p/r6P/6KR w H - 0 1";
const char* const BOTH_WAYS = "rk5r/pppppppp/8/8/8/8/PPPPPPPP/RK5R w HAha - 0 1";

}  // namespace

TEST(Chess960Uci, OptionAndKingTakesRookCastlingBothWays) {
    const std::string out = runEngine(std::string("uci\n") +
                                      "setoption name UCI_Chess960 value true\n"
                                      "isready\n"
                                      // White castles king side, Black queen side, in the moves...
                                      "position fen " + BOTH_WAYS + " moves b1h1 b8a8\n"
                                      // ...after which g1h1 is a king step.
                                      "go depth 2 searchmoves g1h1\n"
                                      // The engine names castling the same way.
                                      "position fen " + BOTH_WAYS + "\n"
                                      "go depth 2 searchmoves b1a1\n"
                                      "position fen " + ONLY_CASTLING + "\n"
                                      "go depth 3\n"
                                      "position fen " + BOTH_WAYS + " moves e2e4\n"
                                      "go depth 1 searchmoves b8h8\n"
                                      "quit\n");
    EXPECT_TRUE(has(out, "option name UCI_Chess960 type check default false\n")) << out;
    EXPECT_FALSE(has(out, "illegal move")) << out;
    EXPECT_FALSE(has(out, "is no legal move")) << out;
    EXPECT_TRUE(has(out, "bestmove g1h1")) << out;
    EXPECT_TRUE(has(out, "bestmove b1a1")) << out;
    EXPECT_TRUE(has(out, "bestmove g1h1 ")) << out;
    EXPECT_TRUE(has(out, "bestmove b8h8")) << out;
}

TEST(Chess960Uci, PositionsAreReadByTheRulesInForce) {
    // Without the option a Chess960 FEN is refused; with it the standard
    // game's castling is written king-takes-rook too.
    const std::string out = runEngine(std::string("uci\n") +
                                      "position fen " + ONLY_CASTLING + "\n"
                                      "setoption name UCI_Chess960 value true\n"
                                      "position startpos moves e2e4 e7e5 g1f3 b8c6 f1c4 g8f6\n"
                                      "go depth 1 searchmoves e1h1\n"
                                      "setoption name UCI_Chess960 value false\n"
                                      "position startpos moves e2e4 e7e5 g1f3 b8c6 f1c4 g8f6\n"
                                      "go depth 1 searchmoves e1g1\n"
                                      "quit\n");
    EXPECT_TRUE(has(out, std::string("info string invalid FEN '") + ONLY_CASTLING)) << out;
    EXPECT_TRUE(has(out, "bestmove e1h1")) << out;
    EXPECT_TRUE(has(out, "bestmove e1g1")) << out;
}

TEST(Chess960Xboard, VariantFeatureCommandAndCastlingMoves) {
    const std::string out = runEngine(std::string("xboard\nprotover 2\n") +
                                      "new\nvariant fischerandom\n"
                                      "setboard " + ONLY_CASTLING + "\n"
                                      "go\n"
                                      // The interface's castling, then the engine's reply to it.
                                      "force\nsetboard " + BOTH_WAYS + "\n"
                                      "O-O\nping 1\n"
                                      "variant crazyhouse\n"
                                      // "new" is the standard game again.
                                      "new\nsetboard " + BOTH_WAYS + "\n"
                                      "quit\n");
    EXPECT_TRUE(has(out, "variants=\"normal,fischerandom\"")) << out;
    EXPECT_TRUE(has(out, "move O-O\n")) << out;
    EXPECT_TRUE(has(out, "pong 1\n")) << out;
    EXPECT_FALSE(has(out, "Illegal move")) << out;
    EXPECT_TRUE(has(out, "Error (unsupported variant): crazyhouse\n")) << out;
    // Set up twice, refused once (the last, in the standard game).
    const size_t firstRefusal = out.find("Invalid fen position.");
    EXPECT_NE(firstRefusal, std::string::npos) << out;
    EXPECT_GT(firstRefusal, out.find("pong 1")) << out;
}

TEST(Chess960Console, BadPositionsAndCastlingMovesAreRefused) {
    const std::string out = runEngine(std::string("variant fischerandom\n") +
                                      // The rook on b1 shields c1 from the rook on a1.
                                      "setboard 4k3/8/8/8/8/8/8/rRK5 w B - 0 1\n"
                                      "O-O-O\n0-0-0\no-o-o+\nc1b1\nO-O\nc1a1\n"
                                      // Refused FENs leave the board as it was.
                                      "setboard 4k3/8/8/8/8/8/8/4K1RR w HG - 0 1\n"
                                      "setboard 4k3/8/8/8/8/8/8/4K3 w H - 0 1\n"
                                      "print\n"
                                      "variant normal\n"
                                      "setboard 4k3/8/8/8/8/8/8/rRK5 w B - 0 1\n"
                                      "setboard r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\n"
                                      "e1h1\n"
                                      "quit\n");
    for (const char* text : {"O-O-O", "0-0-0", "o-o-o+", "c1b1", "O-O", "c1a1"})
        EXPECT_TRUE(has(out, std::string("Illegal move: ") + text + "\nMove not generated by engine.\n")) << text << out;
    EXPECT_TRUE(has(out, " - - - - k - - -\n")) << out;
    EXPECT_TRUE(has(out, " r R K - - - - -\n")) << out;  // the position of the first setboard
    EXPECT_TRUE(has(out, "Illegal move: e1h1\nMove not generated by engine.\n")) << out;
    size_t refusals = 0;
    for (size_t at = out.find("Invalid fen position."); at != std::string::npos; at = out.find("Invalid fen position.", at + 1))
        refusals++;
    EXPECT_EQ(refusals, 3u) << out;
}

TEST(Chess960Xboard, VariantNamedBeforeNewHoldsForThatGame) {
    // The variant first, then "new": the game is Chess960. A set-up game
    // afterwards and then "new" alone: the standard game again.
    const std::string out = runEngine(std::string("xboard\nprotover 2\n") +
                                      "variant fischerandom\nnew\nsetboard " + BOTH_WAYS + "\nping 1\n" +
                                      "new\nsetboard " + BOTH_WAYS + "\nping 2\nquit\n");
    const size_t pong = out.find("pong 1");
    ASSERT_NE(pong, std::string::npos) << out;
    EXPECT_EQ(out.find("Invalid fen position."), out.find("Invalid fen position.", pong)) << out;
    EXPECT_NE(out.find("Invalid fen position.", pong), std::string::npos) << out;
}
