#include "support/Config.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

namespace quorvel {

QString TConfig::FileOf(const QString& Path) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + Path + QStringLiteral(".conf");
}

TConfig::TConfig(const QString& Path)
    : FReg(std::make_unique<QSettings>(FileOf(Path), QSettings::IniFormat)) {}

TConfig::~TConfig() = default;

QString TConfig::FileName() const {
    return FReg->fileName();
}

namespace {

// The stored text of a value; a hand-edited value with commas reads back as a list,
// which is joined again the way it was written.
bool StoredText(const QSettings& settings, const QString& name, QString& text) {
    if (!settings.contains(name))
        return false;
    const QVariant value = settings.value(name);
    if (value.typeId() == QMetaType::QStringList)
        text = value.toStringList().join(QStringLiteral(", "));
    else if (value.canConvert<QString>())
        text = value.toString();
    else
        return false;
    return true;
}

bool StoredInteger(const QSettings& settings, const QString& name, int& number) {
    QString text;
    if (!StoredText(settings, name, text))
        return false;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (ok)
        number = value;
    return ok;
}

} // namespace

int TConfig::ReadInteger(const QString& Name, int Default) const {
    int value = Default;
    return StoredInteger(*FReg, Name, value) ? value : Default;
}

bool TConfig::ReadBoolean(const QString& Name, bool Default) const {
    int value = 0;
    return StoredInteger(*FReg, Name, value) ? value != 0 : Default;
}

QString TConfig::ReadString(const QString& Name, const QString& Default) const {
    QString text;
    return StoredText(*FReg, Name, text) ? text : Default;
}

int TConfig::WriteInteger(const QString& Name, int Value) noexcept {
    try {
        FReg->setValue(Name, Value);
        FReg->sync();
    } catch (...) {
    }
    return Value;
}

bool TConfig::WriteBoolean(const QString& Name, bool Value) noexcept {
    WriteInteger(Name, Value ? 1 : 0);
    return Value;
}

QString TConfig::WriteString(const QString& Name, const QString& Value) noexcept {
    try {
        FReg->setValue(Name, Value);
        FReg->sync();
    } catch (...) {
    }
    return Value;
}

int TConfig::Read(const TIntegerSetting& Setting) const {
    return ReadInteger(QString::fromLatin1(Setting.Name), Setting.Default);
}

bool TConfig::Read(const TBooleanSetting& Setting) const {
    return ReadBoolean(QString::fromLatin1(Setting.Name), Setting.Default);
}

QString DefaultSavePath() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return desktop.isEmpty() ? QDir::homePath() : desktop;
}

} // namespace quorvel
