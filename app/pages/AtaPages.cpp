// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/AtaPages.h"

#include "display/DisplayFormats.h"
#include "selftest/SelfTestPanel.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPixmap>
#include <QVBoxLayout>

namespace corvane::app {

using namespace corvane::display;

namespace {

QString volumesText(const QVariantMap &p)
{
    QStringList names;
    for (const QVariant &v : p.value(QStringLiteral("volumes")).toList())
        names << blankLineXfmr(v.toMap().value(QStringLiteral("name")));
    return names.isEmpty() ? QStringLiteral("-") : names.join(QStringLiteral(", "));
}

qint64 leadingNumber(const QVariant &v)
{
    const QString s = v.toString().trimmed();
    qsizetype n = 0;
    while (n < s.size() && s[n].isDigit())
        ++n;
    return s.left(n).toLongLong();
}

} // namespace

AtaInformationPage::AtaInformationPage(QWidget *parent)
    : FormPage(QStringLiteral("Information"), 1, parent), _logo(new QLabel(this))
{
    _logo->setAlignment(Qt::AlignRight | Qt::AlignTop);
    _logo->setAccessibleName(QStringLiteral("Maker logo"));
    static_cast<QBoxLayout *>(verdict()->layout())->addWidget(_logo);
}

void AtaInformationPage::setDrive(const DriveEntry &entry)
{
    FormPage::setDrive(entry);
    clearForm();
    const QVariantMap &p = entry.properties();
    heading(QStringLiteral("Identity"));
    row(QStringLiteral("Device"), QStringLiteral("/dev/") + entry.bsdName());
    // The database's family when the properties don't name one.
    const QString family = text(p, "Model Family");
    row(QStringLiteral("Model Family"), family != QLatin1String("-") || entry.modelFamily.isEmpty() ? family : entry.modelFamily);
    row(QStringLiteral("Device Model"), text(p, "Device Model"));
    row(QStringLiteral("Serial Number"), text(p, "Serial Number"));
    row(QStringLiteral("Firmware Version"), text(p, "Firmware Version"));
    row(QStringLiteral("Capacity"), memUnitXfmr(p.value(QStringLiteral("User Capacity")).toDouble()));
    row(QStringLiteral("Drive Type"), text(p, "Drive Type"));
    row(QStringLiteral("Interface"), text(p, "Transport Type"));
    row(QStringLiteral("ATA Version"), text(p, "ataVersion"));
    row(QStringLiteral("WWN"), text(p, "WWN"));
    row(QStringLiteral("Sector Sizes"), text(p, "sectorSizeStr"));
    row(QStringLiteral("Location"), locationText(p));
    row(QStringLiteral("Volumes"), volumesText(p));

    heading(QStringLiteral("Health"));
    row(QStringLiteral("Overall health"), text(p, "attributeHealth"),
        p.value(QStringLiteral("attributeHealth")).toString() == QLatin1String("Failed"));
    row(QStringLiteral("SMART status (drive's own)"), text(p, "health"),
        p.value(QStringLiteral("health")).toString() == QLatin1String("Failed"));
    row(QStringLiteral("Power-on hours"), hoursXfmr(leadingNumber(p.value(QStringLiteral("powerOnHours")))));
    row(QStringLiteral("Power cycles"), text(p, "powerCycleCount"));
    row(QStringLiteral("Temperature"), temperatureXfmr(p.value(QStringLiteral("temperature")).toLongLong()));
    row(QStringLiteral("Interface CRC errors"), text(p, "crcErrorCount"),
        p.value(QStringLiteral("crcErrorCountColor")).toString() == QLatin1String("FailureColor"));
    growthRows(entry);

    if (!entry.databaseWarning.isEmpty() || !entry.firmwareBug.isEmpty()) {
        heading(QStringLiteral("Drive database"));
        if (!entry.databaseWarning.isEmpty())
            row(QStringLiteral("Warning"), entry.databaseWarning, true);
        if (!entry.firmwareBug.isEmpty())
            row(QStringLiteral("Firmware bug"), entry.firmwareBug, true);
    }

    const QString logo = mfgLogoXfmr(p.value(QStringLiteral("mfgLogoPath")).toString());
    const QPixmap pixmap = logo.isEmpty() ? QPixmap() : QPixmap(logo);
    _logo->setPixmap(pixmap.isNull() ? QPixmap() : pixmap.scaledToHeight(36, Qt::SmoothTransformation));
}

AtaAttributesPage::AtaAttributesPage(QWidget *parent) : TablePage(QStringLiteral("Attributes"), 2, parent)
{
    table()->setColumns({QStringLiteral("ID"), QStringLiteral("Hex"), QStringLiteral("Name"), QStringLiteral("Value"),
                         QStringLiteral("Worst"), QStringLiteral("Threshold"), QStringLiteral("Type"),
                         QStringLiteral("Updated"), QStringLiteral("When failed"), QStringLiteral("Raw value")});
}

void AtaAttributesPage::setDrive(const DriveEntry &entry)
{
    TablePage::setDrive(entry);
    table()->setSortingEnabled(false);
    table()->clearRows();
    const QVariantMap &p = entry.properties();
    const QVariantList records = p.value(QStringLiteral("vendorspecificAttributes")).toList();
    for (const QVariant &r : records) {
        const QVariantMap m = r.toMap();
        QString why;
        if (m.value(QStringLiteral("bad")).toBool()) {
            const QString condition = m.value(QStringLiteral("condition")).toString();
            why = condition == QLatin1String("FAILING NOW")
                      ? QStringLiteral("The value is at or below the threshold: the drive counts this attribute as failing.")
                      : QStringLiteral("The raw value shows a problem (%1).").arg(m.value(QStringLiteral("rawValue")).toString());
        }
        table()->addRow({text(m, "ID"), hexXfmr(m.value(QStringLiteral("ID")).toLongLong()), text(m, "attributeName"),
                         text(m, "value"), text(m, "worst"), text(m, "threshold"), text(m, "type"), text(m, "updated"),
                         m.value(QStringLiteral("condition")).toString() == QLatin1String("Never") ? QStringLiteral("-")
                                                                                       : text(m, "condition"),
                         text(m, "rawValue")},
                        why);
    }
    table()->setSortingEnabled(true);
    table()->sortByColumn(-1, Qt::AscendingOrder);
    note()->setVisible(records.isEmpty());
    note()->setText(QStringLiteral("No attributes were read from this drive."));
}

AtaCapabilitiesPage::AtaCapabilitiesPage(QWidget *parent) : FormPage(QStringLiteral("Capabilities"), 3, parent) {}

void AtaCapabilitiesPage::setDrive(const DriveEntry &entry)
{
    FormPage::setDrive(entry);
    clearForm();
    const QVariantMap &p = entry.properties();
    const QVariantList caps = p.value(QStringLiteral("capArray")).toList();
    if (caps.isEmpty()) {
        row(QStringLiteral("Capabilities"), QStringLiteral("-"));
        return;
    }
    heading(QStringLiteral("SMART capabilities"));
    auto *grid = new QWidget;
    auto *g = new QGridLayout(grid);
    g->setContentsMargins(0, 0, 0, 0);
    g->setHorizontalSpacing(18);
    int r = 0;
    for (const QVariant &c : caps) {
        const QVariantMap m = c.toMap();
        for (int half = 0; half < 2; ++half) {
            const QString key = m.value(QStringLiteral("key%1").arg(half)).toString();
            if (key.isEmpty())
                continue;
            const QVariant val = m.value(QStringLiteral("val%1").arg(half));
            const bool yes = val.typeId() == QMetaType::Bool ? val.toBool() : !val.toString().trimmed().isEmpty();
            auto *name = new QLabel(key + QLatin1Char(':'));
            auto *value = new QLabel(boolXfmr(yes));
            value->setAccessibleName(key);
            g->addWidget(name, r, half * 2);
            g->addWidget(value, r, half * 2 + 1);
        }
        ++r;
    }
    g->setColumnStretch(1, 1);
    g->setColumnStretch(3, 1);
    form()->addRow(grid);

    heading(QStringLiteral("Off-line data collection and self-tests"));
    row(QStringLiteral("Off-line data collection status"), text(p, "Offline data collection status"));
    const QString offline = text(p, "Offline data collection time");
    row(QStringLiteral("Off-line data collection time"),
        offline == QLatin1String("-") ? offline : QStringLiteral("%1 seconds").arg(offline));
    row(QStringLiteral("Self-test status"), text(p, "Self-test status"));
    for (const char *key : {"Short self-test polling time", "Extended self-test polling time",
                            "Conveyance self-test polling time"}) {
        const QVariant v = p.value(QLatin1String(key));
        const QString shown = blankLineXfmr(v);
        row(QLatin1String(key), shown == QLatin1String("-") || shown.contains(QLatin1String("min")) ? shown
                                                                                                 : minutesXfmr(v));
    }
}

AtaErrorLogPage::AtaErrorLogPage(QWidget *parent) : TablePage(QStringLiteral("Error Log"), 4, parent)
{
    table()->setColumns({QStringLiteral("No."), QStringLiteral("Power-on hours"), QStringLiteral("Command"),
                         QStringLiteral("Feature"), QStringLiteral("Error"), QStringLiteral("LBA"),
                         QStringLiteral("Status"), QStringLiteral("State")});
}

void AtaErrorLogPage::setDrive(const DriveEntry &entry)
{
    TablePage::setDrive(entry);
    table()->setSortingEnabled(false);
    table()->clearRows();
    const QVariantMap &p = entry.properties();
    const QVariantList errors = p.value(QStringLiteral("errorLog")).toList();
    for (const QVariant &e : errors) {
        const QVariantMap m = e.toMap();
        table()->addRow({text(m, "index"), text(m, "timestamp"), text(m, "command"), text(m, "feature"),
                         text(m, "error"), text(m, "lba"), text(m, "status"), text(m, "state")},
                        QStringLiteral("The drive logged this command as failed."));
    }
    table()->setSortingEnabled(true);
    table()->sortByColumn(-1, Qt::AscendingOrder);
    const bool hasLog = p.contains(QStringLiteral("errorLog"));
    note()->setVisible(true);
    note()->setText(!hasLog ? QStringLiteral("The drive has no readable error log.")
                            : QStringLiteral("Errors in the drive's life: %1. The log keeps the last five.")
                                  .arg(text(p, "lifetimeErrors")));
}

AtaSelfTestPage::AtaSelfTestPage(SelfTestPanel *panel, QWidget *parent)
    : DrivePage(QStringLiteral("Self-Tests"), 5, parent), _panel(panel), _offers(new QLabel(this)),
      _log(new DataTable(this))
{
    // On screen the controls list the offers; the report names them.
    body()->addWidget(_offers);
    if (_panel) {
        _offers->hide();
        body()->addWidget(_panel);
    }
    _log->setAccessibleName(QStringLiteral("Self-test log"));
    _log->setColumns({QStringLiteral("No."), QStringLiteral("Test"), QStringLiteral("Result"),
                      QStringLiteral("Power-on hours"), QStringLiteral("First error LBA")});
    auto *label = new QLabel(QStringLiteral("Self-test log:"), this);
    label->setBuddy(_log);
    body()->addWidget(label);
    body()->addWidget(_log, 1);
}

void AtaSelfTestPage::setDrive(const DriveEntry &entry)
{
    DrivePage::setDrive(entry);
    const QVariantMap &p = entry.properties();
    showSelfTestOffers(entry, _offers, _panel);
    _log->setSortingEnabled(false);
    _log->clearRows();
    for (const QVariant &t : p.value(QStringLiteral("selftestResults")).toList()) {
        const QVariantMap m = t.toMap();
        const QString status = m.value(QStringLiteral("Status")).toString();
        const bool bad = !status.startsWith(QLatin1String("Completed without")) && !status.startsWith(QLatin1String("Aborted"))
                         && !status.startsWith(QLatin1String("Interrupted")) && !status.contains(QLatin1String("progress"));
        _log->addRow({text(m, "Num"), text(m, "Type"), text(m, "Status"), text(m, "LifetimeHours"),
                      text(m, "LBAFirstError")},
                     bad ? QStringLiteral("The test ended with an error.") : QString());
    }
    _log->setSortingEnabled(true);
    _log->sortByColumn(-1, Qt::AscendingOrder);
}

void AtaSelfTestPage::setPrintLayout(bool on)
{
    _log->setPrintLayout(on);
}

} // namespace corvane::app
