// Every text of every window shows whole, in each of the seven languages: labels, buttons,
// group titles, list entries (in the list's drop-down) and menu items. Run at the scale
// factor of the environment (CTest runs it at 1 and at 2).

#include "FakePlatform.h"
#include "TempFolder.h"
#include "app/FrmAbout.h"
#include "app/FrmQuorvel.h"
#include "capture/FrmArea.h"
#include "capture/FrmSize.h"
#include "sinks/FrmFloating.h"
#include "sinks/ProgressForm.h"
#include "sinks/WebpWriter.h"
#include "support/FitTexts.h"
#include "support/FrmHotKey.h"
#include "support/Translate.h"
#include "ui_FrmQuorvel.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTextDocument>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace quorvel::test {

namespace {

QString Plain(const QString& text) {
    if (!Qt::mightBeRichText(text))
        return text;
    QTextDocument doc;
    doc.setHtml(text);
    return doc.toPlainText();
}

// The texts a widget tree cuts: "name: text (needs N, has M)".
QStringList CutTexts(QWidget* root) {
    QStringList cut;
    const auto report = [&](const QWidget* w, const QString& text, int need, int room) {
        if (need > room)
            cut << QStringLiteral("%1 %2: \"%3\" needs %4, has %5")
                       .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                            text)
                       .arg(need)
                       .arg(room);
    };
    QList<QWidget*> all = root->findChildren<QWidget*>();
    all.prepend(root);
    for (QWidget* w : all) {
        if (w->window() != root->window())
            continue; // another window of its own, walked on its own
        if (w != root && !w->isVisibleTo(root) && qobject_cast<QComboBox*>(w) == nullptr)
            continue; // hidden where it is: it shows no text
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const QString text = Plain(label->text());
            if (label->wordWrap() || text.isEmpty() || !label->pixmap().isNull())
                continue;
            report(w, text, label->fontMetrics().horizontalAdvance(text),
                   label->contentsRect().width() - 2 * label->margin() -
                       std::max(0, label->indent()));
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            report(w, box->text(), box->sizeHint().width(), box->width());
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            report(w, radio->text(), radio->sizeHint().width(), radio->width());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            QString text = button->text();
            text.remove(QLatin1Char('&'));
            if (!text.isEmpty())
                report(w, text, button->fontMetrics().horizontalAdvance(text) + 8, button->width());
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            report(w, group->title(), group->fontMetrics().horizontalAdvance(group->title()) + 16,
                   group->width());
        } else if (auto* list = qobject_cast<QComboBox*>(w)) {
            // Open: the drop-down; closed: the list's own field, whichever entry is chosen.
            const int room = std::max(list->width(), list->view()->minimumWidth());
            const QFontMetrics fm(list->view()->font());
            const bool shown = w == root || w->isVisibleTo(root);
            for (int i = 0; i < list->count(); ++i) {
                report(w, list->itemText(i), fm.horizontalAdvance(list->itemText(i)) + 8, room);
                if (shown)
                    report(w, QStringLiteral("closed: ") + list->itemText(i),
                           list->fontMetrics().horizontalAdvance(list->itemText(i)),
                           ListTextRoom(list));
            }
        } else if (auto* menu = qobject_cast<QMenu*>(w)) {
            for (QAction* item : menu->actions())
                if (!item->isSeparator())
                    report(w, item->text(), menu->fontMetrics().horizontalAdvance(item->text()),
                           menu->sizeHint().width());
        }
    }
    return cut;
}

class TextFit : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
        std::filesystem::create_directories(home.Path() / "Marbask");
        std::ofstream(home.Path() / "Marbask" / "Quorvel.conf")
            << "[General]\nlanguage=" << GetParam() << "\n";
        language = CurrentLanguage();
    }
    void TearDown() override { SetCurrentLanguage(language); }

    TTempFolder home;
    TFakePlatform platform;
    QString language;
};

} // namespace

TEST_P(TextFit, EveryWindowShowsItsWholeTexts) {
    TFrmQuorvel window(QString(), platform);
    ASSERT_EQ(CurrentLanguage(), QString::fromLatin1(GetParam()));
    TFrmAbout about(&window, QStringLiteral("/home/user/.config/Marbask/Quorvel.conf"),
                    QStringLiteral("/home/user/Desktop"));
    TFrmFloating floating(platform, {});
    TProgressForm progress(TranslateText(QStringLiteral("업로드 중입니다.")));
    for (QWidget* w :
         std::initializer_list<QWidget*>{&window, window.Menu, window.FrmSize, window.FrmHotKey,
                                         window.FrmArea, &about, floating.Popup, &progress}) {
        ASSERT_NE(w, nullptr);
        w->ensurePolished();
        if (w->layout() != nullptr)
            w->layout()->activate();
        const QStringList cut = CutTexts(w);
        EXPECT_TRUE(cut.isEmpty()) << w->objectName().toStdString() << ":\n"
                                   << cut.join(QLatin1Char('\n')).toStdString();
    }
    // Each destination with a list beside it (JPEG and WebP quality, the text recognition
    // language): the row holds both lists whole, side by side, within the window.
    Ui::TFrmQuorvel& c = *window.Controls();
    for (const auto& [destination, companion] :
         {std::pair{1, c.ChkJPEG_qual}, std::pair{4, c.ChkWebp_qual}, std::pair{6, c.ChkOCR_lang},
          std::pair{0, static_cast<QComboBox*>(nullptr)}}) {
        if ((destination == 6 && c.ChkOCR_lang->count() == 0) ||
            (destination == 4 && !WebPAvailable(WebPLibraryPath())))
            continue; // refused with a message: no trained data, no WebP library
        c.ChkSaveTo->setCurrentIndex(destination);
        emit c.ChkSaveTo->activated(destination);
        ASSERT_EQ(c.ChkSaveTo->currentIndex(), destination);
        const QStringList cut = CutTexts(c.PnlMain->widget(0));
        EXPECT_TRUE(cut.isEmpty()) << "destination " << destination << ":\n"
                                   << cut.join(QLatin1Char('\n')).toStdString();
        if (companion != nullptr) {
            EXPECT_TRUE(companion->isVisibleTo(&window));
            EXPECT_LT(c.ChkSaveTo->geometry().right(), companion->x());
            EXPECT_LE(companion->geometry().right(), c.PnlMain->width() - 1);
        }
        EXPECT_LE(c.PnlMain->geometry().right(), window.width() - 1);
    }
    // Every card of the main window: saving, the colour picker, recording.
    QStackedWidget* cards = window.Controls()->PnlMain;
    for (int card = 0; card < cards->count(); ++card) {
        cards->setCurrentIndex(card);
        const QStringList cut = CutTexts(cards);
        EXPECT_TRUE(cut.isEmpty()) << "card " << card << ":\n"
                                   << cut.join(QLatin1Char('\n')).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, TextFit,
                         testing::Values("ko", "en", "ja", "ru", "zh", "it", "fr"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

} // namespace quorvel::test
