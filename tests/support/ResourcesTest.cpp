// The files the program opens from its resources are there under the names the code uses:
// a moved or renamed file fails here instead of leaving the user a blank icon or silence.

#include "support/Resources.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <gtest/gtest.h>

using namespace quorvel;

namespace {

// Every ":/name" and "qrc:/name" text written in the program's sources.
QSet<QString> NamedInSources() {
    QSet<QString> names;
    const QRegularExpression literal(QStringLiteral(R"re("(?:qrc)?(:/[^"\s]+)")re"));
    for (const char* folder : {"app", "capture", "sinks", "record", "ocr", "support", "platform"}) {
        QDirIterator it(QStringLiteral(QUORVEL_SOURCE_DIR "/") + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto m = literal.globalMatch(text); m.hasNext();)
                names.insert(m.next().captured(1));
        }
    }
    return names;
}

} // namespace

TEST(Resources, EveryNameTheCodeUsesExists) {
    QSet<QString> names = NamedInSources();
    names.insert(QString::fromLatin1(Resources::TranslationTable));
    names.insert(QString::fromLatin1(Resources::CaptureSound));
    names.insert(QString::fromLatin1(Resources::ProgramIcon));
    for (const QString& name : names)
        EXPECT_TRUE(QFile::exists(name)) << name.toStdString() << " is not in the resources";
}

TEST(Resources, IconIsAPictureWithVisiblePixels) {
    const QImage icon(QString::fromLatin1(Resources::ProgramIcon));
    ASSERT_FALSE(icon.isNull());
    EXPECT_GE(icon.width(), 16);
    int opaque = 0;
    QSet<QRgb> colours;
    const QImage argb = icon.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 128) {
                ++opaque;
                colours.insert(argb.pixel(x, y));
            }
    EXPECT_GT(opaque, argb.width() * argb.height() / 4);
    EXPECT_GT(colours.size(), 1);
}

TEST(Resources, SoundIsHalfASecondOfEightBitMonoAt11025) {
    QFile file(QString::fromLatin1(Resources::CaptureSound));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray wav = file.readAll();
    ASSERT_GE(wav.size(), 44);
    EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
    EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt "));
    const auto u16 = [&](int at) {
        return static_cast<int>(static_cast<unsigned char>(wav[at]) |
                                (static_cast<unsigned char>(wav[at + 1]) << 8));
    };
    EXPECT_EQ(u16(20), 1); // PCM
    EXPECT_EQ(u16(22), 1); // mono
    EXPECT_EQ(u16(24) | (u16(26) << 16), 11025);
    EXPECT_EQ(u16(34), 8); // bits per sample
    const int samples = wav.indexOf("data") >= 0
                            ? u16(wav.indexOf("data") + 4) | (u16(wav.indexOf("data") + 6) << 16)
                            : 0;
    EXPECT_GT(samples, 11025 / 4);
    EXPECT_LT(samples, 11025);
}
