// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/NvmePages.h"

#include "display/DisplayFormats.h"
#include "drive/NvmeDecoders.h"
#include "selftest/SelfTestPanel.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace corvane::app {

using namespace corvane::display;

namespace {

// A 128-bit counter: the high half only when it is not 0.
QString counter(const QVariantMap &p, const char *name)
{
    const QString key = QLatin1String(name);
    if (!p.contains(key + QStringLiteral("Lo")))
        return QStringLiteral("-");
    const quint64 lo = p.value(key + QStringLiteral("Lo")).toULongLong();
    const quint64 hi = p.value(key + QStringLiteral("Hi")).toULongLong();
    return hi ? QStringLiteral("%1 + %2 × 2⁶⁴").arg(lo).arg(hi) : QString::number(lo);
}

// The identify fields the decoder keeps as hex text ("011a").
qint64 hexField(const QVariantMap &p, const char *key)
{
    return p.value(QLatin1String(key)).toString().toLongLong(nullptr, 16);
}

qint64 celsius(const QVariant &v)
{
    return v.isValid() ? qint64(std::lround(v.toDouble())) : 0;
}

} // namespace

NvmeInformationPage::NvmeInformationPage(QWidget *parent) : FormPage(QStringLiteral("Information"), 1, parent) {}

void NvmeInformationPage::setDrive(const DriveEntry &entry)
{
    FormPage::setDrive(entry);
    clearForm();
    const QVariantMap &p = entry.properties();
    heading(QStringLiteral("Identity"));
    row(QStringLiteral("Device"), QStringLiteral("/dev/") + entry.bsdName());
    row(QStringLiteral("Model Number"), text(p, p.contains(QStringLiteral("mn")) ? "mn" : "Device Model"));
    row(QStringLiteral("Serial Number"), text(p, p.contains(QStringLiteral("sn")) ? "sn" : "Serial Number"));
    row(QStringLiteral("Firmware Revision"), text(p, p.contains(QStringLiteral("fr")) ? "fr" : "Firmware Version"));
    row(QStringLiteral("Capacity"), memUnitXfmr(p.value(QStringLiteral("User Capacity")).toDouble()));
    row(QStringLiteral("PCI Vendor"), vid2vXfmr(p.value(QStringLiteral("vid")).toString()));
    row(QStringLiteral("PCI Subsystem Vendor"), vid2vXfmr(p.value(QStringLiteral("ssvid")).toString()));
    row(QStringLiteral("IEEE OUI"), text(p, "oui"));
    row(QStringLiteral("NVMe Version"), text(p, "nvmeIFRev"));
    row(QStringLiteral("Namespaces"), text(p, "nn"));
    row(QStringLiteral("Sector Size"), text(p, "sectorSizeStr"));
    row(QStringLiteral("Location"), locationText(p));
    QStringList names;
    for (const QVariant &v : p.value(QStringLiteral("volumes")).toList())
        names << blankLineXfmr(v.toMap().value(QStringLiteral("name")));
    row(QStringLiteral("Volumes"), names.isEmpty() ? QStringLiteral("-") : names.join(QStringLiteral(", ")));
    if (!entry.growth.isEmpty()) {
        heading(QStringLiteral("Health"));
        growthRows(entry);
    }
    heading(QStringLiteral("Controller"));
    row(QStringLiteral("Controller ID"), text(p, "ctlid"));
    row(QStringLiteral("Maximum data transfer size"), text(p, "mdts"));
    row(QStringLiteral("Recommended arbitration burst"), text(p, "rab"));
    row(QStringLiteral("Optional admin commands"), p.contains(QStringLiteral("oacs")) ? hexXfmr(hexField(p, "oacs")) : QStringLiteral("-"));
    row(QStringLiteral("Optional NVM commands"), p.contains(QStringLiteral("oncs")) ? hexXfmr(hexField(p, "oncs")) : QStringLiteral("-"));
    row(QStringLiteral("Log page attributes"), p.contains(QStringLiteral("lpa")) ? hexXfmr(hexField(p, "lpa")) : QStringLiteral("-"));
}

NvmeHealthPage::NvmeHealthPage(QWidget *parent) : FormPage(QStringLiteral("Health"), 2, parent) {}

void NvmeHealthPage::setDrive(const DriveEntry &entry)
{
    FormPage::setDrive(entry);
    clearForm();
    const QVariantMap &p = entry.properties();
    if (!p.contains(QStringLiteral("criticalWarning"))) {
        row(QStringLiteral("Health log"), QStringLiteral("-"));
        return;
    }
    const int warning = p.value(QStringLiteral("criticalWarning")).toInt();
    heading(QStringLiteral("Critical warning"));
    row(QStringLiteral("Critical Warning"), hexXfmr(warning), warning != 0);
    const std::pair<const char *, const char *> bits[] = {
        {"lowSpare", "Available spare below threshold"}, {"overTemp", "Temperature out of range"},
        {"lowReliability", "Reliability degraded"}, {"readOnly", "Media read-only"},
        {"failedVMBkup", "Volatile memory backup failed"}};
    for (const auto &[key, label] : bits) {
        const bool set = p.value(QLatin1String(key)).toUInt() != 0;
        row(QLatin1String(label), boolXfmr(set), set);
    }
    heading(QStringLiteral("Temperature"));
    row(QStringLiteral("Composite temperature"), temperatureXfmr(celsius(p.value(QStringLiteral("temp_oC")))));
    row(QStringLiteral("Warning temperature threshold"), temperatureXfmr(celsius(p.value(QStringLiteral("warning_oC")))));
    row(QStringLiteral("Critical temperature threshold"), temperatureXfmr(celsius(p.value(QStringLiteral("critical_oC")))));
    row(QStringLiteral("Time above warning temperature"), minutesXfmr(p.value(QStringLiteral("warningTempTime"))));
    row(QStringLiteral("Time above critical temperature"), minutesXfmr(p.value(QStringLiteral("criticalTempTime"))));
    heading(QStringLiteral("Wear"));
    const int spare = p.value(QStringLiteral("availableSpare")).toInt();
    const int threshold = p.value(QStringLiteral("spareThreshold")).toInt();
    row(QStringLiteral("Available spare"), percentXfmr(p.value(QStringLiteral("availableSpare"))), spare < threshold);
    row(QStringLiteral("Available spare threshold"), percentXfmr(p.value(QStringLiteral("spareThreshold"))));
    row(QStringLiteral("Percentage used"), percentXfmr(p.value(QStringLiteral("percentUsed"))));
    row(QStringLiteral("Life remaining"), percentXfmr(p.value(QStringLiteral("percentRemaining"))));
    heading(QStringLiteral("Usage"));
    row(QStringLiteral("Data read"), memUnitXfmr(p.value(QStringLiteral("totalBytesRead")).toDouble()));
    row(QStringLiteral("Data written"), memUnitXfmr(p.value(QStringLiteral("totalBytesWritten")).toDouble()));
    row(QStringLiteral("Data units read (512,000 bytes)"), counter(p, "dataUnitsRead"));
    row(QStringLiteral("Data units written (512,000 bytes)"), counter(p, "dataUnitsWrite"));
    row(QStringLiteral("Host read commands"), counter(p, "hostReads"));
    row(QStringLiteral("Host write commands"), counter(p, "hostWrites"));
    row(QStringLiteral("Controller busy time"), counter(p, "controllerBusy") + QStringLiteral(" minutes"));
    row(QStringLiteral("Power cycles"), counter(p, "powerCycles"));
    const quint64 hours = p.value(QStringLiteral("powerOnHoursLo")).toULongLong();
    row(QStringLiteral("Power-on hours"), p.value(QStringLiteral("powerOnHoursHi")).toULongLong()
                                              ? counter(p, "powerOnHours")
                                              : hoursXfmr(qint64(std::min<quint64>(hours, INT64_MAX / 100))));
    row(QStringLiteral("Unsafe shutdowns"), counter(p, "unsafeShutdowns"));
    const bool mediaErrors = counter(p, "mediaErrors") != QLatin1String("0");
    row(QStringLiteral("Media and data integrity errors"), counter(p, "mediaErrors"), mediaErrors);
    row(QStringLiteral("Error information log entries"), counter(p, "lifetimeErrors"));
}

NvmePowerStatesPage::NvmePowerStatesPage(QWidget *parent) : TablePage(QStringLiteral("Power States"), 3, parent)
{
    table()->setColumns({QStringLiteral("State"), QStringLiteral("Max power"), QStringLiteral("Operational"),
                         QStringLiteral("Entry latency"), QStringLiteral("Exit latency"),
                         QStringLiteral("Rel. read throughput"), QStringLiteral("Rel. read latency"),
                         QStringLiteral("Rel. write throughput"), QStringLiteral("Rel. write latency")});
}

void NvmePowerStatesPage::setDrive(const DriveEntry &entry)
{
    TablePage::setDrive(entry);
    table()->setSortingEnabled(false);
    table()->clearRows();
    const QVariantList states = entry.properties().value(QStringLiteral("powerStates")).toList();
    for (const QVariant &s : states) {
        const QVariantMap m = s.toMap();
        table()->addRow({text(m, "state"), QStringLiteral("%1 W").arg(m.value(QStringLiteral("mp")).toDouble(), 0, 'f', 2),
                         boolXfmr(m.value(QStringLiteral("nops")).toUInt() != 0),
                         QStringLiteral("%1 µs").arg(text(m, "enlat")), QStringLiteral("%1 µs").arg(text(m, "exlat")),
                         text(m, "rrt"), text(m, "rrl"), text(m, "rwt"), text(m, "rwl")});
    }
    table()->setSortingEnabled(true);
    table()->sortByColumn(-1, Qt::AscendingOrder);
    note()->setVisible(states.isEmpty());
    note()->setText(QStringLiteral("No power states were read."));
}

NvmeFirmwareSlotsPage::NvmeFirmwareSlotsPage(QWidget *parent) : TablePage(QStringLiteral("Firmware Slots"), 4, parent)
{
    table()->setColumns({QStringLiteral("Slot"), QStringLiteral("Active"), QStringLiteral("Read-only"),
                         QStringLiteral("Firmware revision")});
}

void NvmeFirmwareSlotsPage::setDrive(const DriveEntry &entry)
{
    TablePage::setDrive(entry);
    table()->setSortingEnabled(false);
    table()->clearRows();
    const QVariantMap &p = entry.properties();
    for (const QVariant &s : p.value(QStringLiteral("firmwareSlots")).toList()) {
        const QVariantMap m = s.toMap();
        table()->addRow({text(m, "slot"), text(m, "active"), text(m, "readOnly"), text(m, "firmwareRevision")});
    }
    table()->setSortingEnabled(true);
    table()->sortByColumn(-1, Qt::AscendingOrder);
    note()->setVisible(true);
    note()->setText(QStringLiteral("Slots: %1, active slot: %2, slot activated at the next reset: %3")
                        .arg(text(p, "firmwareSlotCount"), text(p, "activeFirmwareSlot"),
                             p.value(QStringLiteral("nextFirmwareSlot")).toUInt() ? text(p, "nextFirmwareSlot")
                                                                                : QStringLiteral("-")));
}

NvmeErrorLogPage::NvmeErrorLogPage(QWidget *parent) : TablePage(QStringLiteral("Error Log"), 5, parent)
{
    table()->setColumns({QStringLiteral("Error count"), QStringLiteral("Queue"), QStringLiteral("Command ID"),
                         QStringLiteral("Status"), QStringLiteral("Parameter"), QStringLiteral("LBA"),
                         QStringLiteral("Namespace"), QStringLiteral("Vendor")});
}

void NvmeErrorLogPage::setDrive(const DriveEntry &entry)
{
    TablePage::setDrive(entry);
    table()->setSortingEnabled(false);
    table()->clearRows();
    const QVariantList errors = entry.properties().value(QStringLiteral("errorLog")).toList();
    for (const QVariant &e : errors) {
        const QVariantMap m = e.toMap();
        table()->addRow({text(m, "errorCount"), text(m, "sqid"), text(m, "cmdid"), text(m, "status"), text(m, "pel"),
                         text(m, "lba"), text(m, "nsid"), text(m, "vsia")},
                        QStringLiteral("The controller logged this command as failed."));
    }
    table()->setSortingEnabled(true);
    table()->sortByColumn(-1, Qt::AscendingOrder);
    note()->setVisible(errors.isEmpty());
    note()->setText(QStringLiteral("No errors were logged."));
}

NvmeSelfTestsPage::NvmeSelfTestsPage(SelfTestPanel *panel, QWidget *parent)
    : TablePage(QStringLiteral("NVMe Self-Tests"), 6, parent), _panel(panel), _offers(new QLabel(this))
{
    table()->setAccessibleName(QStringLiteral("Self-test log"));
    table()->setColumns({QStringLiteral("No."), QStringLiteral("Test"), QStringLiteral("Result"),
                         QStringLiteral("Power-on hours"), QStringLiteral("Segment"), QStringLiteral("Failing LBA"),
                         QStringLiteral("Namespace")});
    // On screen the controls list the offers; the report names them.
    body()->insertWidget(0, _offers);
    if (_panel)
        _offers->hide();
}

void NvmeSelfTestsPage::setDrive(const DriveEntry &entry)
{
    TablePage::setDrive(entry);
    const QVariantMap &p = entry.properties();
    showSelfTestOffers(entry, _offers, _panel);

    table()->setSortingEnabled(false);
    table()->clearRows();
    const QVariantList results = p.value(QStringLiteral("nvmeSelfTestResults")).toList();
    int number = 0;
    for (const QVariant &r : results) {
        const QVariantMap m = r.toMap();
        const unsigned result = m.value(QStringLiteral("result")).toUInt();
        table()->addRow({QString::number(++number), text(m, "type"), text(m, "resultText"), text(m, "powerOnHours"),
                         result == 7 ? text(m, "segment") : QStringLiteral("-"), text(m, "failingLba"), text(m, "nsid")},
                        nvmeSelfTestFailed(result) ? QStringLiteral("The test ended with an error.") : QString());
    }
    table()->setSortingEnabled(true);
    table()->sortByColumn(-1, Qt::AscendingOrder);

    QString state;
    if (p.value(QStringLiteral("selftests")).toList().isEmpty())
        state = QStringLiteral("This controller has no Device Self-test command.");
    else if (const unsigned running = p.value(QStringLiteral("selfTestOperation")).toUInt())
        state = QStringLiteral("A %1 self-test is running: %2% done.")
                    .arg(nvmeSelfTestTypeText(running).toLower())
                    .arg(p.value(QStringLiteral("selfTestCompletion")).toUInt());
    else if (results.isEmpty())
        state = QStringLiteral("No self-test results were logged.");
    note()->setVisible(!state.isEmpty());
    note()->setText(state);
}

} // namespace corvane::app
