#include "framework/jsonsettings.h"

#include "framework/settings.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>

namespace manager {

namespace {

const QString SizeSuffix = QStringLiteral("/size");

QString textOf(const QVariant &value)
{
    // An unquoted "a, b" in the INI file reads back as a list; keep its text whole.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool isAsciiNumber(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// For "name/i/field[/more]" with i >= 1: the index, and the parts after it in rest.
int elementIndex(const QString &name, const QString &key, QStringList &rest)
{
    if (key.size() <= name.size() || !key.startsWith(name) || key.at(name.size()) != QLatin1Char('/'))
        return 0;
    rest = key.mid(name.size() + 1).split(QLatin1Char('/'));
    if (rest.size() < 2 || !isAsciiNumber(rest.first()))
        return 0;
    bool ok = false;
    const int index = rest.takeFirst().toInt(&ok);
    return ok ? index : 0;
}

void addPlainKey(QJsonObject &root, const QString &key, const QJsonValue &value)
{
    QStringList path = key.split(QLatin1Char('/'));
    const QString member = path.takeLast();
    JsonSettings::addPath(root, path, member, value);
}

} // namespace

QJsonDocument JsonSettings::settingsToJson(const QMap<QString, QVariant> &settings)
{
    const QSet<QString> arrays = findArrays(settings);
    mElements.clear();
    QJsonObject root;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
        const QString &key = it.key();
        const QJsonValue value(textOf(it.value()));
        if (!key.contains(QLatin1Char('/'))) {
            root.insert(key, value);
            continue;
        }
        const auto array = keyPosInArrays(arrays, key);
        if (array != arrays.cend())
            addArray(root, *array, key, value);
        else
            addPlainKey(root, key, value);
    }
    mElements.clear();
    return QJsonDocument(root);
}

QJsonDocument JsonSettings::settingsToJson(QSettings &settings)
{
    QMap<QString, QVariant> map;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        map.insert(key, settings.value(key));
    return settingsToJson(map);
}

void JsonSettings::jsonToSettings(const QJsonDocument &document, QMap<QString, QVariant> &settings)
{
    jsonToSettings(document.object(), settings, QString());
}

void JsonSettings::jsonToSettings(const QJsonObject &object, QMap<QString, QVariant> &settings,
                                  const QString &prefix)
{
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QString key = prefix + it.key();
        const QJsonValue value = it.value();
        switch (value.type()) {
        case QJsonValue::Object:
            jsonToSettings(value.toObject(), settings, key + QLatin1Char('/'));
            break;
        case QJsonValue::Array: {
            const QJsonArray array = value.toArray();
            for (int i = 0; i < array.size(); ++i) {
                // Elements that are not objects carry no keys but still count in the size.
                if (array.at(i).isObject())
                    jsonToSettings(array.at(i).toObject(), settings,
                                   key + QLatin1Char('/') + QString::number(i + 1) + QLatin1Char('/'));
            }
            settings.insert(key + SizeSuffix, QString::number(array.size()));
            break;
        }
        case QJsonValue::String:
            settings.insert(key, value.toString());
            break;
        case QJsonValue::Double:
        case QJsonValue::Bool:
            // Written as text, as the settings side renders them: a peer sending a port as a
            // number must not blank it.
            settings.insert(key, value.toVariant().toString());
            break;
        case QJsonValue::Null:
            // How a settings screen clears a value.
            settings.insert(key, QString(QLatin1String("")));
            break;
        case QJsonValue::Undefined:
            break;
        }
    }
}

bool JsonSettings::jsonToSettings(const QJsonDocument &document, QSettings &settings)
{
    QMap<QString, QVariant> map;
    jsonToSettings(document, map);
    settings.clear();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        settings.setValue(it.key(), it.value());
    return Settings::sync(settings);
}

QSet<QString> JsonSettings::findArrays(const QMap<QString, QVariant> &settings)
{
    static const QRegularExpression indexedKey(QStringLiteral("^.*/\\d+/.*$"));
    static const QRegularExpression digitsOnly(QStringLiteral("^\\d+$"));
    QSet<QString> sized;
    QSet<QString> indexed;
    for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
        const QString &key = it.key();
        QStringList parts = key.split(QLatin1Char('/'));
        if (key.endsWith(SizeSuffix)) {
            parts.removeLast();
            sized.insert(parts.join(QLatin1Char('/')));
        } else if (indexedKey.match(key).hasMatch()) {
            // The innermost index decides the name.
            while (!parts.isEmpty() && !digitsOnly.match(parts.last()).hasMatch())
                parts.removeLast();
            if (!parts.isEmpty())
                parts.removeLast();
            indexed.insert(parts.join(QLatin1Char('/')));
        }
    }
    return sized.intersect(indexed);
}

QSet<QString>::const_iterator JsonSettings::keyPosInArrays(const QSet<QString> &arrays, const QString &key)
{
    // Only on a "name/" boundary, so "lists/1/x" is not taken for array "list". With arrays
    // inside elements the outermost wins: the inner keys then nest inside its element.
    auto found = arrays.cend();
    for (auto it = arrays.cbegin(); it != arrays.cend(); ++it) {
        const QString &name = *it;
        if (key.size() > name.size() && key.startsWith(name) && key.at(name.size()) == QLatin1Char('/')
            && (found == arrays.cend() || name.size() < found->size()))
            found = it;
    }
    return found;
}

void JsonSettings::addPath(QJsonObject &object, const QStringList &path, const QString &key,
                           const QJsonValue &value)
{
    if (path.isEmpty()) {
        object.insert(key, value);
        return;
    }
    QVector<QJsonObject> levels;
    levels.reserve(path.size() + 1);
    levels.append(object);
    bool allExisted = true;
    for (const QString &name : path) {
        if (!levels.last().contains(name)) {
            levels.last().insert(name, QJsonObject());
            allExisted = false;
        }
        // A member that is not an object counts as an empty one.
        const QJsonObject next = levels.last().value(name).toObject();
        levels.append(next);
    }
    if (allExisted && levels.last().contains(key))
        return;
    levels.last().insert(key, value);
    for (int i = path.size(); i > 0; --i)
        levels[i - 1].insert(path.at(i - 1), levels.at(i));
    object = levels.first();
}

void JsonSettings::addArray(QJsonObject &root, const QString &name, const QString &key, const QJsonValue &value)
{
    if (key.size() == name.size() + SizeSuffix.size() && key.endsWith(SizeSuffix) && key.startsWith(name)) {
        QJsonArray array;
        for (const QJsonObject &element : mElements.take(name))
            array.append(element);
        QStringList path = name.split(QLatin1Char('/'));
        const QString member = path.takeLast();
        addPath(root, path, member, array);
        return;
    }
    QStringList rest;
    const int index = elementIndex(name, key, rest);
    if (index < 1) {
        // Not an element of the array (index 0, not a number, no field): an ordinary key.
        addPlainKey(root, key, value);
        return;
    }
    const QString field = rest.takeLast();
    addPath(mElements[name][index], rest, field, value);
}

bool JsonSettings::readJson(QIODevice &device, QSettings::SettingsMap &map)
{
    // A parse error gives an empty document, so no keys.
    JsonSettings().jsonToSettings(QJsonDocument::fromJson(device.readAll()), map);
    return true;
}

bool JsonSettings::writeJson(QIODevice &device, const QSettings::SettingsMap &map)
{
    const QByteArray text = JsonSettings().settingsToJson(map).toJson(QJsonDocument::Indented);
    return device.write(text) == text.size();
}

} // namespace manager
