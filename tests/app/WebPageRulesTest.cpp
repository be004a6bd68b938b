// The pure rules of the web page area: the page's extent, the typed address, and where the
// browser window's program is found.

#include "capture/WebAddress.h"
#include "capture/WebPageExtent.h"
#include "capture/WebPageProcess.h"
#include "capture/WebPageProtocol.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace quorvel;

TEST(WebPageExtent, BodyWidthGainsTheStripAndThePictureLosesItAgain) {
    TPageMeasure m;
    m.BodyWidth = 1280;
    m.BodyHeight = 6000;
    m.RootWidth = 1280;
    m.RootHeight = 6000;
    const TPageExtent e = PageExtent(m);
    EXPECT_EQ(e.ViewWidth, 1280 + kEdgeWidth + kScrollBarWidth + 6);
    EXPECT_EQ(e.ViewHeight, 6000);
    EXPECT_EQ(e.Width, 1286);
    EXPECT_EQ(e.Height, 6000);
}

TEST(WebPageExtent, RootElementAndFramesGrowThePage) {
    TPageMeasure m;
    m.BodyWidth = 400;
    m.BodyHeight = 200;
    m.RootWidth = 500;
    m.RootHeight = 3000;
    EXPECT_EQ(PageExtent(m).Height, 3000);
    EXPECT_EQ(PageExtent(m).ViewWidth, 500); // wider than the body with its strip (425)
    m.FrameWidth = 1500;
    m.FrameHeight = 4000;
    const TPageExtent e = PageExtent(m);
    EXPECT_EQ(e.ViewWidth, 1500);
    EXPECT_EQ(e.Width, 1500 - kEdgeWidth - kScrollBarWidth);
    EXPECT_EQ(e.Height, 4000);
}

TEST(WebPageExtent, SidesBelowOneHundredBecome1024By768) {
    TPageMeasure m;
    m.BodyWidth = 10; // 10 + 25 is still below 100
    m.BodyHeight = 99;
    TPageExtent e = PageExtent(m);
    EXPECT_EQ(e.ViewWidth, 1024);
    EXPECT_EQ(e.Width, 1024 - kEdgeWidth - kScrollBarWidth);
    EXPECT_EQ(e.ViewHeight, 768);
    m.BodyWidth = 75; // 75 + 25 = 100 stays
    m.BodyHeight = 100;
    e = PageExtent(m);
    EXPECT_EQ(e.ViewWidth, 100);
    EXPECT_EQ(e.ViewHeight, 100);
}

TEST(WebAddress, BlanksAndControlCharactersAreTrimmedFromBothEndsOnly) {
    EXPECT_EQ(TrimAddress("  \t\x01http://127.0.0.1/a b\r\n "), "http://127.0.0.1/a b");
    EXPECT_EQ(TrimAddress(" \x1f "), "");
    EXPECT_EQ(TrimAddress("\xed\x95\x9c"), "\xed\x95\x9c"); // UTF-8 bytes are not blanks
}

TEST(WebPageProtocol, PictureHeaderIsReadOnlyWhenWellFormedAndWithinBounds) {
    const auto h = ParsePictureHeader("picture 1286 6000", 16000);
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->Width, 1286);
    EXPECT_EQ(h->Height, 6000);
    for (const char* bad :
         {"picture 0 10", "picture 10 16001", "picture 10", "picture 10 10 ", "picture -5 10",
          "picture 10x10", "picture  10 10", "closed", "picture 99999999999 1"})
        EXPECT_FALSE(ParsePictureHeader(bad, 16000).has_value()) << bad;
}

// Installed under any prefix, the browser window's program sits in the helpers' folder seen
// from the program's own folder (bin/../libexec/quorvel); only a file that can run counts.
// Without one, the folder the build was configured with is named.
TEST(WebPageProgram, FoundInTheHelpersFolderBesideAnInstalledProgram) {
    const std::string configured = QUORVEL_LIBEXEC_DIR "/quorvel-webpage";
    const QString helpers =
        QDir::cleanPath(QDir(QString::fromStdString(ProgramFolder()))
                            .filePath(QStringLiteral(QUORVEL_LIBEXEC_RELATIVE)));
    const QString helper = helpers + QStringLiteral("/quorvel-webpage");
    ASSERT_FALSE(QFileInfo::exists(helper)) << helper.toStdString();
    EXPECT_EQ(WebPageProgramPath().toStdString(), configured);

    const QString top = QDir::cleanPath(helpers + QStringLiteral("/.."));
    const bool made = !QFileInfo::exists(top);
    ASSERT_TRUE(QDir().mkpath(helpers));
    QFile file(helper);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(WebPageProgramPath().toStdString(), configured);
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(WebPageProgramPath().toStdString(), helper.toStdString());

    file.remove();
    if (made)
        QDir(top).removeRecursively();
}
