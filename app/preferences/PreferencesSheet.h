// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The preferences sheet: which attribute checks don't count as failing, and
// whether the gathers may wake a rotating drive that sleeps, and how often
// the agent reminds of a drive that stays in trouble.
// Each switch writes the shared "ignoreAttributes" at once; closing the
// sheet is what makes the drives be read again (the browser rescans).
#include <QDialog>
#include <QMap>

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace corvane {
class SharedDefaults;
}

namespace corvane::app {

class PreferencesSheet : public QDialog
{
    Q_OBJECT
public:
    PreferencesSheet(SharedDefaults &defaults, QWidget *parent = nullptr);

    // "ppResetToDefaults:": stores the default ignore dictionary and forgets
    // the reminder period (back to its default).
    void resetToDefaults();
    // Keys "a5" … "a196" to their switches.
    const QMap<QString, QCheckBox *> &switches() const { return _switches; }
    // "wakeSleepingDrives": item data is the hours, 0 for never.
    QComboBox *wakeChoice() const { return _wake; }
    // Hours between the agent's reminders ("alertReminderHours"); 0 reads "Never".
    QSpinBox *reminder() const { return _reminder; }

private:
    void load();
    void store();

    SharedDefaults &_defaults;
    QMap<QString, QCheckBox *> _switches;
    QComboBox *_wake = nullptr;
    QSpinBox *_reminder = nullptr;
};

} // namespace corvane::app
