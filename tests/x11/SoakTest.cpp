// Many captures in a row and many senders at once: every request is answered, every file
// is whole, and the program is still there.

#include "DesktopSession.h"
#include "app/SingleInstance.h"

#include <QImage>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using quorvel::test::TDesktopSession;

namespace {

namespace fs = std::filesystem;

// Every file in the folder decodes as a picture of the screen's size; returns how many.
int WholeCaptures(const std::string& folder, QSize size) {
    int whole = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const QImage image(QString::fromStdString(entry.path().string()));
        EXPECT_EQ(image.size(), size) << entry.path();
        whole += image.size() == size;
    }
    return whole;
}

} // namespace

TEST(Soak, TwoHundredInARowAndFortyAtOnceAreAllAnsweredAndWhole) {
    TDesktopSession session(800, 600);
    session.ShowPatternWindow("Pattern", 300, 200, 100, 100);
    session.WriteSettings("path=" + session.SaveFolder() +
                          "\nsound=1\narea=0\nsaveto=0\nappend=1\nmouse=0\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    const quorvel::TRequest capture{quorvel::TRequestType::CopyData, quorvel::kCopyDataCommand,
                                    R"({"command":"capture"})"};

    int answered = 0;
    for (int i = 0; i < 200; ++i)
        answered += quorvel::SendToInstance(capture) == std::optional<char>('1');
    EXPECT_EQ(answered, 200);
    EXPECT_EQ(WholeCaptures(session.SaveFolder(), QSize(800, 600)), 200);
    EXPECT_TRUE(fs::exists(session.SaveFolder() + "/Q-200.png"));

    for (const auto& entry : fs::directory_iterator(session.SaveFolder()))
        fs::remove(entry.path());
    std::atomic<int> parallel{0};
    std::vector<std::thread> senders;
    for (int i = 0; i < 40; ++i)
        senders.emplace_back([&] {
            if (quorvel::SendToInstance(capture) == std::optional<char>('1'))
                ++parallel;
        });
    for (std::thread& t : senders)
        t.join();
    EXPECT_EQ(parallel.load(), 40);
    EXPECT_EQ(WholeCaptures(session.SaveFolder(), QSize(800, 600)), 40);
    EXPECT_TRUE(TDesktopSession::Alive(session.QuorvelPid())) << session.QuorvelLog();
}
