// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>

class QFileSystemWatcher;
class QSettings;

namespace corvane {

// Keys of the shared defaults suite.
inline constexpr char kIgnoreAttributesKey[] = "ignoreAttributes";
inline constexpr char kShowMenuBarExtraKey[] = "showMenuBarExtra";
inline constexpr char kShouldNotifyUserKey[] = "ShouldNotifyUser";
inline constexpr char kIntroKey[] = "corvane2Intro";
// node_exporter textfile-collector folder the agent writes corvane.prom to; unset: none.
inline constexpr char kTextfileDirectoryKey[] = "textfileDirectory";
// Hours between reads of a rotating drive found asleep, which wake it; 0 or
// unset: never woken except by an explicit rescan or update.
inline constexpr char kWakeSleepingDrivesKey[] = "wakeSleepingDrives";
// Hours between the agent's reminders of a drive that stays in trouble; 0: never.
inline constexpr char kAlertReminderHoursKey[] = "alertReminderHours";
inline constexpr int kDefaultAlertReminderHours = 24;
inline constexpr char kFullScreenMenuItemKey[] = "NSFullScreenMenuItemEverywhere";
inline constexpr char kDictationMenuItemKey[] = "NSDisabledDictationMenuItem";
inline constexpr char kCharacterPaletteMenuItemKey[] = "NSDisabledCharacterPaletteMenuItem";

// The ignore dictionary every program registers: "a" + attribute number -> bool.
QVariantMap defaultIgnoreAttributes();
// The "alertReminderHours" setting; anything but a whole number >= 0 reads as the default.
int alertReminderHours(const QVariant &setting);
// "ignoreAttributes" plus the three menu switches, as the app and the watcher register them.
QVariantMap defaultSharedRegistrations();

// The user-defaults suite shared by every Corvane program: one INI file, a
// registration domain that lives only in this process, and a change signal
// for writes made by any process.
//
// Stored dictionaries are INI groups ([ignoreAttributes] a5=false ...), so
// the file stays readable and editable by hand.
//
// A file that cannot be parsed is moved aside (".corrupt-<time>") and the
// registered defaults apply; one that cannot be read (EACCES, EIO) stays
// untouched, and changes then last only while the program runs.
class SharedDefaults : public QObject
{
    Q_OBJECT
public:
    explicit SharedDefaults(const QString &fileName, QObject *parent = nullptr);
    ~SharedDefaults() override;

    // The process-wide suite on sharedDefaultsFile(), created on first use.
    // Owned by the QCoreApplication when one exists.
    static SharedDefaults &shared();

    QString fileName() const { return _fileName; }

    // Registration domain: merged into earlier registrations, never written.
    void registerDefaults(const QVariantMap &values);

    // Stored value, else the registered one, else an invalid QVariant.
    // Dictionaries come back as QVariantMap.
    QVariant value(const QString &key) const;
    bool contains(const QString &key) const { return value(key).isValid(); }
    // Absent reads as false; "true"/"false" texts (how INI stores booleans) are understood.
    bool boolValue(const QString &key) const;
    // A value that is not a dictionary reads as absent, even when a dictionary
    // is registered under the key: the stored value hides it.
    std::optional<QVariantMap> dictionaryValue(const QString &key) const;

    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    // Pick up writes of other processes now instead of at the next file
    // notification; emits valueChanged() for every key that changed.
    void reload();

Q_SIGNALS:
    // A stored value changed, by this process or another one.
    void valueChanged(const QString &key);

private:
    void open();
    bool setAsideIfCorrupt();
    void watchFile();
    void fileTouched();
    QVariantMap storedSnapshot() const;
    QVariant storedValue(const QString &key) const;
    void commit();
    void emitChanges(const QVariantMap &before);

    QString _fileName;
    std::unique_ptr<QSettings> _settings;
    QFileSystemWatcher *_watcher = nullptr;
    QVariantMap _registered;
    QVariantMap _snapshot;
    bool _writeFailureLogged = false;
    bool _readable = true;
    // Changes made while the file can't be read; never written over it.
    QVariantMap _unsaved;
};

} // namespace corvane
