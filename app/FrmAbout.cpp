#include "app/FrmAbout.h"

#include "support/ProgramFolder.h"
#include "support/Translate.h"
#include "support/Version.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvel {

namespace {

QLabel* Value(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString Translated(const char* korean) {
    return TranslateText(QString::fromUtf8(korean));
}

} // namespace

// The installed README: beside the installed program first (a tree installed under another
// prefix, or moved), then where this build installs it. A build folder's program finds none,
// and the window then shows no documentation row rather than a path into a source tree.
QString TFrmAbout::DocumentationFolder() {
    const QString relative = QDir(QString::fromStdString(ProgramFolder()))
                                 .filePath(QStringLiteral(QUORVEL_DOC_RELATIVE));
    for (const QString& folder : {relative, QStringLiteral(QUORVEL_DOC_DIR)})
        if (QFileInfo::exists(folder + QStringLiteral("/README.md")))
            return QDir::cleanPath(folder);
    return {};
}

TFrmAbout::TFrmAbout(QWidget* owner, const QString& settingsFile, const QString& saveFolder)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("TFrmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Translated("Quorvel 정보"));

    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("<b>Quorvel</b>"), this);
    name->setObjectName(QStringLiteral("LblName"));
    layout->addWidget(name);

    auto* form = new QFormLayout();
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    LblVersion = Value(this, "LblVersion", VersionText(4));
    LblLicence = Value(this, "LblLicence", Translated("모든 권리 보유."));
    LblSettings = Value(this, "LblSettings", QDir::toNativeSeparators(settingsFile));
    LblSaveFolder = Value(this, "LblSaveFolder", QDir::toNativeSeparators(saveFolder));
    const QString docs = DocumentationFolder();
    form->addRow(Translated("버전"), LblVersion);
    form->addRow(Translated("라이선스"), LblLicence);
    form->addRow(Translated("설정 파일"), LblSettings);
    form->addRow(Translated("저장 폴더"), LblSaveFolder);
    // The README holds the program's and the upload and update server's documentation.
    if (!docs.isEmpty()) {
        LblDocumentation = Value(this, "LblDocumentation",
                                 QDir::toNativeSeparators(docs + QStringLiteral("/README.md")));
        form->addRow(Translated("설명서"), LblDocumentation);
    }
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(Translated("닫기"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("BtnClose"));
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace quorvel
