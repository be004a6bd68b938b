#include "tools/server/UpdateReply.h"

#include "tools/server/ImageStore.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quorvel::server {

namespace {

void AddMember(std::string& out, const QJsonObject& object, const char* name) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isString())
        return;
    if (out.back() != '{')
        out += ',';
    out += std::string("\"") + name + "\":\"" + JsonString(value.toString().toStdString()) + "\"";
}

} // namespace

std::optional<std::string> BuildUpdateReply(const std::string& adminJson) {
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(adminJson), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    std::string out = "{";
    AddMember(out, root, "update");
    const QJsonValue info = root.value(QLatin1String("info"));
    if (info.isObject()) {
        if (out.back() != '{')
            out += ',';
        out += "\"info\":{";
        for (const char* name : {"style", "text", "flag", "url"})
            AddMember(out, info.toObject(), name);
        out += '}';
    }
    out += '}';
    return out;
}

} // namespace quorvel::server
