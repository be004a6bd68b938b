// The main window's option menu and the handlers of its lists and items.

#include "app/FileNaming.h"
#include "app/FrmQuorvel.h"

#include "capture/ColourPicker.h"
#include "capture/FrmArea.h"
#include "capture/FrmLine.h"
#include "capture/FrmSize.h"
#include "record/FfmpegPath.h"
#include "sinks/WebpWriter.h"
#include "support/ApplicationTitle.h"
#include "support/AutoStart.h"
#include "support/FitTexts.h"
#include "support/FrmHotKey.h"
#include "support/HomeLinks.h"
#include "support/MessageBox.h"
#include "support/Settings.h"
#include "support/Translate.h"
#include "support/TranslateComponent.h"
#include "support/Version.h"
#include "ui_FrmQuorvel.h"

#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QUrl>
#include <cstdio>

namespace quorvel {

namespace {

const char* const kLanguageCodes[] = {"ko", "en", "ja", "ru", "it", "fr", "zh"};

QAction* Item(QMenu* menu, const char* name, const QString& caption, bool checkable) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(checkable);
    return action;
}

QMenu* SubMenu(QMenu* menu, const char* name, const QString& caption, QAction*& holder) {
    QMenu* sub = menu->addMenu(caption);
    holder = sub->menuAction();
    holder->setObjectName(QString::fromLatin1(name));
    sub->setObjectName(QString::fromLatin1(name) + QStringLiteral("Menu"));
    return sub;
}

} // namespace

void TFrmQuorvel::CreateMenu() {
    const auto u = [](const char* s) { return QString::fromUtf8(s); };
    Menu = new QMenu(this);
    Menu->setObjectName(QStringLiteral("Menu"));
    N12 = Item(Menu, "N12", u("저장폴더 열기"), false);
    N4 = Item(Menu, "N4", u("저장폴더 설정"), false);
    N1 = Item(Menu, "N1", u("단축키 설정"), false);

    QMenu* languages = SubMenu(Menu, "N11", u("언어 설정"), N11);
    ChkLangKo = Item(languages, "ChkLangKo", u("한국어"), true);
    ChkLangEn = Item(languages, "ChkLangEn", u("English"), true);
    ChkLangJa = Item(languages, "ChkLangJa", u("日本語"), true);
    ChkLangRu = Item(languages, "ChkLangRu", u("русский"), true);
    ChkLangIt = Item(languages, "ChkLangIt", u("Italiano"), true);
    ChkLangFr = Item(languages, "ChkLangFr", u("Français"), true);
    ChkLangZh = Item(languages, "ChkLangZh", u("中文"), true);

    QMenu* names = SubMenu(Menu, "N2", u("파일명 설정"), N2);
    ChkAppend1 = Item(names, "ChkAppend1", u("순차적 #1"), true);
    ChkAppend3 = Item(names, "ChkAppend3", u("순차적 #2"), true);
    ChkAppend2 = Item(names, "ChkAppend2", u("날짜시간"), true);

    QMenu* recording = SubMenu(Menu, "N6", u("녹화 설정"), N6);
    QMenu* limit = SubMenu(recording, "N13", u("최대 녹화시간"), N13);
    ChkRecLimit0 = Item(limit, "ChkRecLimit0", u("무제한"), true);
    limit->addSeparator()->setObjectName(QStringLiteral("N15"));
    ChkRecLimit30 = Item(limit, "ChkRecLimit30", u("30분"), true);
    ChkRecLimit60 = Item(limit, "ChkRecLimit60", u("1시간"), true);
    ChkRecLimit120 = Item(limit, "ChkRecLimit120", u("2시간"), true);
    ChkRecLimit240 = Item(limit, "ChkRecLimit240", u("4시간"), true);
    ChkAudio = Item(recording, "ChkAudio", u("사운드 포함"), true);
    ChkLog = Item(recording, "ChkLog", u("로그 기록"), true);

    QMenu* sound = SubMenu(Menu, "N3", u("캡쳐소리 설정"), N3);
    ChkSound1 = Item(sound, "ChkSound1", u("없음"), true);
    ChkSound2 = Item(sound, "ChkSound2", u("캡쳐 전 소리"), true);
    ChkSound3 = Item(sound, "ChkSound3", u("캡쳐 후 소리"), true);

    ChkMouse = Item(Menu, "ChkMouse", u("마우스 커서 포함"), true);
    ChkRegStart = Item(Menu, "ChkRegStart", u("부팅시 실행"), true);
    Menu->addSeparator()->setObjectName(QStringLiteral("N8"));
    N9 = Item(Menu, "N9", u("제작: Marbask"), false);
    N10 = Item(Menu, "N10", u("종료하기"), false);

    // Menu handlers run on `triggered`, which a check mark set from the settings never
    // fires, so loading the settings stores nothing.
    for (QAction* a : {ChkLangKo, ChkLangEn, ChkLangJa, ChkLangRu, ChkLangIt, ChkLangFr, ChkLangZh})
        connect(a, &QAction::triggered, this, [this, a] { ChkLang(a); });
    for (QAction* a : {ChkAppend1, ChkAppend2, ChkAppend3, ChkSound1, ChkSound2, ChkSound3,
                       ChkRecLimit0, ChkRecLimit30, ChkRecLimit60, ChkRecLimit120, ChkRecLimit240})
        connect(a, &QAction::triggered, this, [this, a] { GroupClick(a); });
    connect(ChkAudio, &QAction::triggered, this,
            [](bool on) { SaveConfig(Settings::Audio.Name, on); });
    connect(ChkLog, &QAction::triggered, this,
            [](bool on) { SaveConfig(Settings::FfmpegLog.Name, on); });
    connect(ChkMouse, &QAction::triggered, this,
            [](bool on) { SaveConfig(Settings::Mouse.Name, on); });
    connect(N9, &QAction::triggered, this, [this] { AboutAction(); });
    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(N4, &QAction::triggered, this, [this] { N4Click(); });
    connect(ChkRegStart, &QAction::triggered, this, [this] { ChkRegStartClick(); });
    connect(N10, &QAction::triggered, this, [this] { N10Click(); });
    connect(N12, &QAction::triggered, this, [this] { ui->BtnOpenDir->click(); });
    connect(ui->BtnOpenDir, &QPushButton::clicked, this, [this] { OpenSaveFolder(); });
    connect(ui->ChkJPEG_qual, &QComboBox::activated, this,
            [](int index) { SaveConfig(Settings::JpegQuality.Name, index); });
    connect(ui->ChkWebp_qual, &QComboBox::activated, this,
            [](int index) { SaveConfig(Settings::WebpQuality.Name, index); });
    connect(ui->ChkOCR_lang, &QComboBox::activated, this,
            [](int index) { SaveConfig(Settings::OcrLanguage.Name, index); });
}

void TFrmQuorvel::GroupClick(QAction* item) {
    const QString name = item->objectName();
    QList<QAction*> group;
    const char* setting = nullptr;
    int value = 0;
    if (name.startsWith(QLatin1String("ChkAppend"))) {
        group = {ChkAppend1, ChkAppend2, ChkAppend3};
        setting = Settings::Append.Name;
        value = name.right(1).toInt();
    } else if (name.startsWith(QLatin1String("ChkSound"))) {
        group = {ChkSound1, ChkSound2, ChkSound3};
        setting = Settings::Sound.Name;
        value = name.right(1).toInt();
    } else {
        group = {ChkRecLimit0, ChkRecLimit30, ChkRecLimit60, ChkRecLimit120, ChkRecLimit240};
        setting = Settings::RecordLimit.Name;
        value = name.mid(11).toInt();
    }
    for (QAction* a : group)
        a->setChecked(a == item);
    SaveConfig(QString::fromLatin1(setting), value);
}

void TFrmQuorvel::ChkLang(QAction* item) {
    Language = item->objectName().mid(7).toLower();
    const QList<QAction*> items = {ChkLangKo, ChkLangEn, ChkLangJa, ChkLangRu,
                                   ChkLangIt, ChkLangFr, ChkLangZh};
    for (int i = 0; i < items.size(); ++i)
        items[i]->setChecked(Language == QLatin1String(kLanguageCodes[i]));
    TranslateComponent(this, Language);
    TranslateComponent(FrmArea);
    TranslateComponent(FrmHotKey);
    TranslateComponent(FrmSize);
    TranslateAreaList();
    TranslateComponent(ui->ChkSaveTo);
    // Each window grows (or shrinks back) to the texts of the new language.
    FitTexts(this);
    FitTexts(FrmHotKey);
    FitTexts(FrmSize);
    SetApplicationTitle(TranslateText(windowTitle()));
    if (TrayIcon != nullptr)
        TrayIcon->setToolTip(TranslateText(windowTitle()) + QLatin1Char(' ') + VersionText(4));
    setWindowTitle(TranslateText(windowTitle()));
    SaveConfig(QString::fromLatin1(Settings::Language.Name), Language);
}

// Quit asks once: during a recording whether to stop it and quit, else whether to quit.
void TFrmQuorvel::N10Click() {
    const QString question = IsRecording() ? QStringLiteral("녹화를 중지하고 종료하시겠습니까?")
                                           : QStringLiteral("정말 종료하시겠습니까?");
    if (AskYesNo(TranslateText(ApplicationTitle()), TranslateText(question)))
        ExitRequest();
}

void TFrmQuorvel::N1Click() {
    if (FrmHotKey == nullptr)
        return;
    if (FrmHotKey->isVisible()) {
        ForceForeground(FrmHotKey);
        return;
    }
    FrmHotKey->exec();
}

void TFrmQuorvel::N4Click() {
    QString path = SavePath;
    if (SelectFolder(path)) {
        SavePath = path;
        SaveConfig(QString::fromLatin1(Settings::SavePath.Name), SavePath);
    }
}

// The save folder in the desktop's file manager, through xdg-open (Qt's own way of
// opening it where there is no xdg-open). When nothing opens it, a message says where
// the folder is.
void TFrmQuorvel::OpenSaveFolder() {
    const QString folder = SavePath;
    const auto cannotOpen = [this, folder] {
        ShowMessage(TranslatedCaption(),
                    TranslateText(QStringLiteral("저장 폴더를 열 수 없습니다.")) +
                        QStringLiteral("\r\r") + QDir::toNativeSeparators(folder),
                    TMessageIcon::Information);
    };
    auto* opener = new QProcess(this);
    connect(opener, &QProcess::finished, this,
            [opener, cannotOpen](int code, QProcess::ExitStatus status) {
                opener->deleteLater();
                if (code != 0 || status != QProcess::NormalExit)
                    cannotOpen();
            });
    connect(opener, &QProcess::errorOccurred, this,
            [opener, folder, cannotOpen](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                opener->deleteLater();
                if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
                    cannotOpen();
            });
    opener->start(QStringLiteral("xdg-open"), {folder});
}

bool TFrmQuorvel::SelectFolder(QString& Path) {
    // The dialog starts in the stored folder, or in the nearest folder above it that exists.
    const QString start = QString::fromStdString(NearestExistingFolder(Path.toStdString()));
    QFileDialog dialog(nullptr, TranslateText(QStringLiteral("폴더 선택")), start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, TranslateText(QStringLiteral("선택")));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    Path = dialog.selectedFiles().constFirst();
    return true;
}

void TFrmQuorvel::ChkRegStartClick() {
    // The item has already turned its check mark over when this runs.
    if (!SetAutoStart("Quorvel", ChkRegStart->isChecked())) {
        ShowMessage(TranslatedCaption(),
                    TranslateText(QStringLiteral(
                        "잘못된 백신 또는 악성 프로그램이 부팅시 실행을 차단하였습니다.")),
                    TMessageIcon::Error);
        ChkRegStart->setChecked(false);
    }
}

void TFrmQuorvel::TranslateAreaList() {
    QComboBox* list = ui->ChkArea;
    const QString mark = QString::fromLatin1(kUnavailableMark);
    // The mark comes off first: the translation table knows the bare texts only.
    for (int i = 0; i < list->count(); ++i)
        if (list->itemText(i).endsWith(mark))
            list->setItemText(i, list->itemText(i).chopped(mark.size()));
    TranslateComponent(list);
    const TCapabilities can = FPlatform.Capabilities();
    for (int i = 0; i < list->count(); ++i) {
        const QString why = AreaUnavailable(i, can);
        const QString note = why.isEmpty() ? AreaLimited(i, can) : why;
        list->setItemData(i, note.isEmpty() ? QVariant() : QVariant(note), Qt::ToolTipRole);
        if (!why.isEmpty())
            list->setItemText(i, list->itemText(i) + mark);
    }
}

void TFrmQuorvel::ChkAreaChange() {
    ui->ChkArea->setEnabled(false);
    ui->PnlMain->setCurrentIndex(0);
    const int area = ui->ChkArea->currentIndex();
    if (FrmArea != nullptr && FrmArea->isVisible())
        FrmArea->close();
    if (FrmLine != nullptr) {
        FrmLine->close();
        FrmLine->deleteLater();
        FrmLine = nullptr;
    }
    CloseWebPageWindow();
    // The region frame, the control ring and the colour sampling need a desktop that lets
    // a program place its windows above the others (or show its surfaces in a layer above
    // them, for the frame) and follow the pointer; elsewhere they stay away, and a capture
    // with them says why.
    const TCapabilities can = FPlatform.Capabilities();
    if (area == 1 && FrmArea != nullptr &&
        ((can.PlaceWindows && can.KeepOnTop) || can.LayerSurfaces))
        FrmArea->show();
    if (area == 4 && can.ListWindows && can.KnowPointer) {
        FrmLine = new TFrmLine(this, FPlatform);
        FrmLine->show();
    }
    if (area == 5)
        OpenWebPageWindow();
    if (area == 6)
        ui->PnlMain->setCurrentIndex(1);
    ColourPicker->SetSampling(ui->PnlMain->currentIndex() == 1 && can.KnowPointer);
    SaveConfig(QString::fromLatin1(Settings::Area.Name), area >= 0 && area <= 3 ? area : 0);
    ui->ChkArea->setEnabled(true);
}

void TFrmQuorvel::SayWhyAreaUnavailable() {
    const int area = ui->ChkArea->currentIndex();
    const TCapabilities can = FPlatform.Capabilities();
    const QString why = AreaUnavailable(area, can);
    const QString text = why.isEmpty() ? AreaLimited(area, can) : why;
    if (text.isEmpty())
        return;
    std::fprintf(stderr, "quorvel: %s\n", text.toUtf8().constData());
    auto* box =
        new QMessageBox(QMessageBox::Information, TranslatedCaption(), text, QMessageBox::Ok, this);
    box->setObjectName(why.isEmpty() ? QStringLiteral("AreaLimited")
                                     : QStringLiteral("AreaUnavailable"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    MarkAsMessage(*box);
    box->show();
}

void TFrmQuorvel::ChkSaveToChange() {
    Ui::TFrmQuorvel& c = *ui;
    // The missing file, and the Debian package that brings it.
    const auto messageA = [this](const char* file, const char* package) {
        ShowMessage(TranslatedCaption(),
                    TranslateText(QStringLiteral("\"%s\" 파일이 없습니다."))
                            .replace(QLatin1String("%s"), QLatin1String(file)) +
                        QStringLiteral("\r\r") +
                        TranslateText(QStringLiteral("데비안 패키지 \"%s\"에 들어 있습니다."))
                            .replace(QLatin1String("%s"), QLatin1String(package)),
                    TMessageIcon::Information);
    };
    // A page about the missing file only under an address the user set.
    const auto errorPage = [this](const char* message) {
        const std::string address = MissingFileAddress(HomeUrl.toStdString(), message);
        if (!address.empty())
            QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
    };
    c.ChkJPEG_qual->setVisible(false);
    c.ChkWebp_qual->setVisible(false);
    c.ChkOCR_lang->setVisible(false);
    int width = 145;
    switch (c.ChkSaveTo->currentIndex()) {
    case 1:
        width = 82;
        c.ChkJPEG_qual->setVisible(true);
        break;
    case 4:
        if (WebPAvailable(WebPLibraryPath())) {
            width = 82;
            c.ChkWebp_qual->setVisible(true);
        } else {
            messageA(WebPLibraryName, "libwebp7");
            errorPage("webpnotfound");
            c.ChkSaveTo->setCurrentIndex(0);
        }
        break;
    case 5:
        if (FindFfmpeg().empty()) {
            c.ChkSaveTo->setCurrentIndex(0);
            messageA(FfmpegName, "ffmpeg");
            errorPage("ffmpegnotfound");
        }
        break;
    case 6:
        if (c.ChkOCR_lang->count() > 0) {
            width = 72;
            c.ChkOCR_lang->setVisible(true);
        } else {
            c.ChkSaveTo->setCurrentIndex(0);
            ShowMessage(TranslatedCaption(),
                        QStringLiteral("OCR 을 지원하지 않는 윈도우 환경입니다."),
                        TMessageIcon::Information);
        }
        break;
    default:
        break;
    }
    // The list narrows to make room for its companion list, then both grow to their entries.
    SetDesignWidth(c.ChkSaveTo, width);
    FitTexts(this);
    SaveConfig(QString::fromLatin1(Settings::SaveTo.Name), c.ChkSaveTo->currentIndex());
}

} // namespace quorvel
