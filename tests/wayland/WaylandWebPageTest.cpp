// The web page area on a private headless sway: the browser window opens when the area is
// chosen, its page comes from a loopback HTTP server, and a capture renders the page
// whole however much taller than the output it is.

#include "BandsPage.h"
#include "LoopbackHttp.h"
#include "SwaySession.h"

#include <QImage>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quorvel::test;

namespace {

bool TreeHas(const TSwaySession& session, const std::string& text) {
    return session.Output("swaymsg -t get_tree 2>/dev/null").find(text) != std::string::npos;
}

} // namespace

TEST(WaylandWebPage, ASixThousandPixelPageIsCapturedWhole) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "sway refuses to run as root; scripts/test.sh runs these tests as "
                        "an unprivileged user";
    if (std::getenv("QUORVEL_SANITIZED") != nullptr)
        GTEST_SKIP() << "the browser engine is not tested under the sanitizers";
    TLoopbackHttp http({{"/bands", BandsPage(false)}});
    const QImage background = PatternPicture(640, 480);
    TSwaySession session(background, 640, 480);
    session.WriteSettings("area=5\nsaveto=0\nsound=0\nmouse=0\nkey_command_shown=1\npath=" +
                          session.SaveFolder() + "\n");
    ASSERT_TRUE(session.StartQuorvel(20000)) << session.QuorvelLog();
    ASSERT_TRUE(session.WaitUntil(
        [&] { return TreeHas(session, "\"app_id\": \"quorvel-webpage\""); }, 20000))
        << session.QuorvelLog();
    // The browser window has the focus: Alt+D to the address box, what it holds erased,
    // the address, Enter; again until the page's title shows (the window may take keys
    // only a moment after it shows).
    std::string erase = "wtype -k End -k End";
    for (int i = 0; i < 60; ++i)
        erase += " -k BackSpace";
    ASSERT_TRUE(session.WaitUntil(
        [&] {
            session.Status("wtype -M alt -k d -m alt 2>/dev/null");
            usleep(300000);
            session.Status(erase + " 2>/dev/null");
            // Each wtype brings its own keymap, and the first key after a new keymap may
            // be lost: the address starts with a blank, which the address box trims, and
            // Enter comes with it.
            session.Status("wtype '  " + http.Url("/bands") + "' -k Return 2>/dev/null");
            return session.WaitUntil([&] { return TreeHas(session, "\"name\": \"Bands\""); }, 4000);
        },
        30000))
        << session.QuorvelLog();
    ASSERT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    const QImage page = QImage(QString::fromStdString(session.NewestCapture()))
                            .convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(page.isNull()) << session.QuorvelLog();
    EXPECT_EQ(page.height(), 6000);
    EXPECT_GE(page.width(), 1280);
    for (int band = 0; band < 6 && page.height() == 6000; ++band) {
        EXPECT_EQ(page.pixel(640, band * 1000 + 10) & 0xFFFFFF, kBands[band] & 0xFFFFFF) << band;
        EXPECT_EQ(page.pixel(640, band * 1000 + 990) & 0xFFFFFF, kBands[band] & 0xFFFFFF) << band;
    }
}
