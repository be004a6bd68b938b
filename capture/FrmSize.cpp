#include "capture/FrmSize.h"

#include "capture/FrmArea.h"
#include "support/Config.h"
#include "support/FitTexts.h"
#include "support/Settings.h"
#include "support/TranslateComponent.h"
#include "ui_FrmSize.h"

namespace quorvel {

TFrmSize::TFrmSize(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::TFrmSize>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    TranslateComponent(this);
    FitTexts(this);
    LoadPresets();
    connect(ui->BtnApply, &QPushButton::clicked, this, [this] { Apply(0); });
    connect(ui->BtnApply_1, &QPushButton::clicked, this, [this] { Apply(1); });
    connect(ui->BtnApply_2, &QPushButton::clicked, this, [this] { Apply(2); });
    connect(ui->BtnApply_3, &QPushButton::clicked, this, [this] { Apply(3); });
}

TFrmSize::~TFrmSize() = default;

void TFrmSize::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    emit Hidden();
}

void TFrmSize::LoadPresets() {
    const TConfig config(QString::fromLatin1(Settings::ProgramStore));
    ui->EditWidth_1->setValue(config.Read(Settings::Width1));
    ui->EditHeight_1->setValue(config.Read(Settings::Height1));
    ui->EditWidth_2->setValue(config.Read(Settings::Width2));
    ui->EditHeight_2->setValue(config.Read(Settings::Height2));
    ui->EditWidth_3->setValue(config.Read(Settings::Width3));
    ui->EditHeight_3->setValue(config.Read(Settings::Height3));
}

void TFrmSize::SavePresets() {
    TConfig config(QString::fromLatin1(Settings::ProgramStore));
    config.WriteInteger(QString::fromLatin1(Settings::Width1.Name), ui->EditWidth_1->value());
    config.WriteInteger(QString::fromLatin1(Settings::Height1.Name), ui->EditHeight_1->value());
    config.WriteInteger(QString::fromLatin1(Settings::Width2.Name), ui->EditWidth_2->value());
    config.WriteInteger(QString::fromLatin1(Settings::Height2.Name), ui->EditHeight_2->value());
    config.WriteInteger(QString::fromLatin1(Settings::Width3.Name), ui->EditWidth_3->value());
    config.WriteInteger(QString::fromLatin1(Settings::Height3.Name), ui->EditHeight_3->value());
}

void TFrmSize::Apply(int preset) {
    // A value typed but not yet confirmed counts, held in its range.
    for (QSpinBox* field : findChildren<QSpinBox*>())
        field->interpretText();
    if (FArea != nullptr) {
        switch (preset) {
        case 0:
            FArea->SetSize(ui->EditWidth->value(), ui->EditHeight->value(), 0);
            break;
        case 1:
            FArea->SetSize(ui->EditWidth_1->value(), ui->EditHeight_1->value(), 1);
            break;
        case 2:
            FArea->SetSize(ui->EditWidth_2->value(), ui->EditHeight_2->value(), 2);
            break;
        default:
            FArea->SetSize(ui->EditWidth_3->value(), ui->EditHeight_3->value(), 3);
            break;
        }
    }
    SavePresets();
}

} // namespace quorvel
