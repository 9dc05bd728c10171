// The progress line of long work: durations as people read them, plain
// lines for a log, and a terminal line rewritten in place without leaving
// the tail of a longer line behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/progress_line.h"

namespace {

// Everything written to the file so far.
std::string contents(FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += char(c);
    return text;
}

}  // namespace

TEST(ProgressLine, DurationsAsPeopleReadThem) {
    EXPECT_EQ(durationText(0.2), "1 s");
    EXPECT_EQ(durationText(59.4), "59 s");
    EXPECT_EQ(durationText(59.6), "1 min 0 s");
    EXPECT_EQ(durationText(192), "3 min 12 s");
    EXPECT_EQ(durationText(3599.4), "59 min 59 s");
    EXPECT_EQ(durationText(3900), "1 h 05 min");
}

TEST(ProgressLine, ALogGetsPlainLinesEverySoOften) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ProgressLine line;
    startProgressLine(line, file);
    EXPECT_FALSE(line.rewrite);
    EXPECT_FALSE(progressDue(line));  // not at once: short work shows nothing
    showProgress(line, "generating kqk", 0.001);  // too little done for an estimate
    showProgress(line, "generating kqkr", 0.5);
    showProgress(line, "checking", 1.7);  // a share past the end is the end
    clearProgressLine(line);              // nothing to clear in a log
    const std::string text = contents(file);
    EXPECT_EQ(text.find("generating kqk  -  0% in all\n"), 0u) << text;
    EXPECT_NE(text.find("generating kqkr  -  50% in all, about "), std::string::npos) << text;
    EXPECT_NE(text.find("checking  -  100% in all, about 1 s left\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << text;
    std::fclose(file);

    ProgressLine unused;  // never started: shows nothing
    EXPECT_FALSE(progressDue(unused));
    showProgress(unused, "nothing", 0.5);
    clearProgressLine(unused);
}

TEST(ProgressLine, ATerminalLineIsRewrittenAndClearedInPlace) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ProgressLine line;
    startProgressLine(line, file);
    line.rewrite = true;  // as on a terminal
    showProgress(line, "checking kbnk, White to move", 0);
    const std::string first = contents(file);
    std::fseek(file, 0, SEEK_END);
    showProgress(line, "x", 0);
    const std::string second = contents(file).substr(first.size());
    std::fseek(file, 0, SEEK_END);
    clearProgressLine(line);
    const std::string cleared = contents(file).substr(first.size() + second.size());
    std::fclose(file);

    ASSERT_EQ(first, "\rchecking kbnk, White to move  -  0% in all");
    // The shorter line covers all of the longer one with blanks.
    const std::string shorter = "\rx  -  0% in all";
    EXPECT_EQ(second, shorter + std::string(first.size() - shorter.size(), ' '));
    // Cleared: blanks over the short line's text, the cursor back at the start.
    const std::string blanks(shorter.size() - 1, ' ');
    EXPECT_EQ(cleared, "\r" + blanks + "\r");
}
