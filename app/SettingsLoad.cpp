// Reading every option at start-up, and writing one option the moment it changes.

#include "app/FrmQuorvel.h"

#include "ocr/LanguageTags.h"
#include "ocr/RtOcr.h"
#include "support/ApplicationTitle.h"
#include "support/AutoStart.h"
#include "support/Config.h"
#include "support/CurlGlobal.h"
#include "support/FitTexts.h"
#include "support/Settings.h"
#include "support/Translate.h"
#include "support/TranslateComponent.h"
#include "support/Update.h"
#include "ui_FrmQuorvel.h"

#include <QApplication>

namespace quorvel {

namespace {

const char* const kLanguageCodes[] = {"ko", "en", "ja", "ru", "it", "fr", "zh"};

int LanguagePosition(const QString& code) {
    for (int i = 0; i < 7; ++i)
        if (code == QLatin1String(kLanguageCodes[i]))
            return i;
    return -1;
}

// Checks the item of the group whose value was read; an unknown value checks none.
void CheckGroup(const QList<QPair<QAction*, int>>& group, int value) {
    for (const auto& [item, itemValue] : group)
        item->setChecked(itemValue == value);
}

// Selects a list position; one outside the list leaves the list without selection.
void Select(QComboBox* list, int position) {
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

} // namespace

void TFrmQuorvel::LoadConfig() {
    TConfig config(QString::fromLatin1(Settings::ProgramStore));
    try {
        Languages = RtOcr->AvailableLanguages();
        for (const rtocr::TLanguage& language : Languages)
            ui->ChkOCR_lang->addItem(language.DisplayName);
    } catch (...) {
        // Without trained data the list stays empty and TXT is refused when chosen.
    }
    Language = config.ReadString(QString::fromLatin1(Settings::Language.Name),
                                 GetUserLocaleName().left(2));
    if (LanguagePosition(Language) < 0)
        Language = QStringLiteral("en");

    // Until the user picks a recognition language, it is the interface's (else English).
    int ocrLanguage = config.ReadInteger(QString::fromLatin1(Settings::OcrLanguage.Name), -1);
    if (ocrLanguage < 0) {
        std::vector<std::string> tags;
        for (const rtocr::TLanguage& language : Languages)
            tags.push_back(language.LanguageTag.toStdString());
        ocrLanguage = std::max(0, DefaultRecognitionLanguage(tags, Language.toStdString()));
    }
    if (ocrLanguage < ui->ChkOCR_lang->count())
        ui->ChkOCR_lang->setCurrentIndex(ocrLanguage);
    SavePath = config.ReadString(QString::fromLatin1(Settings::SavePath.Name), DefaultSavePath());
    HomeUrl = config.ReadString(QString::fromLatin1(Settings::HomeUrl.Name), QString()).trimmed();
    ChkAudio->setChecked(config.Read(Settings::Audio));
    ChkMouse->setChecked(config.Read(Settings::Mouse));
    ChkRegStart->setChecked(IsAutoStart("Quorvel"));
    ChkLog->setChecked(config.Read(Settings::FfmpegLog));
    UploadHost = config.ReadString(QString::fromLatin1(Settings::UploadHost.Name), QString());
    UploadKey =
        config.ReadString(QString::fromLatin1(Settings::UploadKey.Name), QString()).trimmed();
    SetTrustedCaFile(config.ReadString(QString::fromLatin1(Settings::UploadCaFile.Name), QString())
                         .trimmed()
                         .toStdString());
    UpdateURL = config.ReadString(QString::fromLatin1(Settings::UpdateUrl.Name), QString());

    Select(ui->ChkArea, 0);
    Select(ui->ChkArea, config.Read(Settings::Area));
    Select(ui->ChkSaveTo, config.Read(Settings::SaveTo));
    Select(ui->ChkJPEG_qual, config.Read(Settings::JpegQuality));
    Select(ui->ChkWebp_qual, config.Read(Settings::WebpQuality));

    CheckGroup({{ChkAppend1, 1}, {ChkAppend2, 2}, {ChkAppend3, 3}}, config.Read(Settings::Append));
    CheckGroup({{ChkSound1, 1}, {ChkSound2, 2}, {ChkSound3, 3}}, config.Read(Settings::Sound));
    const QList<QAction*> languages = {ChkLangKo, ChkLangEn, ChkLangJa, ChkLangRu,
                                       ChkLangIt, ChkLangFr, ChkLangZh};
    for (int i = 0; i < languages.size(); ++i)
        languages[i]->setChecked(i == LanguagePosition(Language));
    CheckGroup({{ChkRecLimit0, 0},
                {ChkRecLimit30, 30},
                {ChkRecLimit60, 60},
                {ChkRecLimit120, 120},
                {ChkRecLimit240, 240}},
               config.Read(Settings::RecordLimit));

    TranslateComponent(this, Language);
    TranslateAreaList();
    TranslateComponent(ui->ChkSaveTo);
    FitTexts(this);
    setWindowTitle(TranslateText(windowTitle()));
    SetApplicationTitle(windowTitle());

    // The update check asks only the address the user set; without one nothing is sent.
    if (!UpdateURL.trimmed().isEmpty())
        CheckUpdate(
            UpdateURL.trimmed(),
            [this](bool Accepted, const QString&) {
                if (Accepted)
                    ExitRequest();
            },
            0);
}

void TFrmQuorvel::SaveConfig(const QString& Name, int Value) {
    TConfig(QString::fromLatin1(Settings::ProgramStore)).WriteInteger(Name, Value);
}

void TFrmQuorvel::SaveConfig(const QString& Name, bool Value) {
    TConfig(QString::fromLatin1(Settings::ProgramStore)).WriteBoolean(Name, Value);
}

void TFrmQuorvel::SaveConfig(const QString& Name, const QString& Value) {
    TConfig(QString::fromLatin1(Settings::ProgramStore)).WriteString(Name, Value);
}

} // namespace quorvel
