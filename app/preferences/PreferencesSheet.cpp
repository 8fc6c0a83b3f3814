// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/PreferencesSheet.h"

#include "platform/SharedDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace corvane::app {

namespace {

struct Switch
{
    const char *key;
    const char *name;
};

// The attributes whose raw value alone can make a drive "Warning".
constexpr Switch kSwitches[] = {
    {"a5", "Reallocated Sectors Count (5)"},   {"a10", "Spin Retry Count (10)"},
    {"a184", "End-to-End Error (184)"},       {"a187", "Reported Uncorrectable Errors (187)"},
    {"a188", "Command Timeout (188)"},         {"a190", "Airflow Temperature (190)"},
    {"a194", "Temperature (194)"},             {"a196", "Reallocation Event Count (196)"},
};

} // namespace

PreferencesSheet::PreferencesSheet(SharedDefaults &defaults, QWidget *parent) : QDialog(parent), _defaults(defaults)
{
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("Don't count these attributes as a problem when judging a drive's health:"), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    for (const Switch &s : kSwitches) {
        auto *box = new QCheckBox(QLatin1String(s.name), this);
        box->setAccessibleName(QStringLiteral("Ignore %1").arg(QLatin1String(s.name)));
        _switches.insert(QLatin1String(s.key), box);
        layout->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &PreferencesSheet::store);
    }

    // Reading a drive in standby spins it up; each wake-up costs wear and noise.
    _wake = new QComboBox(this);
    _wake->setAccessibleName(QStringLiteral("Sleeping drives"));
    _wake->addItem(QStringLiteral("Never wake a sleeping drive"), 0);
    _wake->addItem(QStringLiteral("Wake at most every hour"), 1);
    for (const int hours : {2, 4, 8, 24})
        _wake->addItem(QStringLiteral("Wake at most every %1 hours").arg(hours), hours);
    auto *wakeForm = new QFormLayout;
    wakeForm->addRow(QStringLiteral("Sleeping drives:"), _wake);
    layout->addSpacing(8);
    layout->addLayout(wakeForm);
    auto *wakeNote = new QLabel(QStringLiteral("A spun-down hard disk keeps its last results until then; "
                                               "Rescan Drives and Update Drive Information always read it."),
                                this);
    wakeNote->setWordWrap(true);
    layout->addWidget(wakeNote);
    connect(_wake, &QComboBox::currentIndexChanged, this, [this] {
        _defaults.setValue(QLatin1String(kWakeSleepingDrivesKey), _wake->currentData().toInt());
    });
    // An alert comes when a drive gets worse; this is only how often it is
    // repeated while nothing changes.
    _reminder = new QSpinBox(this);
    _reminder->setRange(0, 24 * 30);
    _reminder->setSpecialValueText(QStringLiteral("Never"));
    _reminder->setSuffix(QStringLiteral(" h"));
    _reminder->setAccessibleName(QStringLiteral("Hours between reminders"));
    _reminder->setToolTip(QStringLiteral("A drive that gets worse is always reported at once."));
    layout->addSpacing(8);
    auto *reminderForm = new QFormLayout;
    reminderForm->addRow(QStringLiteral("Remind me of a drive still in trouble every:"), _reminder);
    layout->addLayout(reminderForm);
    connect(_reminder, &QSpinBox::valueChanged, this,
            [this](int hours) { _defaults.setValue(QLatin1String(kAlertReminderHoursKey), hours); });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close | QDialogButtonBox::RestoreDefaults, this);
    buttons->button(QDialogButtonBox::RestoreDefaults)->setText(QStringLiteral("&Reset to Defaults"));
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            &PreferencesSheet::resetToDefaults);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(buttons);
    load();
}

void PreferencesSheet::load()
{
    const QVariantMap ignore =
        _defaults.dictionaryValue(QLatin1String(kIgnoreAttributesKey)).value_or(defaultIgnoreAttributes());
    for (auto it = _switches.cbegin(); it != _switches.cend(); ++it) {
        const QSignalBlocker block(it.value());
        it.value()->setChecked(ignore.value(it.key()).toBool());
    }
    // A value set by hand that the list lacks is shown as it is.
    const int hours = std::max(0, _defaults.value(QLatin1String(kWakeSleepingDrivesKey)).toInt());
    const QSignalBlocker blockWake(_wake);
    int index = _wake->findData(hours);
    if (index < 0) {
        _wake->addItem(QStringLiteral("Wake at most every %1 hours").arg(hours), hours);
        index = _wake->count() - 1;
    }
    _wake->setCurrentIndex(index);
    const QSignalBlocker blockReminder(_reminder);
    _reminder->setValue(alertReminderHours(_defaults.value(QLatin1String(kAlertReminderHoursKey))));
}

void PreferencesSheet::store()
{
    // Keys the user added by hand stay; only the switches' keys change.
    QVariantMap ignore =
        _defaults.dictionaryValue(QLatin1String(kIgnoreAttributesKey)).value_or(defaultIgnoreAttributes());
    for (auto it = _switches.cbegin(); it != _switches.cend(); ++it)
        ignore.insert(it.key(), it.value()->isChecked());
    _defaults.setValue(QLatin1String(kIgnoreAttributesKey), ignore);
}

void PreferencesSheet::resetToDefaults()
{
    _defaults.setValue(QLatin1String(kIgnoreAttributesKey), defaultIgnoreAttributes());
    _defaults.remove(QLatin1String(kAlertReminderHoursKey));
    _defaults.remove(QLatin1String(kWakeSleepingDrivesKey));
    load();
}

} // namespace corvane::app
