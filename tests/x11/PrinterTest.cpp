// Printing a capture on the default CUPS printer: a private scheduler with a PDF printer,
// the page rendered back and compared with the screen.

#include "CupsPrinter.h"
#include "DesktopSession.h"

#include <QImage>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using quorvel::test::TCupsPrinter;
using quorvel::test::TDesktopSession;

namespace {

// The mean absolute difference per colour channel between the screen's region and the
// page at the offset. The printed picture goes through lossy compression on its way to
// the PDF, so matching pixels differ a little; a picture printed at another scale drifts
// away from the screen's pattern and differs a lot.
double Difference(const QImage& page, const QImage& screen, QPoint offset, const QRect& region) {
    long long sum = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x) {
            const QRgb a = page.pixel(x + offset.x(), y + offset.y());
            const QRgb b = screen.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                   std::abs(qBlue(a) - qBlue(b));
        }
    return static_cast<double>(sum) / (3.0 * region.width() * region.height());
}

} // namespace

TEST(Printer, CapturePrintsWithWholeNumberPixelBlocks) {
    TDesktopSession session;
    TCupsPrinter printer;
    if (!printer.Ready())
        GTEST_SKIP() << printer.Error();
    session.WriteSettings("path=" + session.SaveFolder() +
                          "\nsound=1\nmouse=0\narea=0\nsaveto=9\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    session.Start({quorvel::test::TestWindowBinary(), "Pattern", "400", "300", "0", "0"},
                  "window.log");
    ASSERT_TRUE(
        TDesktopSession::WaitUntil([&] { return session.VisibleWindow("Pattern") != 0; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    EXPECT_EQ(session.Ctl(R"({"command":"capture"})"), "1");
    ASSERT_TRUE(printer.WaitForJobs(20000)) << "no page printed";
    const QImage screen = session.Screenshot();

    // A 600 dpi printer and a 96 ppi screen: each pixel is 6 x 6 dots (not 6.25), so at
    // 100 dots per inch the page shows the screen one to one.
    const std::string png = session.Root() + "/page";
    ASSERT_EQ(
        session.Status("pdftoppm -r 100 -singlefile -png " + printer.OutputFile() + " " + png), 0);
    const QImage page =
        QImage(QString::fromStdString(png + ".png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(page.isNull());

    // The picture starts at the printable area's top-left corner; find that margin.
    const QRect region(10, 30, 380, 260); // inside the pattern window
    QPoint best;
    double bestDifference = 1e9;
    for (int my = 0; my <= 80; ++my)
        for (int mx = 0; mx <= 80; ++mx) {
            const double d =
                Difference(page, screen, {mx, my}, QRect(region.topLeft(), QSize(32, 32)));
            if (d < bestDifference) {
                bestDifference = d;
                best = {mx, my};
            }
        }
    // Measured: about 16 at the right scale, over 80 for a picture 4 % too large or small.
    EXPECT_LT(Difference(page, screen, best, region), 30.0)
        << "margin " << best.x() << "," << best.y();
    // The picture is not fitted to the page: the screen is wider than the page and is cut.
    EXPECT_LT(page.width(), 1920);
}

TEST(Printer, NoPrinterShowsCaptureFailed) {
    TDesktopSession session;
    ::setenv("CUPS_SERVER", (session.Root() + "/no-scheduler.sock").c_str(), 1);
    session.WriteSettings("path=" + session.SaveFolder() +
                          "\nsound=1\nmouse=0\narea=0\nsaveto=9\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    const pid_t ctl =
        session.Start({quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.QuorvelLog().find("Capture failed.\\r\\rNo printer is installed.") !=
                   std::string::npos;
        },
        10000))
        << session.QuorvelLog();
    EXPECT_TRUE(session.AnswerMessage());
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 3000));
    ::unsetenv("CUPS_SERVER");
}

// A printer is installed but none is the default: nothing is printed anywhere, and the
// capture fails with the reason.
TEST(Printer, NoDefaultPrinterIsAnErrorNotTheFirstPrinter) {
    TDesktopSession session;
    TCupsPrinter printer(false);
    if (!printer.Ready())
        GTEST_SKIP() << printer.Error();
    ASSERT_NE(session.Output("lpstat -d 2>&1").find("no system default"), std::string::npos);
    session.WriteSettings("path=" + session.SaveFolder() +
                          "\nsound=1\nmouse=0\narea=0\nsaveto=9\n");
    ASSERT_TRUE(session.StartQuorvel({"/start"})) << session.QuorvelLog();
    const pid_t ctl =
        session.Start({quorvel::test::QuorvelCtlBinary(), R"({"command":"capture"})"}, "ctl.log");
    EXPECT_TRUE(TDesktopSession::WaitUntil(
        [&] {
            return session.QuorvelLog().find("Capture failed.\\r\\rNo default printer is set.") !=
                   std::string::npos;
        },
        10000))
        << session.QuorvelLog();
    EXPECT_TRUE(session.AnswerMessage());
    EXPECT_TRUE(TDesktopSession::WaitUntil([&] { return !TDesktopSession::Alive(ctl); }, 3000));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(session.Output("lpstat -o 2>/dev/null"), "");
    EXPECT_FALSE(std::filesystem::exists(printer.OutputFile()));
}
