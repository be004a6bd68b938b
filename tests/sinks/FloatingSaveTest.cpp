// The floating window's save command without a display: the dialog's file types, the
// extension a bare name gets, and which writer each type uses with which quality.

#include "sinks/FloatingSave.h"
#include "sinks/JpegWriter.h"

#include "TempFolder.h"

#include <QImage>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

using quorvel::test::ReadFileBytes;
using quorvel::test::TTempFolder;

namespace {

QImage Picture() {
    QImage image(37, 21, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 7, y * 11, (x ^ y) * 5));
    return image;
}

} // namespace

TEST(FloatingSave, DialogListsTheFiveTypesInOrderWithTheirExtensions) {
    EXPECT_EQ(quorvel::FloatingSaveFilters(),
              QStringList({"PNG (*.png)", "JPG (*.jpg *.jpeg)", "GIF (*.gif)", "BMP (*.bmp)",
                           "WebP (*.webp)"}));
    const QStringList extensions{"png", "jpg", "gif", "bmp", "webp"};
    for (int type = 1; type <= 5; ++type)
        EXPECT_EQ(quorvel::FloatingDefaultExtension(type), extensions[type - 1]);
    EXPECT_TRUE(quorvel::FloatingDefaultExtension(0).isEmpty());
    EXPECT_TRUE(quorvel::FloatingDefaultExtension(6).isEmpty());
}

TEST(FloatingSave, EachTypeUsesItsWriterWhateverTheFileIsCalled) {
    TTempFolder temp;
    const QImage picture = Picture();
    const struct {
        int type;
        const char* signature;
    } cases[] = {{1, "\x89PNG"}, {2, "\xFF\xD8\xFF"}, {3, "GIF8"}, {4, "BM"}};
    for (const auto& c : cases) {
        const std::string path = temp.File("picture-" + std::to_string(c.type) + ".bin");
        quorvel::SaveFloatingPicture(c.type, picture, QString::fromStdString(path), "90", "90");
        const std::string bytes = ReadFileBytes(path);
        EXPECT_EQ(bytes.substr(0, std::strlen(c.signature)), c.signature) << c.type;
        const QImage read(QString::fromStdString(path));
        EXPECT_EQ(read.size(), picture.size()) << c.type;
    }
}

TEST(FloatingSave, JpegTakesTheListsQualityAndNinetyForAnythingElse) {
    TTempFolder temp;
    const QImage picture = Picture();
    const quorvel::TPixelView view{picture.constBits(), picture.width(), picture.height(),
                                   static_cast<std::ptrdiff_t>(picture.bytesPerLine())};
    for (const auto& [text, quality] :
         {std::pair{"60", 60}, std::pair{"100", 100}, std::pair{"", 90}, std::pair{"9x", 90}}) {
        quorvel::SaveFloatingPicture(2, picture, QString::fromStdString(temp.File("a.jpg")), text,
                                     "70");
        quorvel::WriteJPG(view, temp.File("b.jpg"), static_cast<std::uint8_t>(quality));
        EXPECT_EQ(ReadFileBytes(temp.File("a.jpg")), ReadFileBytes(temp.File("b.jpg"))) << text;
    }
}

TEST(FloatingSave, FailuresRaiseAndWriteNothing) {
    TTempFolder temp;
    const QImage picture = Picture();
    EXPECT_ANY_THROW(quorvel::SaveFloatingPicture(
        1, picture, QString::fromStdString(temp.File("missing/a.png")), "90", "90"));
    EXPECT_ANY_THROW(quorvel::SaveFloatingPicture(
        0, picture, QString::fromStdString(temp.File("a.png")), "90", "90"));
    EXPECT_ANY_THROW(quorvel::SaveFloatingPicture(
        6, picture, QString::fromStdString(temp.File("a.png")), "90", "90"));
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}
