#include "framework/configuration.h"
#include "framework/controllerdefaults.h"
#include "framework/configuration_p.h"

#include "framework/jsonsettings.h"
#include "framework/serialnumber.h"
#include "framework/settings.h"

#include <QDebug>
#include <QHash>
#include <QJsonDocument>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QSettings>
#include <QStringList>
#include <QVarLengthArray>

#include <algorithm>

namespace {

const QString Tag = QStringLiteral("[Config] ");

constexpr int FirstOrder = 1;
constexpr int LastOrder = 16;

// Filled from static initialisers in any order of translation units: built on first use.
struct Registry
{
    QMutex mutex;
    QMap<int, const QMap<QString, QVariant> *> maps;
    bool sealed = false;
    QSet<QString> live;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

bool isSecret(const QString &key)
{
    return key.contains(QLatin1String("password"), Qt::CaseInsensitive) || key == QLatin1String("tarvik/apiKey");
}

const QString SecretMask = QStringLiteral("********");

// What the settings table and the published settings show: a secret that is set, masked.
QString shown(const QString &key, const QString &text)
{
    return isSecret(key) && !text.isEmpty() ? SecretMask : text;
}

} // namespace

namespace ConfigurationText {

int findOpener(const QString &text, QLatin1String opener, int from)
{
    const ushort *data = reinterpret_cast<const ushort *>(text.constData());
    const char *wanted = opener.data();
    const int length = opener.size();
    for (int at = findDollar(text.constData(), from, text.size()); at >= 0 && at + length <= text.size();
         at = findDollar(text.constData(), at + 1, text.size())) {
        int matched = 1;
        while (matched < length && data[at + matched] == ushort(uchar(wanted[matched])))
            ++matched;
        if (matched == length)
            return at;
    }
    return -1;
}

Placeholder findPlaceholder(const QString &text, QLatin1String opener, int from)
{
    Placeholder found;
    while (true) {
        const int start = findOpener(text, opener, from);
        if (start < 0)
            return found;
        const int nameStart = start + opener.size();
        int i = nameStart;
        while (i < text.size() && text.at(i) != QLatin1Char('}') && text.at(i) != QLatin1Char('\n'))
            ++i;
        if (i == text.size())
            return found; // no closing brace anywhere after this opener, nor after a later one
        if (text.at(i) == QLatin1Char('}')) {
            found.start = start;
            found.end = i + 1;
            found.name = QStringView(text.constData() + nameStart, i - nameStart);
            return found;
        }
        // A line feed ends every name that starts before it.
        from = i + 1;
    }
}

} // namespace ConfigurationText

using ConfigurationText::findPlaceholder;
using ConfigurationText::Placeholder;

QMap<QString, QVariant> Configuration::staticValues = {
    {QStringLiteral("serialNumber"), QString::fromStdString(getSerialNumber())},
};

// The keys being expanded by one get(), outermost first, to cut cycles and runaway chains.
struct Configuration::Expansion
{
    QVarLengthArray<const QString *, ConfigurationText::MaxDepth> chain; // each alive up the stack
    bool warned = false;
    const QMap<QString, QVariant> *pending = nullptr; // read in place of the file's values
};

// The maps are fixed once main() runs, and every configuration (one per tap on the
// validation thread) shares this one union instead of merging sixteen maps each time.
// The hash answers get(); the map keeps the key order of save() and print(). A placeholder
// names its setting inside a value: `names` gives the key text already made, so that reading
// it costs no new string.
struct Configuration::United
{
    QMap<QString, QVariant> ordered;
    QHash<QString, QVariant> byKey;
    QHash<QStringView, QString> names; // each view into the characters its value holds
};

const Configuration::United *Configuration::united()
{
    static const United all = [] {
        Registry &r = registry();
        QMutexLocker lock(&r.mutex);
        r.sealed = true;
        United u;
        for (const QMap<QString, QVariant> *defaults : qAsConst(r.maps))
            for (auto it = defaults->cbegin(); it != defaults->cend(); ++it)
                u.ordered.insert(it.key(), it.value());
        for (auto it = u.ordered.cbegin(); it != u.ordered.cend(); ++it) {
            u.byKey.insert(it.key(), it.value());
            u.names.insert(QStringView(it.key()), it.key());
        }
        return u;
    }();
    return &all;
}

namespace {

// Where the first "${" and the first "${#" stand, in one pass over the text: most values hold
// no placeholder, and get() is on the hot path of every tap.
void firstOpeners(const QString &text, int *setting, int *runtime)
{
    const QChar *data = text.constData();
    const int size = text.size();
    for (int at = ConfigurationText::findDollar(data, 0, size); at >= 0 && at + 1 < size;
         at = ConfigurationText::findDollar(data, at + 1, size)) {
        if (data[at + 1] != QLatin1Char('{'))
            continue;
        if (*setting < 0)
            *setting = at;
        if (at + 2 < size && data[at + 2] == QLatin1Char('#')) {
            *runtime = at;
            return;
        }
    }
}

// Every occurrence of the placeholder that stands at [start, end) replaced (that one alone when
// the caller knows it is the only one): the others found first, so that the result is written
// once, at its final size.
QString replaceAll(const QString &text, int start, int end, const QString &replacement, bool searchMore = true)
{
    const QChar *data = text.constData();
    const int length = end - start;
    const QStringView placeholder(data + start, length);
    QVarLengthArray<int, 4> found;
    found.append(start);
    for (int at = searchMore ? ConfigurationText::findDollar(data, end, text.size()) : -1;
         at >= 0 && at + length <= text.size(); at = ConfigurationText::findDollar(data, at + 1, text.size())) {
        if (QStringView(data + at, length) == placeholder) {
            found.append(at);
            at += length - 1;
        }
    }
    QString result(text.size() + found.size() * (replacement.size() - length), Qt::Uninitialized);
    QChar *out = result.data();
    int copied = 0;
    for (const int at : qAsConst(found)) {
        out = std::copy(data + copied, data + at, out);
        out = std::copy(replacement.constData(), replacement.constData() + replacement.size(), out);
        copied = at + length;
    }
    std::copy(data + copied, data + text.size(), out);
    return result;
}

// The variant's text, not copied when it holds a string; an int or bool setting in its text
// form ("1883", "true"), a missing one as empty text.
const QString &textOf(const QVariant &value, QString &converted)
{
    if (value.userType() == QMetaType::QString)
        return *static_cast<const QString *>(value.constData());
    converted = value.toString();
    return converted;
}

} // namespace

bool Configuration::registerDefaults(int order, const QMap<QString, QVariant> *map)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    if (r.sealed) {
        qWarning().noquote().nospace() << Tag << "WARN: Defaults " << order << " registered after first use: ignored";
        return false;
    }
    if (!map || order < FirstOrder || order > LastOrder || r.maps.contains(order)) {
        qWarning().noquote().nospace() << Tag << "WARN: Defaults " << order << " refused: "
                                       << (map ? "order taken or out of range" : "no map");
        return false;
    }
    r.maps.insert(order, map);
    return true;
}

namespace {
// Registered here, not by the controller, so that a build without the controller (a validator
// and its tests) still knows the defaults of the "zub/" keys it reads.
[[maybe_unused]] const bool ControllerDefaultsRegistered = Configuration::registerDefaults(1, &controllerDefaults());
}

QMap<QString, QVariant> Configuration::defaults()
{
    return united()->ordered;
}

Configuration::Configuration(QObject *parent)
    : QObject(parent)
    , mSettings(manager::Settings::instance()->create())
    , mDefaults(united())
{
    const manager::Settings *settings = manager::Settings::instance();
    connect(settings, &manager::Settings::locationChanged, this, &Configuration::locationChanged);
    // One notice per change for the whole process, however many configurations are alive.
    static const QMetaObject::Connection notice =
        connect(settings, &manager::Settings::fileChanged, settings, &Configuration::noticeChange);
    Q_UNUSED(notice)
}

Configuration::~Configuration() = default;

QVariant Configuration::get(const QString &key) const
{
    Expansion expansion;
    return read(key, expansion);
}

QVariant Configuration::get(const QString &key, const QMap<QString, QVariant> &pending) const
{
    Expansion expansion;
    expansion.pending = &pending;
    return read(key, expansion);
}

QVariant Configuration::read(const QString &key, Expansion &expansion) const
{
    if (key.isEmpty())
        return {};
    // On a device the file holds every key: the default is looked up only when it does not.
    QVariant value = (expansion.pending && expansion.pending->contains(key)) ? expansion.pending->value(key)
                                                                               : mSettings->value(key);
    if (!value.isValid()) {
        const auto fallback = mDefaults->byKey.constFind(key);
        if (fallback == mDefaults->byKey.cend())
            return value;
        value = fallback.value();
    }
    if (value.userType() != QMetaType::QString)
        return value;
    // Known to hold a QString: skip the variant's conversion machinery, and read it in place.
    const QString *text = static_cast<const QString *>(value.constData());
    const int first = ConfigurationText::findOpener(*text, QLatin1String("${"), 0);
    if (first < 0)
        return value;
    QString converted; // the named setting's text when it is no string

    // The usual value: one setting's placeholder, no "$" within its name nor after it. Then
    // there is no run-time placeholder and no second occurrence: each character is looked at
    // once, where the general road below scans the text three times.
    const bool runtimeFirst = first + 2 < text->size() && text->at(first + 2) == QLatin1Char('#');
    const Placeholder only = runtimeFirst ? Placeholder() : findPlaceholder(*text, QLatin1String("${"), first);
    if (only.start == first && ConfigurationText::findDollar(only.name.data(), 0, int(only.name.size())) < 0
        && ConfigurationText::findDollar(text->constData(), only.end, text->size()) < 0)
        return replaceAll(*text, only.start, only.end, textOf(expand(only.name, key, expansion), converted), false);

    int from = -1;
    int runtimeFrom = -1;
    firstOpeners(*text, &from, &runtimeFrom);

    // 1. one run-time value, every occurrence of it
    QString withRuntime;
    const Placeholder runtime = runtimeFrom < 0 ? Placeholder()
                                                : findPlaceholder(*text, QLatin1String("${#"), runtimeFrom);
    if (runtime.start >= 0) {
        const auto it = staticValues.constFind(runtime.name.toString());
        if (it != staticValues.cend()) {
            withRuntime = replaceAll(*text, runtime.start, runtime.end, it.value().toString());
            text = &withRuntime;
            from = 0;
        }
    }

    // 2. one setting, every occurrence of it; its own placeholders are expanded first
    const Placeholder setting = findPlaceholder(*text, QLatin1String("${"), from);
    if (setting.start < 0 || setting.name.startsWith(QLatin1Char('#')) || setting.name.startsWith(QLatin1Char('$')))
        return *text;
    return replaceAll(*text, setting.start, setting.end, textOf(expand(setting.name, key, expansion), converted));
}

QVariant Configuration::expand(QStringView name, const QString &key, Expansion &expansion) const
{
    const bool cycle = name == key
                       || std::any_of(expansion.chain.cbegin(), expansion.chain.cend(),
                                      [name](const QString *outer) { return *outer == name; });
    const bool tooDeep = expansion.chain.size() + 1 >= ConfigurationText::MaxDepth;
    if (cycle || tooDeep) {
        // Such a value may come over the config-set topic and be saved: reading it must not
        // recurse without end at every start.
        if (!expansion.warned) {
            expansion.warned = true;
            QStringList path;
            for (const QString *outer : qAsConst(expansion.chain))
                path << *outer;
            path << key << name.toString();
            qWarning().noquote().nospace()
                << Tag << "WARN: " << (cycle ? "Settings refer back to themselves (" : "Settings nested too deep (")
                << path.join(QLatin1String(" -> ")) << "): ${" << name << "} read as empty text";
        }
        return QVariant();
    }
    // A setting with a default has its key text made already; any other is made here.
    const auto known = mDefaults->names.constFind(name);
    expansion.chain.append(&key);
    QVariant value = read(known == mDefaults->names.cend() ? name.toString() : known.value(), expansion);
    expansion.chain.removeLast();
    return value;
}

bool Configuration::set(const QString &key, const QVariant &value)
{
    mSettings->setValue(key, value);
    return manager::Settings::sync(*mSettings);
}

bool Configuration::setMultipleSettings(const QMap<QString, QVariant> &settings)
{
    for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
        // The mask comes back from whoever writes the published settings back whole.
        if (!isSecret(it.key()) || it.value().toString() != SecretMask)
            mSettings->setValue(it.key(), it.value());
    }
    return manager::Settings::sync(*mSettings);
}

bool Configuration::save() const
{
    for (auto it = mDefaults->ordered.cbegin(); it != mDefaults->ordered.cend(); ++it) {
        if (!mSettings->contains(it.key()))
            mSettings->setValue(it.key(), it.value());
    }
    return manager::Settings::sync(*mSettings);
}

QHash<QString, QByteArray> Configuration::topics(const QMap<QString, QVariant> &defaults) const
{
    QHash<QString, QByteArray> topics;
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        const QStringRef name = it.key().midRef(it.key().indexOf(QLatin1Char('/')) + 1);
        if ((name.startsWith(QLatin1String("sub_")) || name.startsWith(QLatin1String("pub_")))
            && !name.endsWith(QLatin1String("_qos")))
            topics.insert(it.key(), get(it.key()).toString().toUtf8());
    }
    return topics;
}

void Configuration::print() const
{
    const QString rule = QLatin1Char('+') + QString(71, QLatin1Char('-'));
    int width = 0;
    for (auto it = mDefaults->ordered.cbegin(); it != mDefaults->ordered.cend(); ++it)
        width = qMax(width, it.key().size());

    qInfo().noquote().nospace() << Tag << manager::Settings::instance()->name();
    qInfo().noquote().nospace() << Tag << rule;
    qInfo().noquote().nospace() << Tag << "| SETTINGS";
    qInfo().noquote().nospace() << Tag << rule;
    for (auto it = mDefaults->ordered.cbegin(); it != mDefaults->ordered.cend(); ++it) {
        // The log goes to syslog and may leave the device: no credentials in it.
        qInfo().noquote().nospace() << Tag << "| " << it.key().leftJustified(width, QLatin1Char(' ')) << " : "
                                    << shown(it.key(), get(it.key()).toString());
    }
    qInfo().noquote().nospace() << Tag << rule;
}

// Published to every client of the local broker: no credentials in it either.
QJsonDocument Configuration::toJsonDoc() const
{
    const std::unique_ptr<QSettings> file(manager::Settings::instance()->create());
    QMap<QString, QVariant> settings;
    for (const QString &key : file->allKeys()) {
        const QVariant value = file->value(key);
        // An unquoted "a, b" reads back as a list: its text is the whole value.
        settings.insert(key, isSecret(key) ? QVariant(shown(key, value.toStringList().join(QString()))) : value);
    }
    return manager::JsonSettings().settingsToJson(settings);
}

void Configuration::registerLiveKeys(const QStringList &keys)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    for (const QString &key : keys)
        r.live.insert(key);
}

bool Configuration::isLive(const QString &key)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    return r.live.contains(key);
}

void Configuration::noticeChange(const QStringList &keys)
{
    if (std::all_of(keys.cbegin(), keys.cend(), &Configuration::isLive))
        return;
    qWarning().noquote().nospace() << Tag << "Configuration file changed. Restart application to apply";
}

void Configuration::locationChanged()
{
    mSettings.reset(manager::Settings::instance()->create());
}
