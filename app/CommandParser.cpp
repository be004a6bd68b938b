#include "app/CommandParser.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quorvel {

TCommand ParseCommand(std::string_view json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return TCommand::None;
    const QJsonValue command = document.object().value(QStringLiteral("command"));
    if (!command.isString())
        return TCommand::None;
    if (command.toString() == QLatin1String("about"))
        return TCommand::About;
    if (command.toString() == QLatin1String("capture"))
        return TCommand::Capture;
    return TCommand::None;
}

} // namespace quorvel
