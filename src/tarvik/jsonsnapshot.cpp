#include "tarvik/jsonsnapshot.h"

#include "core/base64.h"

#include <QJsonDocument>

#include <exception>

namespace tarvik::json {

QString toSnapshot(const QJsonObject &object)
{
    const QByteArray document = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return QString::fromStdString(Base64::encode(document.toStdString()));
}

QJsonObject fromSnapshot(const QString &text)
{
    std::string decoded;
    try {
        decoded = Base64::decode(text.toUtf8().toStdString());
    } catch (const std::exception &) {
        // Not Base64: the empty record, like any other text that does not parse.
        return QJsonObject();
    }
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(decoded.data(), int(decoded.size())));
    return document.object();
}

} // namespace tarvik::json
