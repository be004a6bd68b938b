#include "support/TranslateComponent.h"
#include "support/Translate.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

using quorvel::CurrentLanguage;
using quorvel::TranslateComponent;

namespace {

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString TranslateTextFor(const char* text, const char* language) {
    return quorvel::TranslateText(Q(text), Q(language));
}

// A small window shaped like the program's own: a caption, a label, a button, a group box,
// a combo box with a selection, a popup menu with a sub-menu, and an owned dialog.
struct TSampleWindow {
    QWidget window;
    QLabel* label;
    QPushButton* button;
    QGroupBox* group;
    QComboBox* combo;
    QMenu* popup;
    QAction* quit;
    QAction* hotkey;
    QMenu* sub;
    QAction* openFolder;
    QDialog* dialog;

    TSampleWindow() {
        window.setWindowTitle(Q("단축키 설정"));
        label = new QLabel(Q("단축키 설정"), &window);
        button = new QPushButton(Q("폴더열기"), &window);
        group = new QGroupBox(Q("사용자 정의 #1"), &window);
        combo = new QComboBox(&window);
        combo->addItems({Q("전체화면 캡쳐"), Q("영역화면 캡쳐"), Q("드래그영역 캡쳐")});
        combo->setCurrentIndex(2);
        popup = new QMenu(&window);
        quit = popup->addAction(Q("종료하기"));
        hotkey = popup->addAction(Q("단축키 설정"));
        sub = popup->addMenu(Q("파일명 설정"));
        openFolder = sub->addAction(Q("저장폴더 열기"));
        dialog = new QDialog(&window);
        dialog->setWindowTitle(Q("영역크기 설정"));
    }
};

class TranslateComponentTest : public testing::Test {
protected:
    void SetUp() override { saved = CurrentLanguage(); }
    void TearDown() override { quorvel::SetCurrentLanguage(saved); }
    QString saved;
};

} // namespace

TEST_F(TranslateComponentTest, WindowTitlesStayEnglishOutsideKorean) {
    TSampleWindow w;
    TranslateComponent(&w.window, Q("ja"));
    EXPECT_EQ(CurrentLanguage(), Q("ja"));
    EXPECT_EQ(w.window.windowTitle(), Q("Hotkey setting"));
    EXPECT_EQ(w.dialog->windowTitle(), Q("Size setting"));
    EXPECT_EQ(w.label->text(), Q("ショートカットキー設定"));
    EXPECT_EQ(w.hotkey->text(), Q("ショートカットキー設定"));
    EXPECT_EQ(w.quit->text(), Q("終了"));
    EXPECT_EQ(w.button->text(), Q("開いたフォルダ"));

    TranslateComponent(&w.window, Q("ko"));
    EXPECT_EQ(w.window.windowTitle(), Q("단축키 설정"));
    EXPECT_EQ(w.label->text(), Q("단축키 설정"));
    EXPECT_EQ(w.dialog->windowTitle(), Q("영역크기 설정"));
}

TEST_F(TranslateComponentTest, SwitchesFromOneLanguageToAnotherWithoutTheKoreanTexts) {
    TSampleWindow w;
    TranslateComponent(&w.window, Q("en"));
    EXPECT_EQ(w.quit->text(), Q("Quit"));
    EXPECT_EQ(w.group->title(), Q("Custom #1"));
    EXPECT_EQ(w.sub->title(), Q("Filename setting"));
    EXPECT_EQ(w.openFolder->text(), Q("Open Folder"));

    TranslateComponent(&w.window, Q("fr"));
    EXPECT_EQ(w.quit->text(), Q("Quitter"));
    // "Open Folder" is shared by two blocks; the first one wins.
    EXPECT_EQ(w.openFolder->text(), Q("Ouvrir le dossier"));
    EXPECT_EQ(w.combo->itemText(0), TranslateTextFor("전체화면 캡쳐", "fr"));
}

TEST_F(TranslateComponentTest, ComboBoxKeepsItsSelectionAndSignalsNothing) {
    TSampleWindow w;
    QSignalSpy changed(w.combo, &QComboBox::currentIndexChanged);
    TranslateComponent(w.combo, Q("ru"));
    EXPECT_EQ(w.combo->currentIndex(), 2);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(w.combo->itemText(1), quorvel::TranslateText(Q("영역화면 캡쳐"), Q("ru")));
    // Only the combo box was passed: the rest of the window is untouched.
    EXPECT_EQ(w.quit->text(), Q("종료하기"));
}

TEST_F(TranslateComponentTest, NullComponentStillSetsTheLanguage) {
    TranslateComponent(nullptr, Q("it"));
    EXPECT_EQ(CurrentLanguage(), Q("it"));
    TranslateComponent(nullptr, QString());
    EXPECT_EQ(CurrentLanguage(), Q("it"));
    EXPECT_EQ(quorvel::TranslateText(Q("Quit")), Q("Esci"));
}

// Qt's own texts follow the chosen language and switch with it: the Yes and No of a
// question, the labels of the folder chooser. English brings Qt's own English back.
TEST_F(TranslateComponentTest, QtsOwnTextsFollowTheLanguage) {
    const auto texts = [] {
        QMessageBox box(QMessageBox::Question, QString(), QString(),
                        QMessageBox::Yes | QMessageBox::No);
        QFileDialog chooser;
        chooser.setOption(QFileDialog::DontUseNativeDialog);
        const auto* lookIn = chooser.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        return QStringList{box.button(QMessageBox::Yes)->text(),
                           box.button(QMessageBox::No)->text(),
                           lookIn != nullptr ? lookIn->text() : QString()};
    };
    TranslateComponent(nullptr, Q("en"));
    const QStringList english = texts();
    EXPECT_EQ(english, (QStringList{Q("&Yes"), Q("&No"), Q("Look in:")}));
    for (const char* language : {"ko", "ja", "ru", "zh", "it", "fr"}) {
        TranslateComponent(nullptr, Q(language));
        const QStringList translated = texts();
        // (Italian says "No" as English does.)
        for (int i : {0, 2})
            EXPECT_NE(translated[i], english[i]) << language << " " << english[i].toStdString();
    }
    TranslateComponent(nullptr, Q("ru"));
    EXPECT_EQ(texts()[0], Q("&Да"));
    TranslateComponent(nullptr, Q("en"));
    EXPECT_EQ(texts(), english);
}
