// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowFormat.h"

#include "drive/NvmeDecoders.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QSet>

#include <cmath>

namespace corvane::cli {

namespace {

bool isContainer(const QVariant &v)
{
    return v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QVariantMap
        || v.typeId() == QMetaType::QStringList;
}

QString scalarText(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (!std::isfinite(d))
            return QStringLiteral("-");
        // Two decimals at most: single-precision values would show their noise.
        QString t = QString::number(d, 'f', 2);
        while (t.contains(QLatin1Char('.')) && (t.endsWith(QLatin1Char('0')) || t.endsWith(QLatin1Char('.'))))
            t.chop(1);
        return t;
    }
    default:
        break;
    }
    if (isContainer(v))
        return QString::fromUtf8(QJsonDocument::fromVariant(v).toJson(QJsonDocument::Compact));
    const QString s = v.toString().trimmed();
    return s.isEmpty() ? QStringLiteral("-") : s;
}

struct Label
{
    const char *text;
    const char *unit; // after the value; "" for counts and texts
};

// Labels and units for the keys whose names are code rather than words, or
// whose values need a unit. A key missing here is shown under its own name,
// which only a key added without a label can be.
const QHash<QString, Label> &labels()
{
    static const QHash<QString, Label> table{
        {QStringLiteral("bsdName"), {"Device", ""}},
        {QStringLiteral("modelFamily"), {"Model Family", ""}},
        {QStringLiteral("health"), {"SMART status (drive's own)", ""}},
        {QStringLiteral("attributeHealth"), {"Health", ""}},
        {QStringLiteral("powerCycleCount"), {"Power cycles", ""}},
        {QStringLiteral("temperature"), {"Temperature", "°C"}},
        {QStringLiteral("crcErrorCount"), {"CRC errors", ""}},
        {QStringLiteral("ataVersion"), {"ATA Version", ""}},
        {QStringLiteral("sectorSizeStr"), {"Sector Size", ""}},
        {QStringLiteral("sectors"), {"Sectors", ""}},
        {QStringLiteral("logDirVersion"), {"Log directory version", ""}},
        {QStringLiteral("selftestLogStructRev"), {"Self-test log revision", ""}},
        {QStringLiteral("errorLogVersion"), {"Error log version", ""}},
        {QStringLiteral("errorLogIndex"), {"Error log index", ""}},
        {QStringLiteral("attributesDataStructureRev"), {"Attribute data revision", ""}},
        {QStringLiteral("Offline data collection time"), {"Offline data collection time", "s"}},
        {QStringLiteral("Short self-test polling time"), {"Short self-test polling time", "min"}},
        {QStringLiteral("Extended self-test polling time"), {"Extended self-test polling time", "min"}},
        {QStringLiteral("Conveyance self-test polling time"), {"Conveyance self-test polling time", "min"}},
        {QStringLiteral("Self-test progress"), {"Self-test progress", "%"}},
        {QStringLiteral("mn"), {"Model Number (controller)", ""}},
        {QStringLiteral("sn"), {"Serial Number (controller)", ""}},
        {QStringLiteral("fr"), {"Firmware Revision (controller)", ""}},
        {QStringLiteral("vid"), {"PCI Vendor ID", ""}},
        {QStringLiteral("ssvid"), {"PCI Subsystem Vendor ID", ""}},
        {QStringLiteral("nvmeIFRev"), {"NVMe Version", ""}},
        {QStringLiteral("oui"), {"IEEE OUI", ""}},
        {QStringLiteral("nn"), {"Namespaces", ""}},
        {QStringLiteral("criticalWarning"), {"Critical Warning", ""}},
        {QStringLiteral("temp_oC"), {"Temperature", "°C"}},
        {QStringLiteral("availableSpare"), {"Available Spare", "%"}},
        {QStringLiteral("spareThreshold"), {"Spare Threshold", "%"}},
        {QStringLiteral("percentUsed"), {"Percentage Used", "%"}},
        {QStringLiteral("percentRemaining"), {"Life remaining", "%"}},
        {QStringLiteral("warning_oC"), {"Warning Temperature", "°C"}},
        {QStringLiteral("critical_oC"), {"Critical Temperature", "°C"}},
        {QStringLiteral("totalBytesRead"), {"Data Read", "bytes"}},
        {QStringLiteral("totalBytesWritten"), {"Data Written", "bytes"}},
        {QStringLiteral("warningTempTime"), {"Time above warning temperature", "min"}},
        {QStringLiteral("criticalTempTime"), {"Time above critical temperature", "min"}},
        {QStringLiteral("dataUnitsRead"), {"Data units read", "× 512 000 bytes"}},
        {QStringLiteral("dataUnitsWrite"), {"Data units written", "× 512 000 bytes"}},
        {QStringLiteral("hostReads"), {"Host read commands", ""}},
        {QStringLiteral("hostWrites"), {"Host write commands", ""}},
        {QStringLiteral("controllerBusy"), {"Controller busy time", "min"}},
        {QStringLiteral("powerCycles"), {"Power cycles", ""}},
        {QStringLiteral("powerOnHours"), {"Power-on time", "h"}},
        {QStringLiteral("unsafeShutdowns"), {"Unsafe shutdowns", ""}},
        {QStringLiteral("mediaErrors"), {"Media and data integrity errors", ""}},
        {QStringLiteral("lifetimeErrors"), {"Errors in the drive's life", ""}},
        {QStringLiteral("ctlid"), {"Controller ID", ""}},
        {QStringLiteral("cmic"), {"Multi-path and sharing (CMIC)", ""}},
        {QStringLiteral("mdts"), {"Largest transfer (MDTS, 0 = no limit)", "× memory pages"}},
        {QStringLiteral("rab"), {"Arbitration burst (RAB, log2 of commands)", ""}},
        {QStringLiteral("oacs"), {"Optional admin commands (OACS)", ""}},
        {QStringLiteral("oncs"), {"Optional NVM commands (ONCS)", ""}},
        {QStringLiteral("lpa"), {"Log page attributes (LPA)", ""}},
        {QStringLiteral("npss"), {"Power states (NPSS, zero-based)", ""}},
        {QStringLiteral("firmwareSlotCount"), {"Firmware slots", ""}},
        {QStringLiteral("activeFirmwareSlot"), {"Active firmware slot", ""}},
        {QStringLiteral("nextFirmwareSlot"), {"Firmware slot at next reset (0 = unchanged)", ""}},
        {QStringLiteral("frmw"), {"Firmware updates (FRMW)", ""}},
        {QStringLiteral("elpe"), {"Error log entries kept (ELPE, zero-based)", ""}},
        {QStringLiteral("scheme"), {"Partition scheme", ""}},
        {QStringLiteral("location"), {"Location", ""}},
        {QStringLiteral("logicalSectorSize"), {"Logical sector size", "bytes"}},
        {QStringLiteral("physicalSectorSize"), {"Physical sector size", "bytes"}},
        {QStringLiteral("logicalSectorOffset"), {"Logical sector offset", "sectors"}},
        {QStringLiteral("Logical Block Size"), {"Logical block size", "bytes"}},
        {QStringLiteral("Physical Block Size"), {"Physical block size", "bytes"}},
        {QStringLiteral("nvmeRevSupported"), {"NVMe revision supported", ""}},
        {QStringLiteral("isNVMe"), {"NVMe drive", ""}},
        {QStringLiteral("isHDD"), {"Hard disk", ""}},
        {QStringLiteral("NVMe SMART Capable"), {"NVMe SMART capable", ""}},
        {QStringLiteral("diskIcon"), {"Icon", ""}},
        {QStringLiteral("diskIconDict"), {"Icon dictionary", ""}},
        {QStringLiteral("diskMfgLogo"), {"Maker logo", ""}},
        {QStringLiteral("mfgLogoPath"), {"Maker logo file", ""}},
    };
    return table;
}

QString labelFor(const QString &key)
{
    const auto it = labels().constFind(key);
    return it == labels().cend() ? key : QString::fromUtf8(it->text);
}

// The value with the key's unit, when it has one and there is a value.
QString valueWithUnit(const QString &key, const QString &value)
{
    const auto it = labels().constFind(key);
    if (it == labels().cend() || !*it->unit || value == QLatin1String("-"))
        return value;
    // After the number a raw value starts with: "6626 h (0 0 0)", "38 °C (Min/Max 20/45)".
    qsizetype end = 0;
    while (end < value.size() && (value.at(end).isDigit() || value.at(end) == QLatin1Char('.') || (end == 0 && value.at(0) == QLatin1Char('-'))))
        ++end;
    // A value in a format of its own ("2262:44", hours and minutes) keeps it.
    if (end == 0 || (end < value.size() && value.at(end) != QLatin1Char(' ')))
        return value;
    const QString unit = QString::fromUtf8(it->unit);
    return value.left(end) + (unit == QLatin1String("%") ? unit : QLatin1Char(' ') + unit) + value.mid(end);
}

class Printer
{
public:
    explicit Printer(const QVariantMap &p) : _p(p) {}

    void section(const QString &title)
    {
        flush();
        _text += QStringLiteral("\n%1\n").arg(title);
    }
    // "label: value" rows for the keys present, in the order given; rows line
    // up until the next section or free line.
    void keys(const QStringList &keys)
    {
        for (const QString &k : keys) {
            if (!_p.contains(k) || _shown.contains(k))
                continue;
            _shown.insert(k);
            row(labelFor(k), valueWithUnit(k, scalarText(_p.value(k))));
        }
    }
    void row(const QString &label, const QString &value) { _rows.append({label + QLatin1Char(':'), value}); }
    void line(const QString &s)
    {
        flush();
        _text += QStringLiteral("  ") + s + QLatin1Char('\n');
    }
    void raw(const QString &s)
    {
        flush();
        _text += s;
    }
    bool has(const QString &k) const { return _p.contains(k); }
    QVariant take(const QString &k)
    {
        _shown.insert(k);
        return _p.value(k);
    }
    void hide(const QStringList &keys)
    {
        for (const QString &k : keys)
            _shown.insert(k);
    }
    // Every key no section showed, so that nothing read goes unseen.
    void rest()
    {
        QStringList left;
        for (auto it = _p.cbegin(); it != _p.cend(); ++it)
            if (!_shown.contains(it.key()))
                left << it.key();
        if (left.isEmpty())
            return;
        section(QStringLiteral("Other"));
        keys(left);
    }
    QString text()
    {
        flush();
        return _text;
    }

private:
    void flush()
    {
        _text += formatTable(_rows, QStringLiteral("  "));
        _rows.clear();
    }

    const QVariantMap &_p;
    QSet<QString> _shown;
    QList<QStringList> _rows;
    QString _text;
};

// A list as lines of at most about 70 characters, continued under the first.
QString wrapped(const QStringList &items)
{
    if (items.isEmpty())
        return QStringLiteral("none");
    QString text, line;
    for (const QString &item : items) {
        if (!line.isEmpty() && line.size() + item.size() > 70) {
            text += line + QLatin1String(",\n");
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(", ")) + item;
    }
    return text + line;
}

// A table of dictionaries with the given columns (key, heading).
void dictTable(Printer &pr, const QVariantList &items, const QList<std::pair<QString, QString>> &columns)
{
    QList<QStringList> rows;
    QStringList head;
    for (const auto &c : columns)
        head << c.second;
    rows.append(head);
    for (const QVariant &item : items) {
        const QVariantMap m = item.toMap();
        QStringList row;
        for (const auto &c : columns)
            row << scalarText(m.value(c.first));
        rows.append(row);
    }
    pr.raw(formatTable(rows, QStringLiteral("  ")));
}

QString capacityText(const QVariantMap &p)
{
    const qint64 bytes = p.value(QStringLiteral("User Capacity")).toLongLong();
    if (bytes <= 0)
        return QString();
    return QStringLiteral("%1 bytes [%2 GB]").arg(bytes).arg(double(bytes) / 1e9, 0, 'f', 1);
}

void identity(Printer &pr, const QVariantMap &p, const QStringList &keys)
{
    pr.section(QStringLiteral("Identity"));
    pr.keys(keys);
    if (pr.has(QStringLiteral("User Capacity"))) {
        pr.take(QStringLiteral("User Capacity"));
        pr.row(QStringLiteral("Capacity"), capacityText(p));
    }
    if (pr.has(QStringLiteral("volumes"))) {
        QStringList names;
        for (const QVariant &v : pr.take(QStringLiteral("volumes")).toList()) {
            const QString name = v.toMap().value(QStringLiteral("name")).toString();
            names << (name.isEmpty() ? QStringLiteral("(no name)") : name);
        }
        pr.row(QStringLiteral("Volumes"), names.isEmpty() ? QStringLiteral("-") : names.join(QStringLiteral(", ")));
    }
}

void ataDrive(Printer &pr, const QVariantMap &p)
{
    pr.hide({QStringLiteral("Model Family")}); // always "-"; the database's family is "modelFamily"
    identity(pr, p, {QStringLiteral("bsdName"), QStringLiteral("Device Model"), QStringLiteral("modelFamily"),
                     QStringLiteral("Serial Number"), QStringLiteral("Firmware Version"), QStringLiteral("Drive Type"),
                     QStringLiteral("Loc-Con"), QStringLiteral("ataVersion"), QStringLiteral("Transport Type"),
                     QStringLiteral("WWN"), QStringLiteral("sectors"), QStringLiteral("sectorSizeStr")});

    pr.section(QStringLiteral("Health"));
    pr.keys({QStringLiteral("attributeHealth"), QStringLiteral("health"), QStringLiteral("powerOnHours"),
             QStringLiteral("powerCycleCount"), QStringLiteral("temperature"), QStringLiteral("crcErrorCount")});
    if (!p.contains(QStringLiteral("attributeHealth")))
        pr.line(QStringLiteral("Health: - (no SMART data was read)"));

    if (pr.has(QStringLiteral("capArray"))) {
        pr.section(QStringLiteral("Capabilities"));
        pr.keys({QStringLiteral("Offline data collection status"), QStringLiteral("Offline data collection time"),
                 QStringLiteral("Self-test status"), QStringLiteral("Self-test progress"),
                 QStringLiteral("Short self-test polling time"),
                 QStringLiteral("Extended self-test polling time"), QStringLiteral("Conveyance self-test polling time")});
        QStringList yes, no;
        for (const QVariant &row : pr.take(QStringLiteral("capArray")).toList()) {
            const QVariantMap m = row.toMap();
            for (const char *i : {"0", "1"}) {
                const QString name = m.value(QStringLiteral("key") + QLatin1String(i)).toString();
                (m.value(QStringLiteral("val") + QLatin1String(i)).toString().isEmpty() ? no : yes) << name;
                pr.hide({name});
            }
        }
        pr.row(QStringLiteral("Supported"), wrapped(yes));
        pr.row(QStringLiteral("Not supported"), wrapped(no));
    }

    if (pr.has(QStringLiteral("vendorspecificAttributes"))) {
        const QVariantList records = pr.take(QStringLiteral("vendorspecificAttributes")).toList();
        pr.hide({QStringLiteral("vsaDict")});
        pr.section(QStringLiteral("Attributes (revision %1)").arg(scalarText(p.value(QStringLiteral("attributesDataStructureRev")))));
        pr.hide({QStringLiteral("attributesDataStructureRev")});
        pr.raw(records.isEmpty() ? QStringLiteral("  none\n") : formatAttributeTable(records, QStringLiteral("  ")));
    }

    if (pr.has(QStringLiteral("logs")) || pr.has(QStringLiteral("errorLog"))) {
        pr.section(QStringLiteral("Logs"));
        pr.keys({QStringLiteral("logDirVersion")});
        if (pr.has(QStringLiteral("logs"))) {
            QStringList logs;
            for (const QVariant &l : pr.take(QStringLiteral("logs")).toList()) {
                const QVariantMap m = l.toMap();
                logs << QStringLiteral("0x%1 %2 (%3)")
                            .arg(m.value(QStringLiteral("logAddress")).toUInt(), 2, 16, QLatin1Char('0'))
                            .arg(m.value(QStringLiteral("name")).toString())
                            .arg(m.value(QStringLiteral("pages")).toUInt());
            }
            pr.hide({QStringLiteral("logDir")});
            for (const QString &l : logs)
                pr.line(l);
        }
        pr.keys({QStringLiteral("lifetimeErrors")});
        if (pr.has(QStringLiteral("errorLog"))) {
            const QVariantList errors = pr.take(QStringLiteral("errorLog")).toList();
            pr.line(QStringLiteral("Error log: %1 entries").arg(errors.size()));
            for (const QVariant &e : errors) {
                pr.line(QStringLiteral("  ") + formatErrorLogEntry(e.toMap()));
            }
        }
    }

    if (pr.has(QStringLiteral("selftests")) || pr.has(QStringLiteral("selftestResults"))) {
        pr.section(QStringLiteral("Self-tests"));
        for (const QVariant &t : pr.take(QStringLiteral("selftests")).toList()) {
            const QVariantMap m = t.toMap();
            pr.line(QStringLiteral("%1: about %2").arg(m.value(QStringLiteral("displayName")).toString(),
                                                      m.value(QStringLiteral("timeToComplete")).toString().trimmed()));
        }
        if (pr.has(QStringLiteral("selftestResults"))) {
            const QVariantList results = pr.take(QStringLiteral("selftestResults")).toList();
            pr.line(QStringLiteral("Self-test log: %1 entries").arg(results.size()));
            for (const QVariant &t : results)
                pr.line(QStringLiteral("  ") + formatSelfTestEntry(t.toMap()));
        }
        pr.keys({QStringLiteral("selftestLogStructRev"), QStringLiteral("tip"), QStringLiteral("test_status"),
                 QStringLiteral("test_elapsed"), QStringLiteral("test_remaining"), QStringLiteral("test_progress")});
    }
}

void nvmeDrive(Printer &pr, const QVariantMap &p)
{
    identity(pr, p, {QStringLiteral("bsdName"), QStringLiteral("Device Model"), QStringLiteral("mn"),
                     QStringLiteral("Serial Number"), QStringLiteral("sn"), QStringLiteral("Firmware Version"),
                     QStringLiteral("fr"), QStringLiteral("Drive Type"), QStringLiteral("Loc-Con"),
                     QStringLiteral("nvmeIFRev"), QStringLiteral("vid"), QStringLiteral("ssvid"), QStringLiteral("oui"),
                     QStringLiteral("nn"), QStringLiteral("sectorSizeStr")});

    pr.section(QStringLiteral("Health"));
    pr.keys({QStringLiteral("attributeHealth")});
    if (pr.has(QStringLiteral("criticalWarning"))) {
        const int warning = pr.take(QStringLiteral("criticalWarning")).toInt();
        static const char *const bits[] = {"available spare below threshold", "temperature out of range",
                                           "NVM subsystem reliability degraded", "media read-only",
                                           "volatile memory backup failed"};
        QStringList said;
        for (int b = 0; b < 5; ++b)
            if (warning & (1 << b))
                said << QLatin1String(bits[b]);
        pr.row(labelFor(QStringLiteral("criticalWarning")),
               said.isEmpty() ? QString::number(warning) : QStringLiteral("%1 (! %2)").arg(warning).arg(said.join(QStringLiteral(", "))));
    }
    pr.hide({QStringLiteral("lowSpare"), QStringLiteral("overTemp"), QStringLiteral("lowReliability"),
             QStringLiteral("readOnly"), QStringLiteral("failedVMBkup")});
    pr.keys({QStringLiteral("temp_oC")});
    if (pr.has(QStringLiteral("temperature")))
        pr.row(QStringLiteral("Temperature (kelvin)"), scalarText(pr.take(QStringLiteral("temperature"))) + QStringLiteral(" K"));
    pr.keys({QStringLiteral("warning_oC"),
             QStringLiteral("critical_oC"), QStringLiteral("availableSpare"), QStringLiteral("spareThreshold"),
             QStringLiteral("percentUsed"), QStringLiteral("percentRemaining"), QStringLiteral("totalBytesRead"),
             QStringLiteral("totalBytesWritten"), QStringLiteral("warningTempTime"), QStringLiteral("criticalTempTime")});
    // The 128-bit counters: the high half only when it is not 0.
    for (const char *counter : {"dataUnitsRead", "dataUnitsWrite", "hostReads", "hostWrites", "controllerBusy",
                                "powerCycles", "powerOnHours", "unsafeShutdowns", "mediaErrors", "lifetimeErrors"}) {
        const QString lo = QLatin1String(counter) + QLatin1String("Lo"), hi = QLatin1String(counter) + QLatin1String("Hi");
        if (!pr.has(lo))
            continue;
        const quint64 high = pr.take(hi).toULongLong();
        const QString value = high ? QStringLiteral("%1 + %2 × 2^64").arg(pr.take(lo).toULongLong()).arg(high)
                                   : QString::number(pr.take(lo).toULongLong());
        pr.row(labelFor(QLatin1String(counter)), valueWithUnit(QLatin1String(counter), value));
    }

    pr.section(QStringLiteral("Controller"));
    pr.keys({QStringLiteral("ctlid"), QStringLiteral("cmic"), QStringLiteral("mdts"), QStringLiteral("rab"),
             QStringLiteral("oacs"), QStringLiteral("oncs"), QStringLiteral("lpa")});

    if (pr.has(QStringLiteral("powerStates"))) {
        pr.section(QStringLiteral("Power states"));
        dictTable(pr, pr.take(QStringLiteral("powerStates")).toList(),
                  {{QStringLiteral("state"), QStringLiteral("ST")}, {QStringLiteral("mp"), QStringLiteral("MAX W")},
                   {QStringLiteral("nops"), QStringLiteral("OP")}, {QStringLiteral("enlat"), QStringLiteral("ENTRY µs")},
                   {QStringLiteral("exlat"), QStringLiteral("EXIT µs")}, {QStringLiteral("rrt"), QStringLiteral("RRT")},
                   {QStringLiteral("rrl"), QStringLiteral("RRL")}, {QStringLiteral("rwt"), QStringLiteral("RWT")},
                   {QStringLiteral("rwl"), QStringLiteral("RWL")}});
        pr.keys({QStringLiteral("npss")});
    }
    if (pr.has(QStringLiteral("firmwareSlots"))) {
        pr.section(QStringLiteral("Firmware slots"));
        dictTable(pr, pr.take(QStringLiteral("firmwareSlots")).toList(),
                  {{QStringLiteral("slot"), QStringLiteral("SLOT")}, {QStringLiteral("active"), QStringLiteral("ACTIVE")},
                   {QStringLiteral("readOnly"), QStringLiteral("READ-ONLY")},
                   {QStringLiteral("firmwareRevision"), QStringLiteral("REVISION")}});
        pr.keys({QStringLiteral("firmwareSlotCount"), QStringLiteral("activeFirmwareSlot"), QStringLiteral("nextFirmwareSlot"),
                 QStringLiteral("frmw")});
    }
    if (pr.has(QStringLiteral("errorLog"))) {
        pr.section(QStringLiteral("Error log"));
        const QVariantList errors = pr.take(QStringLiteral("errorLog")).toList();
        if (errors.isEmpty())
            pr.line(QStringLiteral("no errors logged"));
        else
            dictTable(pr, errors,
                      {{QStringLiteral("errorCount"), QStringLiteral("COUNT")}, {QStringLiteral("sqid"), QStringLiteral("SQID")},
                       {QStringLiteral("cmdid"), QStringLiteral("CMDID")}, {QStringLiteral("status"), QStringLiteral("STATUS")},
                       {QStringLiteral("pel"), QStringLiteral("PARAM")}, {QStringLiteral("lba"), QStringLiteral("LBA")},
                       {QStringLiteral("nsid"), QStringLiteral("NSID")}, {QStringLiteral("vsia"), QStringLiteral("VS")}});
        pr.keys({QStringLiteral("elpe")});
    }
    if (pr.has(QStringLiteral("selftests")) || pr.has(QStringLiteral("nvmeSelfTestResults"))) {
        pr.section(QStringLiteral("Self-tests"));
        const QVariantList offers = pr.take(QStringLiteral("selftests")).toList();
        if (offers.isEmpty())
            pr.line(QStringLiteral("the controller has no Device Self-test command"));
        for (const QVariant &t : offers) {
            const QVariantMap m = t.toMap();
            pr.line(QStringLiteral("%1: about %2").arg(m.value(QStringLiteral("displayName")).toString(),
                                                      m.value(QStringLiteral("timeToComplete")).toString().trimmed()));
        }
        const unsigned running = pr.take(QStringLiteral("selfTestOperation")).toUInt();
        const unsigned done = pr.take(QStringLiteral("selfTestCompletion")).toUInt();
        if (running)
            pr.line(QStringLiteral("Running: %1 self-test, %2% done").arg(nvmeSelfTestTypeText(running)).arg(done));
        if (pr.has(QStringLiteral("nvmeSelfTestResults"))) {
            const QVariantList results = pr.take(QStringLiteral("nvmeSelfTestResults")).toList();
            pr.line(QStringLiteral("Self-test log: %1 entries").arg(results.size()));
            for (const QVariant &t : results)
                pr.line(QStringLiteral("  ") + formatNvmeSelfTestEntry(t.toMap()));
        }
        pr.keys({QStringLiteral("tip"), QStringLiteral("test_status"), QStringLiteral("test_elapsed"),
                 QStringLiteral("test_remaining"), QStringLiteral("test_progress")});
    }
}

} // namespace

QString formatTable(const QList<QStringList> &rows, const QString &indent)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    QString text;
    for (const QStringList &row : rows) {
        QString line = indent;
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i + 1 < row.size()) {
                line += row[i].leftJustified(widths[i] + 2);
            } else {
                // A last cell of several lines continues under its own column.
                QString cell = row[i];
                line += cell.replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(line.size(), QLatin1Char(' ')));
            }
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString formatAttributeTable(const QVariantList &records, const QString &indent)
{
    QList<QStringList> rows{{QStringLiteral("ID"), QStringLiteral("NAME"), QStringLiteral("VALUE"), QStringLiteral("WORST"),
                             QStringLiteral("THRESH"), QStringLiteral("FLAGS"), QStringLiteral("TYPE"),
                             QStringLiteral("UPDATED"), QStringLiteral("RAW"), QString()}};
    for (const QVariant &r : records) {
        const QVariantMap m = r.toMap();
        const bool bad = m.value(QStringLiteral("bad")).toBool();
        const QString condition = m.value(QStringLiteral("condition")).toString();
        QString mark;
        if (bad)
            mark = condition == QLatin1String("Never") ? QStringLiteral("! failing") : QStringLiteral("! ") + condition;
        else if (condition != QLatin1String("Never") && !condition.isEmpty())
            mark = condition;
        rows.append({m.value(QStringLiteral("ID")).toString(), m.value(QStringLiteral("attributeName")).toString(),
                     m.value(QStringLiteral("value")).toString(), m.value(QStringLiteral("worst")).toString(),
                     m.value(QStringLiteral("threshold")).toString(), QStringLiteral("0x") + m.value(QStringLiteral("flags")).toString(),
                     m.value(QStringLiteral("type")).toString(), m.value(QStringLiteral("updated")).toString(),
                     m.value(QStringLiteral("rawValue")).toString(), mark});
    }
    QString text = formatTable(rows, indent);
    // No blanks after the last column on rows without a mark.
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &l : lines)
        while (l.endsWith(QLatin1Char(' ')))
            l.chop(1);
    return lines.join(QLatin1Char('\n'));
}

QString formatErrorLogEntry(const QVariantMap &m)
{
    const QString feature = m.value(QStringLiteral("feature")).toString();
    return QStringLiteral("#%1 at %2 h: %3%4: %5 at LBA %6 (status %7, %8)")
        .arg(m.value(QStringLiteral("index")).toInt())
        .arg(m.value(QStringLiteral("timestamp")).toUInt())
        .arg(m.value(QStringLiteral("command")).toString(),
             feature.isEmpty() ? QString() : QStringLiteral(" (") + feature + QLatin1Char(')'),
             m.value(QStringLiteral("error")).toString().trimmed())
        .arg(m.value(QStringLiteral("lba")).toUInt())
        .arg(m.value(QStringLiteral("status")).toString(), m.value(QStringLiteral("state")).toString());
}

QString formatSelfTestEntry(const QVariantMap &m)
{
    const QString lba = m.value(QStringLiteral("LBAFirstError")).toString();
    return QStringLiteral("%1 %2 %3 at %4 h%5")
        .arg(m.value(QStringLiteral("Num")).toInt(), 2)
        .arg(m.value(QStringLiteral("Type")).toString(), -18)
        .arg(m.value(QStringLiteral("Status")).toString(), -30)
        .arg(m.value(QStringLiteral("LifetimeHours")).toUInt())
        .arg(lba.isEmpty() ? QString() : QStringLiteral(", first error at LBA ") + lba);
}

QString formatNvmeSelfTestEntry(const QVariantMap &m)
{
    const QString lba = m.value(QStringLiteral("failingLba")).toString();
    const unsigned result = m.value(QStringLiteral("result")).toUInt();
    return QStringLiteral("%1 %2 at %3 h%4%5")
        .arg(m.value(QStringLiteral("type")).toString(), -9)
        .arg(m.value(QStringLiteral("resultText")).toString(), -34)
        .arg(m.value(QStringLiteral("powerOnHours")).toULongLong())
        .arg(result == 7 ? QStringLiteral(", segment %1").arg(m.value(QStringLiteral("segment")).toUInt()) : QString())
        .arg(lba.isEmpty() ? QString() : QStringLiteral(", failing LBA ") + lba);
}

QString formatDrive(const QVariantMap &p)
{
    Printer pr(p);
    const QString health = p.value(QStringLiteral("attributeHealth")).toString();
    pr.raw(QStringLiteral("%1: %2, %3\n")
               .arg(p.value(QStringLiteral("bsdName")).toString(),
                    scalarText(p.value(QStringLiteral("Device Model"))),
                    health.isEmpty() ? QStringLiteral("-") : health));
    // What the session is told, not what it found.
    pr.hide({QStringLiteral("ignoreAttributes"), QStringLiteral("crcErrorCountColor"), QStringLiteral("lifetimeErrorsColor"),
             QStringLiteral("isEnabledAttributes"), QStringLiteral("isEnabledLogDir"), QStringLiteral("isEnabledErrorLog"),
             QStringLiteral("isEnabledSelftestResults"), QStringLiteral("isEnabledSelftest")});
    if (p.value(QStringLiteral("isNVMe")).toBool())
        nvmeDrive(pr, p);
    else
        ataDrive(pr, p);
    // Where the drive sits and how the windows draw it.
    pr.section(QStringLiteral("Drive record"));
    pr.keys({QStringLiteral("scheme"), QStringLiteral("location"), QStringLiteral("Medium Type"),
             QStringLiteral("Physical Interconnect"), QStringLiteral("Physical Interconnect Location"),
             QStringLiteral("Logical Block Size"), QStringLiteral("Physical Block Size"), QStringLiteral("logicalSectorSize"),
             QStringLiteral("physicalSectorSize"), QStringLiteral("logicalSectorOffset"), QStringLiteral("nvmeRevSupported"),
             QStringLiteral("isNVMe"), QStringLiteral("isHDD"), QStringLiteral("NVMe SMART Capable"), QStringLiteral("diskIcon"),
             QStringLiteral("diskIconDict"), QStringLiteral("diskMfgLogo"), QStringLiteral("mfgLogoPath")});
    pr.rest();
    return pr.text();
}

} // namespace corvane::cli
