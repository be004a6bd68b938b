// The program opens pages only under the address the user set, and writes no other.

#include "support/HomeLinks.h"
#include "app/FrmAbout.h"
#include "support/ProgramFolder.h"
#include "support/Translate.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace quorvel;

TEST(HomeLinks, PagesExistOnlyUnderTheUsersAddress) {
    EXPECT_EQ(AboutAddress("", "4.0.1.0"), "");
    EXPECT_EQ(AboutAddress("  \t", "4.0.1.0"), "");
    EXPECT_EQ(MissingFileAddress("", "webpnotfound"), "");
    EXPECT_EQ(AboutAddress("http://127.0.0.1:8080/quorvel", "4.0.1.0"),
              "http://127.0.0.1:8080/quorvel?v=4.0.1.0");
    EXPECT_EQ(AboutAddress(" http://127.0.0.1/q?lang=en#top ", "4.0.1.0"),
              "http://127.0.0.1/q?lang=en&v=4.0.1.0#top");
    EXPECT_EQ(MissingFileAddress("http://127.0.0.1/", "ffmpegnotfound"),
              "http://127.0.0.1/?app=quorvel&msg=ffmpegnotfound");
    EXPECT_EQ(MissingFileAddress("http://127.0.0.1/help?", "webpnotfound"),
              "http://127.0.0.1/help?app=quorvel&msg=webpnotfound");
}

// No web address is written into the program: every page it opens is one the user set.
TEST(HomeLinks, NoRemoteAddressIsWrittenInTheProgram) {
    const QRegularExpression address(QStringLiteral(R"re(\b(?:https?|ftp)://([^/"'\s:]*))re"));
    QStringList found;
    for (const char* folder : {"app", "capture", "sinks", "record", "ocr", "support", "platform",
                               "tools", "resources"}) {
        QDirIterator it(QStringLiteral(QUORVEL_SOURCE_DIR "/") + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui"),
                         QStringLiteral("*.txt"), QStringLiteral("*.desktop")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto m = address.globalMatch(text); m.hasNext();) {
                const auto match = m.next();
                const QString host = match.captured(1);
                if (host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost") ||
                    host.startsWith(QLatin1String("[::1]")) || host.isEmpty())
                    continue;
                found << file.fileName() + QStringLiteral(": ") + match.captured(0);
            }
        }
    }
    EXPECT_TRUE(found.isEmpty()) << found.join(QLatin1Char('\n')).toStdString();
}

TEST(AboutWindow, ShowsTheProgramsFactsInTheChosenLanguage) {
    const QString before = CurrentLanguage();
    SetCurrentLanguage(QStringLiteral("en"));
    {
        TFrmAbout about(nullptr, QStringLiteral("/home/u/.config/Marbask/Quorvel.conf"),
                        QStringLiteral("/home/u/Desktop"));
        EXPECT_EQ(about.windowTitle(), QStringLiteral("About Quorvel"));
        EXPECT_EQ(about.LblVersion->text(), QStringLiteral("4.0.1.0"));
        EXPECT_EQ(about.LblLicence->text(), QStringLiteral("All rights reserved."));
        EXPECT_EQ(about.LblSettings->text(),
                  QStringLiteral("/home/u/.config/Marbask/Quorvel.conf"));
        EXPECT_EQ(about.LblSaveFolder->text(), QStringLiteral("/home/u/Desktop"));
        // A program run from its build folder never names the source tree's README. (The
        // installed-layout test below may lay one out beside the build meanwhile.)
        if (about.LblDocumentation != nullptr) {
            EXPECT_NE(about.LblDocumentation->text(),
                      QStringLiteral(QUORVEL_SOURCE_DIR "/README.md"));
        }
        EXPECT_EQ(about.findChild<QPushButton*>(QStringLiteral("BtnClose"))->text(),
                  QStringLiteral("Close"));
    }
    SetCurrentLanguage(QStringLiteral("ru"));
    {
        TFrmAbout about(nullptr, QString(), QString());
        EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе Quorvel"));
        EXPECT_EQ(about.findChild<QPushButton*>(QStringLiteral("BtnClose"))->text(),
                  QStringLiteral("Закрыть"));
    }
    SetCurrentLanguage(before);
}

// Installed, the README sits under the prefix beside the program's folder: the About window
// names that file.
TEST(AboutWindow, NamesTheInstalledReadme) {
    const QDir program(QString::fromStdString(ProgramFolder()));
    const QString docs = QDir::cleanPath(program.filePath(QStringLiteral(QUORVEL_DOC_RELATIVE)));
    const bool made = !QFileInfo::exists(docs);
    ASSERT_TRUE(QDir().mkpath(docs));
    QFile readme(docs + QStringLiteral("/README.md"));
    const bool wrote = !readme.exists() && readme.open(QIODevice::WriteOnly);
    readme.close();
    {
        TFrmAbout about(nullptr, QString(), QString());
        ASSERT_NE(about.LblDocumentation, nullptr);
        EXPECT_EQ(about.LblDocumentation->text(), docs + QStringLiteral("/README.md"));
    }
    if (wrote)
        readme.remove();
    if (made)
        QDir(QDir::cleanPath(docs + QStringLiteral("/../.."))).removeRecursively();
}
