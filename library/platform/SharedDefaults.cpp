// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SharedDefaults.h"

#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLoggingCategory>
#include <QSettings>
#include <QStringDecoder>

#include <cerrno>

Q_LOGGING_CATEGORY(lcDefaults, "corvane.defaults")

namespace corvane {

QVariantMap defaultIgnoreAttributes()
{
    return {{QStringLiteral("a5"), false},   {QStringLiteral("a10"), true},
            {QStringLiteral("a184"), false}, {QStringLiteral("a187"), false},
            {QStringLiteral("a188"), true},  {QStringLiteral("a190"), true},
            {QStringLiteral("a194"), true},  {QStringLiteral("a196"), true}};
}

int alertReminderHours(const QVariant &setting)
{
    bool ok = false;
    const int hours = setting.toString().toInt(&ok);
    return ok && hours >= 0 ? hours : kDefaultAlertReminderHours;
}

QVariantMap defaultSharedRegistrations()
{
    return {{QLatin1String(kIgnoreAttributesKey), defaultIgnoreAttributes()},
            {QLatin1String(kFullScreenMenuItemKey), false},
            {QLatin1String(kDictationMenuItemKey), true},
            {QLatin1String(kCharacterPaletteMenuItemKey), true}};
}

// INI keeps no types: booleans come back as "true"/"false".
static QVariant fromIni(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        if (s == QLatin1String("true"))
            return true;
        if (s == QLatin1String("false"))
            return false;
    }
    return v;
}

SharedDefaults::SharedDefaults(const QString &fileName, QObject *parent)
    : QObject(parent), _fileName(fileName)
{
    QDir().mkpath(QFileInfo(_fileName).absolutePath());
    open();
    setAsideIfCorrupt();
    _snapshot = storedSnapshot();

    _watcher = new QFileSystemWatcher(this);
    // The folder is watched too: QSettings replaces the file atomically, and
    // the watch on the old inode ends with that replace.
    _watcher->addPath(QFileInfo(_fileName).absolutePath());
    watchFile();
    connect(_watcher, &QFileSystemWatcher::fileChanged, this, &SharedDefaults::fileTouched);
    connect(_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        const bool exists = QFileInfo::exists(_fileName);
        if (exists == _watcher->files().contains(_fileName))
            return; // some other file of the folder
        fileTouched();
    });
}

SharedDefaults::~SharedDefaults() = default;

SharedDefaults &SharedDefaults::shared()
{
    static QPointer<SharedDefaults> instance;
    if (!instance)
        instance = new SharedDefaults(sharedDefaultsFile(), QCoreApplication::instance());
    return *instance;
}

void SharedDefaults::open()
{
    _settings = std::make_unique<QSettings>(_fileName, QSettings::IniFormat);
}

void SharedDefaults::watchFile()
{
    if (QFileInfo::exists(_fileName) && !_watcher->files().contains(_fileName))
        _watcher->addPath(_fileName);
}

void SharedDefaults::fileTouched()
{
    watchFile();
    reload();
}

bool SharedDefaults::setAsideIfCorrupt()
{
    // A file we can't read (EACCES, EIO) may hold good settings: it is left
    // alone, and nothing is written over it while it stays unreadable.
    QFile file(_fileName);
    errno = 0;
    const bool opened = file.open(QIODevice::ReadOnly);
    if (!opened && errno == ENOENT) {
        _readable = true;
        return false;
    }
    QByteArray bytes;
    if (opened)
        bytes = file.readAll();
    const bool readable = opened && file.error() == QFileDevice::NoError;
    if (!readable) {
        if (_readable)
            qCWarning(lcDefaults).noquote() << "Cannot read settings file" << _fileName + ":" << file.errorString()
                                            << "; using the defaults, leaving the file as it is; changes last only while this program runs";
        _readable = false;
        return false;
    }
    _readable = true;
    QString reason;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError() || bytes.contains('\0'))
        reason = QStringLiteral("not UTF-8 text");
    else if (_settings->status() == QSettings::FormatError)
        reason = QStringLiteral("not in INI format");
    if (reason.isEmpty())
        return false;
    file.close();

    const QString backup = _fileName + QStringLiteral(".corrupt-")
                           + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"));
    if (QFile::rename(_fileName, backup))
        qCWarning(lcDefaults).noquote() << "Settings file" << _fileName << "is unusable (" + reason
                                               + "); kept as" << backup << "and using the defaults";
    else
        qCWarning(lcDefaults).noquote() << "Settings file" << _fileName << "is unusable (" + reason
                                               + ") and cannot be moved aside; using the defaults";
    open();
    return true;
}

QVariant SharedDefaults::storedValue(const QString &key) const
{
    if (!_readable)
        return _unsaved.value(key);
    if (_settings->contains(key))
        return fromIni(_settings->value(key));
    if (!_settings->childGroups().contains(key))
        return {};
    QVariantMap map;
    _settings->beginGroup(key);
    const QStringList keys = _settings->childKeys();
    for (const QString &k : keys)
        map.insert(k, fromIni(_settings->value(k)));
    _settings->endGroup();
    return map;
}

// Values as they compare after a round trip through the file.
static QVariant normalized(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantMap) {
        QVariantMap map = v.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = normalized(it.value());
        return map;
    }
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return v;
}

QVariantMap SharedDefaults::storedSnapshot() const
{
    QVariantMap all;
    const QStringList keys = _readable ? _settings->childKeys() + _settings->childGroups() : _unsaved.keys();
    for (const QString &k : keys)
        all.insert(k, normalized(storedValue(k)));
    return all;
}

void SharedDefaults::registerDefaults(const QVariantMap &values)
{
    for (auto it = values.begin(); it != values.end(); ++it)
        _registered.insert(it.key(), it.value());
}

QVariant SharedDefaults::value(const QString &key) const
{
    const QVariant stored = storedValue(key);
    return stored.isValid() ? stored : _registered.value(key);
}

bool SharedDefaults::boolValue(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QString)
        return v.toString() == QLatin1String("true") || v.toString() == QLatin1String("1");
    return v.toBool();
}

std::optional<QVariantMap> SharedDefaults::dictionaryValue(const QString &key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return v.toMap();
}

void SharedDefaults::setValue(const QString &key, const QVariant &value)
{
    if (!_readable) {
        _unsaved.insert(key, value);
        commit();
        return;
    }
    _settings->remove(key);
    if (value.typeId() == QMetaType::QVariantMap && value.toMap().isEmpty()) {
        // An empty group leaves no trace in INI; a typed empty value does, so
        // an empty dictionary reads back empty instead of as the default.
        _settings->setValue(key, QVariantMap());
    } else if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        _settings->beginGroup(key);
        for (auto it = map.begin(); it != map.end(); ++it)
            _settings->setValue(it.key(), it.value());
        _settings->endGroup();
    } else {
        _settings->setValue(key, value);
    }
    commit();
}

void SharedDefaults::remove(const QString &key)
{
    if (!_readable) {
        _unsaved.remove(key);
        commit();
        return;
    }
    _settings->remove(key);
    commit();
}

void SharedDefaults::commit()
{
    // An unreadable file is never written; that was reported when found.
    if (_readable) {
        _settings->sync();
        const bool failed = _settings->status() == QSettings::AccessError;
        if (failed && !_writeFailureLogged)
            qCWarning(lcDefaults).noquote() << "Cannot save settings to" << _fileName
                                            << "; changes last only while this program runs";
        _writeFailureLogged = failed;
    }
    watchFile();
    const QVariantMap before = _snapshot;
    _snapshot = storedSnapshot();
    emitChanges(before);
}

void SharedDefaults::reload()
{
    _settings->sync();
    setAsideIfCorrupt();
    const QVariantMap before = _snapshot;
    _snapshot = storedSnapshot();
    emitChanges(before);
}

void SharedDefaults::emitChanges(const QVariantMap &before)
{
    QStringList keys = before.keys() + _snapshot.keys();
    keys.removeDuplicates();
    for (const QString &k : std::as_const(keys))
        if (before.value(k) != _snapshot.value(k))
            Q_EMIT valueChanged(k);
}

} // namespace corvane
