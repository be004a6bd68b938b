// The console process runner against small real programs: lines as they are split,
// input, stop, time-outs, a program that cannot start, a lot of output, no descriptor of
// ours handed to the program, priorities, both line lists, the coding events, a program
// that closes its input and a runner destroyed during its run.

#include "record/DosCommand.h"
#include "record/CommandLine.h"

#include <QTest>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <linux/capability.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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

namespace {

// The nice value and the process group of a running process, from /proc/PID/stat.
std::pair<int, int> NiceAndGroup(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // After the command's closing parenthesis: state, ppid, pgrp, …, nice (field 19).
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
    return {std::stoi(f.at(16)), std::stoi(f.at(2))};
}

int OpenDescriptors() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

// Takes CAP_SYS_NICE from this thread's effective set while it lives (threads started
// meanwhile inherit that), so that a root test run sees what an ordinary user sees.
class TWithoutNiceRight {
public:
    TWithoutNiceRight() {
        ::syscall(SYS_capget, &FHeader, FData);
        __user_cap_data_struct changed[2] = {FData[0], FData[1]};
        changed[0].effective &= ~(1u << CAP_SYS_NICE);
        ::syscall(SYS_capset, &FHeader, changed);
        ::getrlimit(RLIMIT_NICE, &FLimit);
        const rlimit none{0, FLimit.rlim_max};
        ::setrlimit(RLIMIT_NICE, &none);
    }
    ~TWithoutNiceRight() {
        ::syscall(SYS_capset, &FHeader, FData);
        ::setrlimit(RLIMIT_NICE, &FLimit);
    }

private:
    __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct FData[2]{};
    rlimit FLimit{};
};

} // namespace

TEST(DosCommand, PriorityProcessInformationAndTheEndOfAStoppedRun) {
    for (const auto& [priority, nice] : std::vector<std::pair<std::uint32_t, int>>{
             {IDLE_PRIORITY_CLASS, 19}, {BELOW_NORMAL_PRIORITY_CLASS, 10}}) {
        TDosCommand command;
        TRecorded seen;
        Watch(command, seen);
        command.CommandLine = "sleep 30";
        command.Priority = priority;
        command.Execute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return command.ProcessInformation().ProcessId > 0; }));
        const TProcessInformation info = command.ProcessInformation();
        const auto [seenNice, group] = NiceAndGroup(info.ProcessId);
        EXPECT_EQ(seenNice, nice);
        // A process group of its own, and a handle that is the program's while it runs.
        EXPECT_EQ(group, info.ProcessId);
        EXPECT_EQ(info.ProcessGroup, info.ProcessId);
        ASSERT_GE(info.ProcessHandle, 0);
        EXPECT_EQ(::syscall(SYS_pidfd_send_signal, info.ProcessHandle, 0, nullptr, 0), 0);
        command.Stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return seen.terminated; }, 5000));
        // A forced end leaves exit code 0; the handle has gone with the run.
        EXPECT_EQ(command.EndStatus(), esStop);
        EXPECT_EQ(command.ExitCode(), 0u);
        EXPECT_EQ(command.ProcessInformation().ProcessHandle, -1);
        EXPECT_NE(::fcntl(info.ProcessHandle, F_GETFD), 0);
    }

    // Above what an ordinary user may: the run ends with a plain reason.
    TDosCommand high;
    TRecorded refused;
    Watch(high, refused);
    high.CommandLine = "sleep 30";
    high.Priority = HIGH_PRIORITY_CLASS;
    {
        const TWithoutNiceRight ordinaryUser;
        high.Execute();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused.terminated; }, 5000));
    EXPECT_EQ(high.EndStatus(), esError);
    EXPECT_EQ(refused.error.rfind("Error creating Process: sleep 30 - (Permission denied", 0), 0u)
        << refused.error;
    EXPECT_NE(refused.error.find("nice -10"), std::string::npos);
    high.Priority = 12345;
    EXPECT_THROW(high.Execute(), EDosCommand);
}

TEST(DosCommand, BothLineListsAndTheCodingEvents) {
    TDosCommand command;
    TRecorded seen;
    Watch(command, seen);
    std::vector<std::string> memo{"kept"};
    command.OutputLines = &memo;
    command.InputToOutput = true;
    command.SetOnCharDecoding([](TDosCommand*, const std::string& buf) {
        std::string text = buf;
        for (char& c : text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    });
    command.SetOnCharEncoding([](TDosCommand*, const std::string& chars, std::string& out) {
        out = "<" + chars.substr(0, chars.size() - 2) + ">\n";
    });
    command.CommandLine = "cat";
    command.Execute();
    EXPECT_THROW(command.SetOnCharDecoding(nullptr), EDosCommand);
    EXPECT_THROW(command.SetOnCharEncoding(nullptr), EDosCommand);
    command.SendLine("one", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return command.Lines.size() == 1; }, 5000));
    command.Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.terminated; }, 5000));
    // The program got the encoded line and its output came back decoded; the echo of the
    // input went to the second list and the events only.
    EXPECT_EQ(command.Lines, (std::vector<std::string>{"<ONE>"}));
    EXPECT_EQ(memo, (std::vector<std::string>{"kept", "one", "<ONE>"}));
    EXPECT_EQ(Entire(seen), (std::vector<std::string>{"one", "<ONE>"}));
    command.SetOnCharDecoding(nullptr); // allowed again between runs
}

TEST(DosCommand, AProgramThatClosesItsInputEndsTheRunWithAnError) {
    TDosCommand command;
    TRecorded seen;
    Watch(command, seen);
    command.CommandLine = R"(sh -c "exec 0<&-; echo closed; sleep 30")";
    command.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !command.Lines.empty(); }, 5000));
    const pid_t pid = command.ProcessInformation().ProcessId;
    command.SendLine("q", false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.terminated; }, 5000));
    EXPECT_EQ(command.EndStatus(), esError);
    EXPECT_EQ(seen.error.rfind("Writing to the program's input failed", 0), 0u) << seen.error;
    EXPECT_NE(::kill(pid, 0), 0); // and the program is gone with the run
}

TEST(DosCommand, DestroyedDuringARunItEndsTheProgramAndClosesEverything) {
    const int before = OpenDescriptors();
    pid_t pid = 0;
    {
        TDosCommand command;
        command.CommandLine = R"(sh -c "echo started; sleep 30")";
        command.Execute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !command.Lines.empty(); }, 5000));
        pid = command.ProcessInformation().ProcessId;
    }
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_NE(::kill(pid, 0), 0);
}
