#include "support/FrmHotKey.h"

#include "app/ListItemDrawer.h"
#include "support/Config.h"
#include "support/FitTexts.h"
#include "support/HotKeyNames.h"
#include "support/MessageBox.h"
#include "support/Settings.h"
#include "support/Translate.h"
#include "support/TranslateComponent.h"
#include "ui_FrmHotKey.h"

#include <QTimer>

namespace quorvel {

TFrmHotKey::TFrmHotKey(QWidget* owner, TPlatform& platform, std::function<void()> onHotKey)
    : QDialog(owner), ui(std::make_unique<Ui::TFrmHotKey>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    UseListItemDrawer(ui->ChkHotKey);
    for (const std::string& entry : HotKeyListEntries())
        ui->ChkHotKey->addItem(QString::fromStdString(entry));
    connect(ui->BtnYes, &QPushButton::clicked, this, [this] { BtnYesClick(); });
    connect(ui->BtnNo, &QPushButton::clicked, this, [this] { BtnNoClick(); });
    FHotKey = platform.CreateHotKey(std::move(onHotKey));
    FGlobalKey = platform.Capabilities().GlobalKey;
}

TFrmHotKey::~TFrmHotKey() {
    if (FHotKey)
        FHotKey->Unregister();
}

QString TFrmHotKey::Caption() const {
    return TranslateText(windowTitle());
}

void TFrmHotKey::ShowKeyCommand() {
    ShowMessage(
        Caption(),
        TranslateText(QStringLiteral(
            "이 데스크톱에서는 프로그램이 전역 단축키를 사용할 수 없습니다.\\n\\n데스크톱의 "
            "키보드 설정에서 아래 명령을 단축키에 지정해주세요.")) +
            QStringLiteral("\r\r") + QString::fromUtf8(kCaptureCommand),
        TMessageIcon::Information);
}

void TFrmHotKey::FormCreate() {
    TranslateComponent(this);
    FitTexts(this);
    const std::uint16_t stored = LoadHotKey();
    if (!FGlobalKey) {
        // Nothing the user picks here can change that: no dialog, and the message once.
        // It waits until the program is up and listens for commands, so that the command
        // it names can be tried while it is still on screen.
        TConfig config(QString::fromLatin1(Settings::ProgramStore));
        if (!config.Read(Settings::KeyCommandShown)) {
            config.WriteBoolean(QString::fromLatin1(Settings::KeyCommandShown.Name), true);
            QTimer::singleShot(0, this, [this] { ShowKeyCommand(); });
        }
        return;
    }
    if (EntryOfKey(static_cast<std::uint8_t>(stored & 0xFF)).empty()) {
        // A stored value that is no key this program can take: not another program's fault.
        ShowMessage(Caption(),
                    TranslateText(QStringLiteral(
                        "이 단축키는 사용할 수 없습니다.\\n\\n단축키를 변경해주세요.")),
                    TMessageIcon::Error, false);
        exec();
        return;
    }
    if (!RegisterCaptureHotKey(stored)) {
        ShowMessage(Caption(),
                    TranslateText(QStringLiteral(
                        "알수없는 프로그램이 단축키를 사용중입니다.\\n\\n단축키를 변경해주세요.")),
                    TMessageIcon::Error, false);
        exec();
    }
}

std::uint16_t TFrmHotKey::LoadHotKey() {
    const auto value = static_cast<std::uint16_t>(
        TConfig(QString::fromLatin1(Settings::ProgramStore)).Read(Settings::HotKey));
    FLoadedKey = static_cast<std::uint8_t>(value & 0xFF);
    ui->ChkHotKey->setCurrentIndex(ui->ChkHotKey->findText(
        QString::fromStdString(EntryOfKey(FLoadedKey)), Qt::MatchFixedString));
    if (ui->ChkHotKey->findText(QString::fromStdString(EntryOfKey(FLoadedKey)),
                                Qt::MatchFixedString) < 0 ||
        EntryOfKey(FLoadedKey).empty())
        ui->ChkHotKey->setCurrentIndex(-1);
    ui->ChkAlt->setChecked(value & kShortCutAlt);
    ui->ChkCtrl->setChecked(value & kShortCutCtrl);
    ui->ChkShift->setChecked(value & kShortCutShift);
    return value;
}

std::uint16_t TFrmHotKey::GetShortCut() const {
    // With no entry chosen (a stored key that the list does not hold) the stored key stays.
    std::uint16_t value = FLoadedKey;
    if (ui->ChkHotKey->currentIndex() >= 0)
        value = KeyOfEntry(ui->ChkHotKey->currentText().toStdString()).value_or(0);
    if (ui->ChkAlt->isChecked())
        value |= kShortCutAlt;
    if (ui->ChkCtrl->isChecked())
        value |= kShortCutCtrl;
    if (ui->ChkShift->isChecked())
        value |= kShortCutShift;
    return value;
}

void TFrmHotKey::SaveHotKey() {
    TConfig(QString::fromLatin1(Settings::ProgramStore))
        .WriteInteger(QString::fromLatin1(Settings::HotKey.Name), GetShortCut());
}

bool TFrmHotKey::RegisterCaptureHotKey(std::uint16_t ShortCut) {
    if (!FHotKey)
        return false;
    FHotKey->Unregister();
    return FHotKey->Register(static_cast<std::uint8_t>(ShortCut & 0xFF), ModifiersOf(ShortCut));
}

void TFrmHotKey::BtnYesClick() {
    if (!FGlobalKey) {
        ShowKeyCommand();
        return;
    }
    if (RegisterCaptureHotKey(GetShortCut())) {
        SaveHotKey();
        close();
        return;
    }
    ShowMessage(Caption(),
                TranslateText(QStringLiteral("단축키가 다른 프로그램에서 사용중입니다.")),
                TMessageIcon::Information);
}

void TFrmHotKey::BtnNoClick() {
    if (!RegisterCaptureHotKey(LoadHotKey()))
        ShowMessage(
            Caption(),
            TranslateText(QStringLiteral("단축키가 설정되지 못해 캡쳐기능이 작동하지 않습니다.")),
            TMessageIcon::Error);
    close();
}

} // namespace quorvel
