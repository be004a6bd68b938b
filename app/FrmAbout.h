#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace quorvel {

// The program's own about window, shown by the credit link when no home page is set: the
// name, the version, the licence, where the settings and the captures are kept, and
// where the documentation is. Escape and its button close it.
class TFrmAbout : public QDialog {
    Q_OBJECT
public:
    TFrmAbout(QWidget* owner, const QString& settingsFile, const QString& saveFolder);

    // The folder holding the README: the installed documentation folder, else the
    // source tree the program was built from; empty when neither has it.
    static QString DocumentationFolder();

    QLabel* LblVersion = nullptr;
    QLabel* LblLicence = nullptr;
    QLabel* LblSettings = nullptr;
    QLabel* LblSaveFolder = nullptr;
    QLabel* LblDocumentation = nullptr;
};

} // namespace quorvel
