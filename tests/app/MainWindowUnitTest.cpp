// The main window's own logic on Qt's offscreen platform with a desktop in memory: what
// start-up reads, what the language switch changes, the list widths, and the hotkey
// dialog's values.

#include "FakePlatform.h"
#include "TempFolder.h"
#include "app/FrmQuorvel.h"
#include "capture/ColourPicker.h"
#include "capture/FrmArea.h"
#include "capture/FrmDrag.h"
#include "capture/FrmLine.h"
#include "sinks/FrmFloating.h"
#include "support/FrmHotKey.h"
#include "support/Translate.h"
#include "support/TranslateComponent.h"
#include "ui_FrmHotKey.h"
#include "ui_FrmQuorvel.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QSystemTrayIcon>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace quorvel::test {

namespace {

class THotKeyFake final : public THotKey {
public:
    explicit THotKeyFake(TFakePlatform& platform) : FPlatform(platform) {}
    bool Register(std::uint8_t vk, unsigned modifiers) override {
        FPlatform.HotKey = {vk, modifiers, !FPlatform.RefuseHotKeys};
        return !FPlatform.RefuseHotKeys;
    }
    void Unregister() override { FPlatform.HotKey.registered = false; }

private:
    TFakePlatform& FPlatform;
};

} // namespace

std::unique_ptr<THotKey> TFakePlatform::CreateHotKey(std::function<void()> onPress) {
    PressHotKey = std::move(onPress);
    return std::make_unique<THotKeyFake>(*this);
}

namespace {

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

class MainWindowUnit : public testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
        std::filesystem::create_directories(home.Path() / "Marbask");
        language = CurrentLanguage();
    }
    void TearDown() override { SetCurrentLanguage(language); }
    void Settings(const std::string& lines) {
        std::ofstream(home.Path() / "Marbask" / "Quorvel.conf") << "[General]\n" << lines;
    }
    std::string Stored() const {
        return ReadFileBytes((home.Path() / "Marbask" / "Quorvel.conf").string());
    }

    TTempFolder home;
    TFakePlatform platform;
    QString language;
};

} // namespace

TEST_F(MainWindowUnit, FreshStartReadsTheDefaultsAndStoresOnlyTheTwoLists) {
    Settings("");
    TFrmQuorvel window(QString(), platform);
    Ui::TFrmQuorvel& c = *window.Controls();
    EXPECT_EQ(c.ChkArea->currentIndex(), 0);
    EXPECT_EQ(c.ChkSaveTo->currentIndex(), 0);
    EXPECT_EQ(c.ChkJPEG_qual->currentText(), Q("90"));
    EXPECT_EQ(c.ChkWebp_qual->currentText(), Q("90"));
    EXPECT_TRUE(window.ChkAppend1->isChecked());
    EXPECT_TRUE(window.ChkSound2->isChecked());
    EXPECT_TRUE(window.ChkMouse->isChecked());
    EXPECT_FALSE(window.ChkRegStart->isChecked());
    EXPECT_TRUE(window.ChkRecLimit0->isChecked());
    EXPECT_EQ(c.PnlMain->currentIndex(), 0);
    // Print Screen alone is the hotkey.
    EXPECT_EQ(platform.HotKey.vk, 0x2C);
    EXPECT_EQ(platform.HotKey.modifiers, 0u);
    EXPECT_TRUE(platform.HotKey.registered);
    const std::string stored = Stored();
    EXPECT_NE(stored.find("area=0"), std::string::npos);
    EXPECT_NE(stored.find("saveto=0"), std::string::npos);
    EXPECT_EQ(stored.find("language"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("append"), std::string::npos) << stored;
}

TEST_F(MainWindowUnit, UnknownStoredValuesCheckNothingOrFallBack) {
    Settings("language=EN\nappend=7\nsound=0\nrecord_limit=45\njpeg_quality=9\narea=6\n");
    TFrmQuorvel window(QString(), platform);
    EXPECT_EQ(window.Language, Q("en"));
    for (QAction* a :
         {window.ChkAppend1, window.ChkAppend2, window.ChkAppend3, window.ChkSound1,
          window.ChkSound2, window.ChkSound3, window.ChkRecLimit0, window.ChkRecLimit30,
          window.ChkRecLimit60, window.ChkRecLimit120, window.ChkRecLimit240})
        EXPECT_FALSE(a->isChecked()) << a->objectName().toStdString();
    EXPECT_EQ(window.Controls()->ChkJPEG_qual->currentIndex(), -1);
    // The stored language stays as written until the user picks one; area 6 is stored as 0.
    EXPECT_NE(Stored().find("language=EN"), std::string::npos);
    EXPECT_NE(Stored().find("area=0"), std::string::npos);
}

TEST_F(MainWindowUnit, LanguageSwitchChangesEveryTextAtOnceAndIsStored) {
    Settings("language=en\n");
    TFrmQuorvel window(QString(), platform);
    ASSERT_NE(window.TrayIcon, nullptr);
    EXPECT_EQ(window.TrayIcon->toolTip(), Q("Quorvel 4.0.1"));
    EXPECT_EQ(window.N10->text(), Q("Quit"));
    // The recording card, the region frame and a floating picture's menu speak it too.
    EXPECT_EQ(window.Controls()->Label1->text(), Q("Recording"));
    EXPECT_EQ(window.FrmArea->windowTitle(), Q("Region - Quorvel"));
    {
        TFrmFloating floating(platform, {});
        EXPECT_EQ(floating.BtnDeleteAll->text(), Q("Close All Pictures"));
    }
    window.ChkLangJa->trigger();
    EXPECT_TRUE(window.ChkLangJa->isChecked());
    EXPECT_FALSE(window.ChkLangEn->isChecked());
    EXPECT_EQ(window.N10->text(), Q("終了"));
    EXPECT_EQ(window.N1->text(), Q("ショートカットキー設定"));
    EXPECT_EQ(window.Controls()->ChkArea->itemText(0), TranslateText(Q("전체화면 캡쳐"), Q("ja")));
    EXPECT_EQ(window.Controls()->ChkSaveTo->itemText(7), TranslateText(Q("클립보드"), Q("ja")));
    EXPECT_EQ(window.Controls()->BtnOpenDir->text(), Q("開いたフォルダ"));
    EXPECT_EQ(window.Controls()->Label1->text(), Q("録画中"));
    {
        TFrmFloating floating(platform, {});
        EXPECT_EQ(floating.BtnSave->text(), Q("画像を保存"));
    }
    // Window captions stay English outside Korean; the tooltip now has four version parts.
    EXPECT_EQ(window.windowTitle(), Q("Quorvel"));
    EXPECT_EQ(window.FrmHotKey->windowTitle(), Q("Hotkey setting"));
    EXPECT_EQ(window.TrayIcon->toolTip(), Q("Quorvel 4.0.1.0"));
    EXPECT_NE(Stored().find("language=ja"), std::string::npos);
    window.ChkLangKo->trigger();
    EXPECT_EQ(window.FrmHotKey->windowTitle(), Q("단축키 설정"));
    EXPECT_EQ(window.N10->text(), Q("종료하기"));
}

TEST_F(MainWindowUnit, SaveToWidthFollowsTheListBesideIt) {
    Settings("");
    TFrmQuorvel window(QString(), platform);
    Ui::TFrmQuorvel& c = *window.Controls();
    window.show();
    c.ChkSaveTo->setCurrentIndex(1);
    emit c.ChkSaveTo->activated(1);
    EXPECT_TRUE(c.ChkJPEG_qual->isVisible());
    EXPECT_FALSE(c.ChkWebp_qual->isVisible());
    EXPECT_LT(c.ChkSaveTo->geometry().right(), c.ChkJPEG_qual->x());
    const int narrowed = c.ChkSaveTo->width();
    c.ChkSaveTo->setCurrentIndex(3);
    emit c.ChkSaveTo->activated(3);
    // Alone, the list fills the row again.
    EXPECT_GT(c.ChkSaveTo->width(), narrowed);
    EXPECT_EQ(c.ChkSaveTo->geometry().right(), c.BtnOpenDir->geometry().right());
    EXPECT_FALSE(c.ChkJPEG_qual->isVisible());
    EXPECT_NE(Stored().find("saveto=3"), std::string::npos);
    // The quality lists keep their own positions.
    c.ChkWebp_qual->setCurrentIndex(4);
    emit c.ChkWebp_qual->activated(4);
    EXPECT_NE(Stored().find("webp_quality=4"), std::string::npos);
    EXPECT_EQ(Stored().find("jpeg_quality"), std::string::npos);
}

TEST_F(MainWindowUnit, GroupItemsKeepOneCheckAndStoreTheirValue) {
    Settings("");
    TFrmQuorvel window(QString(), platform);
    window.ChkAppend2->trigger();
    EXPECT_TRUE(window.ChkAppend2->isChecked());
    EXPECT_FALSE(window.ChkAppend1->isChecked());
    EXPECT_NE(Stored().find("append=2"), std::string::npos);
    window.ChkRecLimit120->trigger();
    EXPECT_NE(Stored().find("record_limit=120"), std::string::npos);
    EXPECT_FALSE(window.ChkRecLimit0->isChecked());
    window.ChkSound1->trigger();
    EXPECT_NE(Stored().find("sound=1"), std::string::npos);
    window.ChkAudio->trigger();
    EXPECT_NE(Stored().find("audio=1"), std::string::npos);
}

TEST_F(MainWindowUnit, HotKeyDialogValues) {
    Settings("hotkey=24641\n");
    TFrmQuorvel window(QString(), platform);
    TFrmHotKey& dialog = *window.FrmHotKey;
    Ui::TFrmHotKey& c = *dialog.Controls();
    // Ctrl+Shift+A: "A" chosen, Ctrl and Shift checked, registered with Ctrl | Shift.
    EXPECT_EQ(c.ChkHotKey->currentText(), Q("A"));
    EXPECT_TRUE(c.ChkCtrl->isChecked());
    EXPECT_TRUE(c.ChkShift->isChecked());
    EXPECT_FALSE(c.ChkAlt->isChecked());
    EXPECT_EQ(platform.HotKey.vk, 0x41);
    EXPECT_EQ(platform.HotKey.modifiers, 2u | 4u);
    // DEL with Alt is stored as 0x802E.
    c.ChkHotKey->setCurrentIndex(c.ChkHotKey->findText(Q("DEL")));
    c.ChkCtrl->setChecked(false);
    c.ChkShift->setChecked(false);
    c.ChkAlt->setChecked(true);
    EXPECT_EQ(dialog.GetShortCut(), 0x802E);
    c.BtnYes->click();
    EXPECT_NE(Stored().find("hotkey=32814"), std::string::npos);
    EXPECT_EQ(platform.HotKey.vk, 0x2E);
    EXPECT_EQ(platform.HotKey.modifiers, 1u);
    // A press of the hotkey reaches the capture controller.
    ASSERT_TRUE(platform.PressHotKey);
    Settings("hotkey=32814\npath=" + home.Path().string() + "\nsound=1\n");
    window.SavePath = QString::fromStdString(home.Path().string());
    platform.PressHotKey();
    EXPECT_TRUE(std::filesystem::exists(home.Path() / "Q-001.png"));
    // Cancel puts the stored key back.
    c.ChkHotKey->setCurrentIndex(0);
    c.BtnNo->click();
    EXPECT_EQ(c.ChkHotKey->currentText(), Q("DEL"));
    EXPECT_EQ(platform.HotKey.vk, 0x2E);
}

} // namespace quorvel::test

namespace quorvel::test {

TEST_F(MainWindowUnit, RegionFrameCloseButtonAndHideKeepTheirMeanings) {
    Settings("area=1\n");
    TFrmQuorvel window(QString(), platform);
    TFrmArea& frame = *window.FrmArea;
    EXPECT_TRUE(frame.isVisible());
    // The hole of a 480 x 360 frame centred on the 640 x 480 desktop in memory.
    const TRect hole = frame.GetRect();
    EXPECT_EQ(hole.Width(), 480);
    EXPECT_EQ(hole.Height(), 360);
    // "Hide" keeps the region area; captures still use the hidden frame's rectangle.
    frame.PopClose->trigger();
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(window.Controls()->ChkArea->currentIndex(), 1);
    EXPECT_NE(Stored().find("area=1"), std::string::npos);
    // The close button: full screen, stored at once, the frame hidden.
    frame.show();
    auto* close = frame.findChild<QLabel*>(QStringLiteral("BtnClose"));
    ASSERT_NE(close, nullptr);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(4, 4), close->mapToGlobal(QPointF(4, 4)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(close, &press);
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(window.Controls()->ChkArea->currentIndex(), 0);
    EXPECT_NE(Stored().find("area=0"), std::string::npos);
}

TEST_F(MainWindowUnit, RegionFrameSizesAndPresetNames) {
    Settings("area=1\nwidth_2=640\nheight_2=480\n");
    TFrmQuorvel window(QString(), platform);
    TFrmArea& frame = *window.FrmArea;
    EXPECT_EQ(frame.PopSize_2->text(), QStringLiteral("640x480"));
    frame.SetSize(100, 1, 2);
    EXPECT_EQ(frame.GetRect().Width(), 100);
    EXPECT_EQ(frame.GetRect().Height(), 2); // never smaller than 2 x 2
    EXPECT_EQ(frame.PopSize_2->text(), QStringLiteral("100x2"));
    // The size label shows the dialog's fields, which hold at least 64.
    EXPECT_EQ(frame.findChild<QLabel*>(QStringLiteral("LblSize"))->text(),
              QStringLiteral("100x64"));
    EXPECT_NE(Stored().find("height=2"), std::string::npos);
    frame.SetMove(30, 40);
    EXPECT_EQ(frame.GetRect().Left, 36);
    EXPECT_EQ(frame.GetRect().Top, 40 + 25 + 6);
}

} // namespace quorvel::test

namespace quorvel::test {

TEST_F(MainWindowUnit, ColourListKeepsNewestFirstAndItsPopupActsOnTheSelection) {
    Settings("area=6\n");
    TFrmQuorvel window(QString(), platform);
    TColourPicker& picker = *window.ColourPicker;
    EXPECT_TRUE(picker.Sampling());
    picker.TmrColorTimer();
    EXPECT_EQ(window.Controls()->LblColor->text(), QStringLiteral("336699"));
    // (Captures put codes here and on the clipboard; the desktop tests cover that.)
    QListWidget& list = *window.Controls()->LstColor;
    list.insertItem(0, QStringLiteral("FF0000"));
    list.insertItem(0, QStringLiteral("336699"));
    // Nothing selected: delete does nothing.
    list.clearSelection();
    picker.N7Click();
    EXPECT_EQ(list.count(), 2);
    list.setCurrentRow(1);
    picker.N7Click();
    EXPECT_EQ(list.count(), 1);
    // Another area stops the sampling.
    window.Controls()->ChkArea->setCurrentIndex(0);
    emit window.Controls()->ChkArea->activated(0);
    EXPECT_FALSE(picker.Sampling());
}

} // namespace quorvel::test

namespace quorvel::test {

namespace {

// A left-button mouse event at a point of the widget, delivered at once.
void SendLeftButton(QWidget& widget, QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, at, widget.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &e);
}

} // namespace

TEST_F(MainWindowUnit, DragCancelledByEscapeStaysCancelledWhateverFollows) {
    TFrmDrag drag(nullptr, platform);
    QImage bitmap(4, 4, QImage::Format_RGB32);
    TRect rect{1, 2, 3, 4};
    drag.Capture(bitmap, rect);
    // Everything arrives in one go, as queued events do: a drag, Escape, then the release.
    QMetaObject::invokeMethod(
        &drag,
        [&drag] {
            const auto mouse = [&drag](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
                SendLeftButton(drag, type, at, buttons);
            };
            mouse(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
            mouse(QEvent::MouseMove, {60, 40}, Qt::LeftButton);
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&drag, &escape);
            mouse(QEvent::MouseButtonRelease, {60, 40}, Qt::NoButton);
        },
        Qt::QueuedConnection);
    EXPECT_FALSE(drag.Run());
    EXPECT_TRUE(bitmap.isNull());
    EXPECT_EQ(rect, (TRect{1, 2, 3, 4}));
}

TEST_F(MainWindowUnit, DragSelectionGivesTheFrozenPixels) {
    TFrmDrag drag(nullptr, platform);
    QImage bitmap;
    TRect rect{};
    drag.Capture(bitmap, rect);
    QMetaObject::invokeMethod(
        &drag,
        [&drag] {
            const auto mouse = [&drag](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
                SendLeftButton(drag, type, at, buttons);
            };
            // A click selects nothing; the drag that follows does.
            mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
            mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
            mouse(QEvent::MouseButtonPress, {110, 60}, Qt::LeftButton);
            mouse(QEvent::MouseMove, {50, 30}, Qt::LeftButton);
            mouse(QEvent::MouseButtonRelease, {10, 10}, Qt::NoButton);
        },
        Qt::QueuedConnection);
    ASSERT_TRUE(drag.Run());
    EXPECT_EQ(bitmap.size(), QSize(100, 50));
    EXPECT_EQ(bitmap.pixel(0, 0), 0xFF336699u);
    EXPECT_EQ(rect, (TRect{10, 10, 110, 60}));
}

TEST_F(MainWindowUnit, ADesktopThatAllowsNothingGetsNoRegionFrameRingOrSamplingAndNoKey) {
    // A Wayland desktop: no placing, no keeping on top, no pointer, no windows, no key. The
    // message naming the command to bind was shown before.
    platform.Allowed = {};
    Settings("key_command_shown=1\n");
    TFrmQuorvel window(QString(), platform);
    Ui::TFrmQuorvel& c = *window.Controls();
    EXPECT_FALSE(platform.HotKey.registered);
    c.ChkArea->setCurrentIndex(1);
    emit c.ChkArea->activated(1);
    ASSERT_NE(window.FrmArea, nullptr);
    EXPECT_FALSE(window.FrmArea->isVisible());
    // Said at once, without a box that holds the menu up.
    const auto* notice = window.findChild<QMessageBox*>(QStringLiteral("AreaUnavailable"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().contains(QStringLiteral("region frame is not available")));
    delete notice;
    // Every area this desktop cannot serve is marked in the list and, when picked, says so
    // in a note that leaves the main window usable.
    const QString mark = QString::fromLatin1(kUnavailableMark);
    EXPECT_TRUE(c.ChkArea->itemText(1).endsWith(mark));
    EXPECT_TRUE(c.ChkArea->itemText(3).endsWith(mark));
    EXPECT_TRUE(c.ChkArea->itemText(4).endsWith(mark));
    EXPECT_FALSE(c.ChkArea->itemText(2).endsWith(mark));
    c.ChkArea->setCurrentIndex(4);
    emit c.ChkArea->activated(4);
    EXPECT_EQ(window.findChild<TFrmLine*>(), nullptr);
    const QMessageBox* note = window.findChild<QMessageBox*>();
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->text().contains(QStringLiteral("not available on this desktop")));
    EXPECT_FALSE(note->isModal() && note->windowModality() == Qt::ApplicationModal);
    c.ChkArea->setCurrentIndex(6);
    emit c.ChkArea->activated(6);
    EXPECT_EQ(c.PnlMain->currentIndex(), 1);
    EXPECT_FALSE(window.ColourPicker->Sampling());

    // Where everything is allowed, the same choices show the frame and sample colours.
    platform.Allowed = TFakePlatform::Everything();
    delete note;
    c.ChkArea->setCurrentIndex(1);
    emit c.ChkArea->activated(1);
    EXPECT_TRUE(window.FrmArea->isVisible());
    EXPECT_EQ(window.findChild<QMessageBox*>(QStringLiteral("AreaUnavailable")), nullptr);
    c.ChkArea->setCurrentIndex(6);
    emit c.ChkArea->activated(6);
    EXPECT_TRUE(window.ColourPicker->Sampling());
}

TEST_F(MainWindowUnit, ADesktopThatFindsThePointerOnlyAtACaptureOffersTheWindowWhole) {
    // sway: it names windows and lets the pointer be found at a capture, not followed.
    platform.Allowed = {};
    platform.Allowed.ListWindows = true;
    platform.Allowed.FindPointer = true;
    Settings("key_command_shown=1\n");
    TFrmQuorvel window(QString(), platform);
    Ui::TFrmQuorvel& c = *window.Controls();
    EXPECT_FALSE(c.ChkArea->itemText(4).endsWith(QString::fromLatin1(kUnavailableMark)));
    EXPECT_TRUE(c.ChkArea->itemData(4, Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("captured whole")));
    c.ChkArea->setCurrentIndex(4);
    emit c.ChkArea->activated(4);
    EXPECT_EQ(window.findChild<TFrmLine*>(), nullptr); // no ring to follow the pointer
    const auto* note = window.findChild<QMessageBox*>(QStringLiteral("AreaLimited"));
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());
}

} // namespace quorvel::test
