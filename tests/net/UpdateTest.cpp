// The update check: its texts and identifier, the request on the wire, the retries, and
// the dialog with its notice line.

#include "support/Update.h"
#include "TempFolder.h"
#include "net/OpenedUrls.h"
#include "net/RawServer.h"
#include "support/HttpGet.h"
#include "support/UpdateProtocol.h"
#include "support/Utf8.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

using namespace quorvel;
using quorvel::test::TRawServer;

namespace {

bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs `inspect` on the update dialog once it is open, then presses the named button.
void AnswerDialog(const std::function<void(QMessageBox&)>& inspect,
                  QMessageBox::StandardButton answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, inspect, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->objectName() != QLatin1String("UpdateDialog"))
            return;
        poll->stop();
        poll->deleteLater();
        inspect(*box);
        box->button(answer)->click();
    });
    poll->start(10);
}

// The update check's tests keep the installation identifier in a folder of their own.
class UpdateCheck : public testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        FOld = old ? old : "";
        FHadOld = old != nullptr;
        ::setenv("XDG_CONFIG_HOME", FHome.Path().c_str(), 1);
    }
    void TearDown() override {
        StopUpdateCheck();
        SetUpdatePause(std::chrono::milliseconds(10));
        if (FHadOld)
            ::setenv("XDG_CONFIG_HOME", FOld.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    test::TTempFolder FHome;
    std::string FOld;
    bool FHadOld = false;
};
using UpdateDialogTest = UpdateCheck;

} // namespace

TEST(UpdateProtocol, InstallationIdHasItsFivePieces) {
    std::mt19937 random(7);
    std::tm when{};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 9;
    when.tm_hour = 18, when.tm_min = 5, when.tm_sec = 3;
    const std::string id = NewInstallationId(random, when);
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}261209[0-9A-F]{4}180503[0-9A-F]{8}")))
        << id;
    EXPECT_NE(NewInstallationId(random, when), id);
}

TEST(UpdateProtocol, TextsFollowTheSystemLanguage) {
    EXPECT_EQ(UpdateText(1, "de"), u"Ja");
    EXPECT_EQ(UpdateText(2, "de"), u"Nein");
    EXPECT_EQ(UpdateText(0, "de").substr(0, 42), u"Dieses Programm ist aktualisiert worden.\r\r");
    EXPECT_EQ(UpdateText(1, "pt"), u"Yes"); // no Portuguese texts: English
    EXPECT_EQ(UpdateText(0, "pt"), u"This program has been updated.\r\rIt is recommended to "
                                   u"download and execute new for stable use.\r\rDo you want "
                                   u"to download it?");
    EXPECT_EQ(UpdateText(2, "ko"), u"아니오");
    EXPECT_EQ(UpdateText(3, "en"), u"");
    EXPECT_EQ(UpdateLanguageOf("de_DE.UTF-8"), "de");
    EXPECT_EQ(UpdateLanguageOf("pt_BR.UTF-8"), "pt");
    EXPECT_EQ(UpdateLanguageOf("C"), "en");
    EXPECT_EQ(UpdateLanguageOf("ast_ES"), "as");
}

TEST(UpdateProtocol, ReplyFieldsAreCutOutOfTheText) {
    const TUpdateReply full = ParseUpdateReply(
        uR"({"update":"http:\/\/h\/q.tar","info":{"style":"note","text":"Read","flag":"x stayontop","url":"http:\/\/h\/n"}})");
    EXPECT_EQ(full.Update, u"http://h/q.tar");
    EXPECT_EQ(full.Style, u"note");
    EXPECT_EQ(full.Text, u"Read");
    EXPECT_EQ(full.Flag, u"x stayontop");
    EXPECT_EQ(full.Url, u"http://h/n");
    // A brace in the notice text ends the notice: the fields after it are not found.
    const TUpdateReply cut =
        ParseUpdateReply(uR"({"update":"u","info":{"style":"hold","text":"a}b","url":"v"}})");
    EXPECT_EQ(cut.Style, u"hold");
    EXPECT_EQ(cut.Text, u"");
    EXPECT_EQ(cut.Url, u"");
    // Fields of "info" are not taken from outside it.
    EXPECT_EQ(ParseUpdateReply(uR"({"style":"hold","update":"u"})").Style, u"");
    EXPECT_EQ(ParseUpdateReply(u"{\"update\": \"u\"}").Update, u"");
}

TEST(HttpGetText, SendsTheHeadersInOrderAndTakesAnyAnswer) {
    TRawServer server([](int, const std::string&) {
        return TRawServer::Answer(500, "<html>Fehler ü</html>", "text/html; charset=iso-8859-1");
    });
    std::u16string reply;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/api.init.php";
    ASSERT_TRUE(HttpGetText(url, CheckHeaders("4.0.1.0", "de", true, ""), reply));
    EXPECT_EQ(reply, u"<html>Fehler ü</html>");
    const std::string request = server.Requests().at(0);
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /api.init.php HTTP/1.1");
    const std::size_t v = request.find("\r\nUser-Version: 4.0.1.0\r\n");
    const std::size_t l = request.find("\r\nUser-Language: de\r\n");
    const std::size_t d = request.find("\r\nUser-Debug: true\r\n");
    const std::size_t u = request.find("\r\nUser-Union:");
    ASSERT_NE(u, std::string::npos);
    EXPECT_TRUE(v < l && l < d && d < u);

    int port = server.Port();
    {
        TRawServer gone([](int, const std::string&) { return std::string(); });
        port = gone.Port();
    }
    EXPECT_FALSE(HttpGetText("http://127.0.0.1:" + std::to_string(port) + "/", {}, reply));
}

TEST_F(UpdateCheck, RetriesUntilAnAnswerAndCallsBackOnTheInterfaceThread) {
    // Two connections closed without an answer, then a reply that offers nothing.
    TRawServer server([](int index, const std::string&) -> std::optional<std::string> {
        if (index < 2)
            return std::string();
        return TRawServer::Answer(200, R"({"update":""})");
    });
    SetUpdatePause(std::chrono::microseconds(10));
    bool called = false, accepted = true;
    QString reply;
    bool onInterfaceThread = false;
    CheckUpdate(
        QStringLiteral("http://127.0.0.1:%1/api.init.php").arg(server.Port()),
        [&](bool a, const QString& r) {
            called = true, accepted = a, reply = r;
            onInterfaceThread = QThread::currentThread() == qApp->thread();
        },
        0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return called; }, 20000));
    EXPECT_FALSE(accepted);
    EXPECT_EQ(reply, QStringLiteral(R"({"update":""})"));
    EXPECT_TRUE(onInterfaceThread);
    EXPECT_EQ(server.Count(), 3u);
    const std::string quid = test::HeaderOf(server.Requests()[2], "User-Union");
    EXPECT_TRUE(
        std::regex_match(quid, std::regex("[0-9A-F]{8}[0-9]{6}[0-9A-F]{4}[0-9]{6}[0-9A-F]{8}")))
        << quid;
    EXPECT_EQ(GetInstallationId().toStdString(), quid); // made once and kept
    EXPECT_NE(test::ReadFileBytes(FHome.File("Marbask.conf")).find("QUID=" + quid),
              std::string::npos);
    StopUpdateCheck();
    SetUpdatePause(std::chrono::milliseconds(10));
}

TEST_F(UpdateCheck, StopEndsTheWaitAtOnceWithoutCallingBack) {
    int port = 0;
    {
        TRawServer gone([](int, const std::string&) { return std::string(); });
        port = gone.Port();
    }
    bool called = false;
    CheckUpdate(
        QStringLiteral("http://127.0.0.1:%1/").arg(port),
        [&](bool, const QString&) { called = true; }, 0);
    QThread::msleep(50); // let it fail once and start its 10-second wait
    QElapsedTimer timer;
    timer.start();
    StopUpdateCheck();
    EXPECT_LT(timer.elapsed(), 500);
    QApplication::processEvents();
    EXPECT_FALSE(called);
}

TEST_F(UpdateDialogTest, HoldTickedAndNoSendsTheHoldRequest) {
    const QString reply =
        QStringLiteral(R"({"update":"http://h/d","info":{"style":"hold","text":"Later"}})");
    // The hold request goes to the address of the check.
    bool called = false;
    SetUpdatePause(std::chrono::microseconds(10));
    TRawServer check(
        [&](int, const std::string&) { return TRawServer::Answer(200, reply.toStdString()); });
    AnswerDialog(
        [](QMessageBox& box) {
            auto* hold = box.findChild<QCheckBox*>(QStringLiteral("Hold"));
            ASSERT_NE(hold, nullptr);
            EXPECT_EQ(hold->text(), QStringLiteral("Later"));
            EXPECT_FALSE(hold->isChecked());
            auto* line = box.findChild<QFrame*>(QStringLiteral("Separator"));
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(line->height(), 1);
            EXPECT_EQ(box.findChild<QWidget*>(QStringLiteral("Notice"))->height(), 40);
            EXPECT_EQ(hold->x(), 10);
            EXPECT_EQ(box.button(QMessageBox::Yes)->text(), UpdateText(1));
            EXPECT_EQ(box.button(QMessageBox::No)->text(), UpdateText(2));
            EXPECT_EQ(box.icon(), QMessageBox::Warning);
            hold->setChecked(true);
        },
        QMessageBox::No);
    bool accepted = true;
    CheckUpdate(
        QStringLiteral("http://127.0.0.1:%1/api.init.php").arg(check.Port()),
        [&](bool a, const QString&) { called = true, accepted = a; }, 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return called; }, 20000));
    EXPECT_FALSE(accepted);
    ASSERT_TRUE(ProcessEventsUntil([&] { return check.Count() == 2; }, 10000));
    const std::string hold = check.Requests()[1];
    EXPECT_EQ(test::HeaderOf(hold, "User-Command"), "hold");
    EXPECT_EQ(test::HeaderOf(hold, "User-Version"), "4.0.1.0");
    EXPECT_EQ(test::HeaderOf(hold, "User-Union"), "");
    StopUpdateCheck();
}

TEST_F(UpdateDialogTest, PlainDialogWithoutNoticeAndStayOnTop) {
    AnswerDialog(
        [](QMessageBox& box) {
            EXPECT_EQ(box.findChild<QWidget*>(QStringLiteral("Notice")), nullptr);
            EXPECT_EQ(box.text(), UpdateText(0).replace(QLatin1Char('\r'), QLatin1Char('\n')));
            EXPECT_FALSE(box.windowFlags() & Qt::WindowStaysOnTopHint);
        },
        QMessageBox::Yes);
    EXPECT_TRUE(UpdateDialog(QStringLiteral(R"({"update":"http://h/d"})")));

    AnswerDialog(
        [](QMessageBox& box) {
            EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
            auto* note = box.findChild<QLabel*>(QStringLiteral("Note"));
            ASSERT_NE(note, nullptr);
            EXPECT_EQ(note->text(), QStringLiteral("News"));
            EXPECT_TRUE(note->font().underline());
            EXPECT_EQ(note->cursor().shape(), Qt::PointingHandCursor);
            EXPECT_EQ(note->toolTip(), QStringLiteral("http://h/n"));
            EXPECT_NE(box.findChild<QFrame*>(QStringLiteral("Separator")), nullptr);
        },
        QMessageBox::No);
    EXPECT_FALSE(UpdateDialog(QStringLiteral(
        R"({"update":"http://h/d","info":{"style":"note","text":"News","flag":"stayontop","url":"http:\/\/h\/n"}})")));
}

TEST(HttpGetText, StopEndsATransferThatGetsNoAnswer) {
    TRawServer silent([](int, const std::string&) { return std::nullopt; });
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        while (silent.Count() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stop = true;
    });
    QElapsedTimer timer;
    timer.start();
    std::u16string reply;
    EXPECT_FALSE(
        HttpGetText("http://127.0.0.1:" + std::to_string(silent.Port()) + "/", {}, reply, &stop));
    EXPECT_LT(timer.elapsed(), 1000);
    stopper.join();
}

TEST_F(UpdateCheck, AnIdentifierThatCannotBeMadeIsSentEmpty) {
    ::setenv("XDG_CONFIG_HOME", "/proc/quorvel-no-such-folder", 1);
    EXPECT_EQ(GetInstallationId(), QString());
    TRawServer server(
        [](int, const std::string&) { return TRawServer::Answer(404, "<html>no</html>"); });
    bool called = false;
    QString reply;
    CheckUpdate(
        QStringLiteral("http://127.0.0.1:%1/api.init.php").arg(server.Port()),
        [&](bool, const QString& r) { called = true, reply = r; }, 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return called; }, 20000));
    // An error page is a reply: no retry, no dialog.
    EXPECT_EQ(reply, QStringLiteral("<html>no</html>"));
    ASSERT_EQ(server.Count(), 1u);
    const std::string request = server.Requests()[0];
    EXPECT_NE(request.find("\r\nUser-Union:\r\n"), std::string::npos) << request;
}

TEST_F(UpdateDialogTest, ClickingTheNoteOpensItsAddressAndTheDialogStays) {
    test::TOpenedUrls opened;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &opened, "Open");
    bool stayedOpen = false;
    AnswerDialog(
        [&](QMessageBox& box) {
            auto* note = box.findChild<QLabel*>(QStringLiteral("Note"));
            ASSERT_NE(note, nullptr);
            QTest::mouseClick(note, Qt::LeftButton);
            stayedOpen = box.isVisible();
        },
        QMessageBox::No);
    EXPECT_FALSE(UpdateDialog(QStringLiteral(
        R"({"update":"http://h/d","info":{"style":"note","text":"News","url":"http:\/\/h\/n"}})")));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    EXPECT_EQ(opened.Urls, QStringList{QStringLiteral("http://h/n")});
    EXPECT_TRUE(stayedOpen);
}

TEST_F(UpdateDialogTest, TheServersNoteIsPlainTextAndOnlyWebAddressesOpen) {
    test::TOpenedUrls opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "Open");
    QString shown;
    AnswerDialog(
        [&](QMessageBox& box) {
            auto* note = box.findChild<QLabel*>(QStringLiteral("Note"));
            ASSERT_NE(note, nullptr);
            shown = note->text();
            EXPECT_EQ(note->textFormat(), Qt::PlainText);
            QTest::mouseClick(note, Qt::LeftButton);
        },
        QMessageBox::No);
    EXPECT_FALSE(UpdateDialog(QStringLiteral(
        R"({"update":"http://h/d","info":{"style":"note","text":"<img src=x><b>News<\/b>","url":"file:\/\/\/etc\/passwd"}})")));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(shown, QStringLiteral("<img src=x><b>News</b>"));
    EXPECT_TRUE(opened.Urls.isEmpty());
}

TEST(HttpGetText, AReplyOverOneMegabyteIsAFailure) {
    TRawServer server([](int index, const std::string&) {
        return TRawServer::Answer(200, std::string(index == 0 ? 2 * 1024 * 1024 : 1000, 'x'),
                                  "text/plain");
    });
    std::u16string reply;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    EXPECT_FALSE(HttpGetText(url, {}, reply));
    ASSERT_TRUE(HttpGetText(url, {}, reply));
    EXPECT_EQ(reply.size(), 1000u);
}
