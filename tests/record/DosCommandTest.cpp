// The console process runner against small real programs: lines as they are split,
// input, stop, time-outs, a program that cannot start, a lot of output, and no
// descriptor of ours handed to the program.

#include "record/DosCommand.h"
#include "record/CommandLine.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace quorvel;

namespace {

struct TRecorded {
    std::vector<std::pair<std::string, TOutputType>> lines;
    bool terminated = false;
    std::string error;
};

void Watch(TDosCommand& command, TRecorded& seen) {
    command.OnNewLine = [&seen](TDosCommand*, const std::string& line, TOutputType type) {
        seen.lines.emplace_back(line, type);
    };
    command.OnTerminated = [&seen](TDosCommand* c) {
        EXPECT_FALSE(c->IsRunning());
        seen.terminated = true;
    };
    command.OnExecuteError = [&seen](TDosCommand*, const EDosCommand& e, bool& handled) {
        seen.error = e.what();
        handled = true;
    };
}

bool RunToEnd(TDosCommand& command, TRecorded& seen, int timeoutMs = 10000) {
    command.Execute();
    return QTest::qWaitFor([&] { return seen.terminated; }, timeoutMs);
}

std::vector<std::string> Entire(const TRecorded& seen) {
    std::vector<std::string> lines;
    for (const auto& [line, type] : seen.lines)
        if (type == otEntireLine)
            lines.push_back(line);
    return lines;
}

} // namespace

TEST(CommandLine, SplitsQuotedProgramAndArguments) {
    EXPECT_EQ(
        SplitCommandLine(R"("/opt/my tools/ffmpeg" -i  "a b" -y "x\"y" c\\d)"),
        (std::vector<std::string>{"/opt/my tools/ffmpeg", "-i", "a b", "-y", "x\"y", "c\\d"}));
    EXPECT_EQ(SplitCommandLine(R"(prog "" end)"), (std::vector<std::string>{"prog", "", "end"}));
    EXPECT_EQ(SplitCommandLine(QuoteArgument("a \"b\" \\c")),
              (std::vector<std::string>{"a \"b\" \\c"}));
}

TEST(CommandLine, LineSplitterEndsLinesAtCrOrLfAndCrLfOnce) {
    TLineSplitter split;
    EXPECT_EQ(split.Feed(std::string("a\r\nb\rc", 7)), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(split.Pending(), "c");
    // CR at the end of one piece and LF at the start of the next: one more empty line.
    EXPECT_EQ(split.Feed("\r"), (std::vector<std::string>{"c"}));
    EXPECT_EQ(split.Feed(std::string("\nd\0e", 4)), (std::vector<std::string>{""}));
    EXPECT_EQ(split.TakePending(), "de");
}

TEST(DosCommand, ReportsEntireLinesBeginningsAndTheExitCode) {
    TDosCommand command;
    TRecorded seen;
    Watch(command, seen);
    command.CommandLine =
        R"(sh -c "printf 'a\r\nb\rc'; sleep 0.3; printf 'd\r'; sleep 0.3; printf '\ne'; exit 7")";
    ASSERT_TRUE(RunToEnd(command, seen));
    EXPECT_EQ(Entire(seen), (std::vector<std::string>{"a", "b", "cd", "", "e"}));
    // "c" came as the beginning of a line before the rest of it arrived.
    EXPECT_NE(std::find(seen.lines.begin(), seen.lines.end(),
                        std::make_pair(std::string("c"), otBeginningOfLine)),
              seen.lines.end());
    EXPECT_EQ(command.Lines, Entire(seen));
    EXPECT_EQ(command.EndStatus(), esProcess);
    EXPECT_EQ(command.ExitCode(), 7u);
}

TEST(DosCommand, SendsInputAndStopsAProgramThatWaitsForever) {
    TDosCommand command;
    TRecorded seen;
    Watch(command, seen);
    command.CommandLine = "cat";
    EXPECT_THROW(command.SendLine("x", true), EDosCommand);
    command.Execute();
    EXPECT_THROW(command.Execute(), EDosCommand);
    command.SendLine("hello", true);
    command.SendLine("", false); // nothing at all
    command.SendLine("q", false);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !seen.lines.empty() &&
                   seen.lines.back() == std::make_pair(std::string("q"), otBeginningOfLine);
        },
        5000));
    EXPECT_EQ(Entire(seen), (std::vector<std::string>{"hello"}));
    command.Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.terminated; }, 5000));
    EXPECT_EQ(command.EndStatus(), esStop);
    EXPECT_EQ(Entire(seen), (std::vector<std::string>{"hello", "q"}));
}

TEST(DosCommand, TimeOutsEndQuietProgramsOnly) {
    TDosCommand quiet;
    TRecorded seen;
    Watch(quiet, seen);
    quiet.CommandLine = "sleep 30";
    quiet.MaxTimeAfterLastOutput = 1;
    ASSERT_TRUE(RunToEnd(quiet, seen, 6000));
    EXPECT_EQ(quiet.EndStatus(), esTime);

    TDosCommand talking;
    TRecorded said;
    Watch(talking, said);
    talking.CommandLine = R"(sh -c "for i in 1 2 3; do echo $i; sleep 0.6; done")";
    talking.MaxTimeAfterLastOutput = 1;
    ASSERT_TRUE(RunToEnd(talking, said, 6000));
    EXPECT_EQ(talking.EndStatus(), esProcess);
    EXPECT_EQ(Entire(said), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(DosCommand, AProgramThatCannotStartEndsTheRunWithItsError) {
    TDosCommand command;
    TRecorded seen;
    Watch(command, seen);
    command.CommandLine = "\"/no/such/program\" -x";
    ASSERT_TRUE(RunToEnd(command, seen));
    EXPECT_EQ(seen.error,
              "Error creating Process: \"/no/such/program\" -x - (No such file or directory)");
    EXPECT_EQ(command.EndStatus(), esError);
    command.CommandLine.clear();
    EXPECT_THROW(command.Execute(), EDosCommand);
}

TEST(DosCommand, TenMegabytesArriveWholeAndNoDescriptorOfOursIsInherited) {
    TDosCommand big;
    TRecorded seen;
    Watch(big, seen);
    big.CommandLine = R"(sh -c "head -c 10000000 /dev/zero | tr '\000' x | fold -w 99")";
    ASSERT_TRUE(RunToEnd(big, seen, 60000));
    const std::vector<std::string> lines = Entire(seen);
    ASSERT_EQ(lines.size(), 10000000u / 99 + 1);
    EXPECT_EQ(lines.front(), std::string(99, 'x'));
    EXPECT_EQ(lines.back(), std::string(10000000 % 99, 'x'));

    TDosCommand fds;
    TRecorded listed;
    Watch(fds, listed);
    fds.CommandLine = "ls /proc/self/fd";
    ASSERT_TRUE(RunToEnd(fds, listed));
    // 0, 1, 2 and the folder ls itself has open.
    EXPECT_EQ(Entire(listed), (std::vector<std::string>{"0", "1", "2", "3"}));
}
