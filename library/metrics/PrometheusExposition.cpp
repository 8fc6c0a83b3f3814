// SPDX-License-Identifier: GPL-3.0-or-later
#include "metrics/PrometheusExposition.h"

#include "database/THSmartDeviceDatabase.h"
#include "drive/Attributes.h"
#include "drive/KernelNameOrder.h"
#include "platform/DeviceStatus.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <iterator>
#include <map>
#include <optional>

namespace corvane {

namespace {

// One metric family; all its samples must follow its HELP and TYPE lines.
struct Family
{
    const char *name;
    const char *type;
    const char *help;
    QByteArray samples;
};

enum FamilyIndex {
    ScrapeTimestamp,
    DriveInfo,
    DriveHealth,
    ReadErrors,
    Temperature,
    PowerOn,
    ThresholdExceeded,
    AttributeValue,
    AttributeWorst,
    AttributeThreshold,
    AttributeRaw,
    CriticalWarning,
    AvailableSpare,
    SpareThreshold,
    PercentageUsed,
    ReadBytes,
    WrittenBytes,
    MediaErrors,
    UnsafeShutdowns,
    FamilyCount
};

// The NVMe critical warning bits that are defined (bits 6 and 7 are reserved).
constexpr const char *kWarningBits[] = {"spare_below_threshold", "temperature", "reliability_degraded",
                                        "read_only", "volatile_backup_failed", "pmr_read_only"};

QByteArray number(double v)
{
    if (std::isnan(v))
        return QByteArrayLiteral("NaN");
    if (std::isinf(v))
        return v > 0 ? QByteArrayLiteral("+Inf") : QByteArrayLiteral("-Inf");
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? QByteArray(buf, end - buf) : QByteArrayLiteral("NaN");
}

// Percent values as fractions; two decimals are all the drive reports.
double ratio(const QVariant &percent)
{
    return percent.toDouble() / 100.0;
}

// A 128-bit NVMe counter from its Lo/Hi halves; doubles lose only digits nobody reads.
double counter128(const QVariantMap &p, const QString &key)
{
    return double(p.value(key + QStringLiteral("Lo")).toULongLong())
        + double(p.value(key + QStringLiteral("Hi")).toULongLong()) * 18446744073709551616.0;
}

std::optional<double> rawInteger(const QString &text)
{
    const std::optional<long long> v = rawValueInteger(text);
    return v ? std::optional<double>(double(*v)) : std::nullopt;
}

class Writer
{
public:
    Family families[FamilyCount] = {
        {"corvane_scrape_timestamp_seconds", "gauge", "Unix time at which the drives were read.", {}},
        {"corvane_drive_info", "gauge", "Identity of a drive; the value is always 1.", {}},
        {"corvane_drive_health", "gauge", "Corvane's verdict: 0 Passed, 1 Warning, 2 Failed, -1 unknown.", {}},
        {"corvane_drive_read_errors_total", "counter", "Reads of a drive that failed, by reason.", {}},
        {"corvane_drive_temperature_celsius", "gauge", "Current drive temperature.", {}},
        // Prometheus counts time in seconds; drives count power-on time in hours.
        {"corvane_drive_power_on_seconds", "gauge", "Power-on time of the drive (drives count whole hours).", {}},
        {"corvane_ata_smart_threshold_exceeded", "gauge",
         "1 when the drive's own SMART status reports a threshold exceeded, else 0.", {}},
        {"corvane_ata_attribute_value", "gauge", "Normalised value of an ATA SMART attribute.", {}},
        {"corvane_ata_attribute_worst", "gauge", "Worst normalised value of an ATA SMART attribute.", {}},
        {"corvane_ata_attribute_threshold", "gauge", "Failure threshold of an ATA SMART attribute (0 none).", {}},
        {"corvane_ata_attribute_raw", "gauge", "Raw value of an ATA SMART attribute as an integer.", {}},
        {"corvane_nvme_critical_warning", "gauge", "1 while the NVMe critical warning bit is set, else 0.", {}},
        {"corvane_nvme_available_spare_ratio", "gauge", "Remaining spare capacity of an NVMe drive.", {}},
        {"corvane_nvme_available_spare_threshold_ratio", "gauge",
         "Spare capacity below which an NVMe drive raises a critical warning.", {}},
        {"corvane_nvme_percentage_used_ratio", "gauge",
         "Vendor estimate of the NVMe drive's life used (may exceed 1).", {}},
        {"corvane_nvme_read_bytes_total", "counter", "Bytes read by the host from an NVMe drive.", {}},
        {"corvane_nvme_written_bytes_total", "counter", "Bytes written by the host to an NVMe drive.", {}},
        {"corvane_nvme_media_errors_total", "counter", "Unrecovered data integrity errors of an NVMe drive.", {}},
        {"corvane_nvme_unsafe_shutdowns_total", "counter", "Unsafe shutdowns of an NVMe drive.", {}},
    };

    // Starts a sample: name{ ... appended by label() ... } value by value().
    Writer &sample(FamilyIndex f)
    {
        _current = &families[f].samples;
        _current->append(families[f].name);
        _firstLabel = true;
        return *this;
    }
    Writer &label(const char *name, const QString &value)
    {
        _current->append(_firstLabel ? '{' : ',');
        _firstLabel = false;
        _current->append(name);
        _current->append("=\"");
        _current->append(escapeLabelValue(value));
        _current->append('"');
        return *this;
    }
    void value(double v)
    {
        if (!_firstLabel)
            _current->append('}');
        _current->append(' ');
        _current->append(number(v));
        _current->append('\n');
    }

    QByteArray text() const
    {
        QByteArray out;
        qsizetype size = 0;
        for (const Family &f : families)
            size += f.samples.size() + 160;
        out.reserve(size);
        for (const Family &f : families) {
            if (f.samples.isEmpty())
                continue;
            out.append("# HELP ").append(f.name).append(' ').append(f.help).append('\n');
            out.append("# TYPE ").append(f.name).append(' ').append(f.type).append('\n');
            out.append(f.samples);
        }
        return out;
    }

private:
    QByteArray *_current = nullptr;
    bool _firstLabel = true;
};

QString text(const QVariantMap &p, const char *key)
{
    return p.value(QLatin1String(key)).toString().trimmed();
}

double healthValue(const QString &verdict)
{
    if (verdict == QLatin1String("Passed"))
        return 0;
    if (verdict == QLatin1String("Warning"))
        return 1;
    if (verdict == QLatin1String("Failed"))
        return 2;
    return -1;
}

// The transport family only: the full transport text carries link speeds
// that change between boots and would start a new series each time.
QString interfaceOf(const QVariantMap &p)
{
    if (p.value(QStringLiteral("isNVMe")).toBool())
        return QStringLiteral("NVMe");
    const QString transport = text(p, "Transport Type");
    if (transport.startsWith(QLatin1String("SATA")))
        return QStringLiteral("SATA");
    if (transport.startsWith(QLatin1String("ATA8-APT")) || transport.startsWith(QLatin1String("ATA/ATAPI")))
        return QStringLiteral("PATA");
    if (transport.startsWith(QLatin1String("PCIe")))
        return QStringLiteral("PCIe");
    return QStringLiteral("ATA");
}

void writeAta(Writer &w, const QString &device, const QVariantMap &p)
{
    const QString health = text(p, "health");
    if (health == QLatin1String("Passed") || health == QLatin1String("Failed"))
        w.sample(ThresholdExceeded).label("device", device).value(health == QLatin1String("Failed") ? 1 : 0);
    if (const QString hours = text(p, "powerOnHours"); !hours.isEmpty())
        w.sample(PowerOn).label("device", device).value(double(leadingInteger(hours)) * 3600.0);
    if (const int celsius = p.value(QStringLiteral("temperature")).toInt(); celsius > 0)
        w.sample(Temperature).label("device", device).value(celsius);

    // A page may repeat an attribute number; the last entry counts, as for the headline values.
    std::map<int, QVariantMap> attributes;
    for (const QVariant &v : p.value(QStringLiteral("vendorspecificAttributes")).toList()) {
        const QVariantMap a = v.toMap();
        bool ok = false;
        const int id = a.value(QStringLiteral("ID")).toString().toInt(&ok);
        if (ok)
            attributes[id] = a;
    }
    for (const auto &entry : attributes) {
        // A named reference, not a structured binding: lambdas may capture only the former.
        const QVariantMap &a = entry.second;
        const QString idText = QString::number(entry.first);
        const QString name = a.value(QStringLiteral("attributeName")).toString();
        const auto put = [&](FamilyIndex f, const char *key) {
            bool ok = false;
            const int v = a.value(QLatin1String(key)).toString().toInt(&ok);
            if (ok)
                w.sample(f).label("device", device).label("id", idText).label("name", name).value(v);
        };
        put(AttributeValue, "value");
        put(AttributeWorst, "worst");
        put(AttributeThreshold, "threshold");
        if (const auto raw = rawInteger(a.value(QStringLiteral("rawValue")).toString()))
            w.sample(AttributeRaw).label("device", device).label("id", idText).label("name", name).value(*raw);
    }
}

void writeNvme(Writer &w, const QString &device, const QVariantMap &p)
{
    // Without the health log the reader leaves only the registry values.
    if (!p.contains(QStringLiteral("criticalWarning")))
        return;
    const uint warning = p.value(QStringLiteral("criticalWarning")).toUInt();
    for (uint bit = 0; bit < std::size(kWarningBits); ++bit)
        w.sample(CriticalWarning)
            .label("device", device)
            .label("bit", QString::number(bit))
            .label("name", QLatin1String(kWarningBits[bit]))
            .value((warning >> bit) & 1);
    if (p.value(QStringLiteral("temperature")).toUInt() > 0)
        w.sample(Temperature)
            .label("device", device)
            .value(std::round(p.value(QStringLiteral("temp_oC")).toDouble() * 100.0) / 100.0);
    w.sample(AvailableSpare).label("device", device).value(ratio(p.value(QStringLiteral("availableSpare"))));
    w.sample(SpareThreshold).label("device", device).value(ratio(p.value(QStringLiteral("spareThreshold"))));
    w.sample(PercentageUsed).label("device", device).value(ratio(p.value(QStringLiteral("percentUsed"))));
    // A data unit is 1000 blocks of 512 bytes.
    w.sample(ReadBytes).label("device", device).value(counter128(p, QStringLiteral("dataUnitsRead")) * 512000.0);
    w.sample(WrittenBytes).label("device", device).value(counter128(p, QStringLiteral("dataUnitsWrite")) * 512000.0);
    w.sample(MediaErrors).label("device", device).value(counter128(p, QStringLiteral("mediaErrors")));
    w.sample(UnsafeShutdowns).label("device", device).value(counter128(p, QStringLiteral("unsafeShutdowns")));
    w.sample(PowerOn).label("device", device).value(counter128(p, QStringLiteral("powerOnHours")) * 3600.0);
}

} // namespace

QByteArray escapeLabelValue(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\')
            out.append("\\\\");
        else if (c == '"')
            out.append("\\\"");
        else if (c == '\n')
            out.append("\\n");
        else
            out.append(c);
    }
    return out;
}

QString readErrorReason(int32_t status)
{
    if (isPrivilegeStatus(status))
        return QStringLiteral("permission_denied");
    if (isNoDeviceStatus(status))
        return QStringLiteral("no_device");
    if (status == kStatusTimeout || errnoOfStatus(status) == ETIMEDOUT)
        return QStringLiteral("timeout");
    if (const int e = errnoOfStatus(status))
        return QStringLiteral("os_error_") + errnoName(e).toLower();
    switch (uint32_t(status) >> 16) {
    case 0xE0C1:
        return QStringLiteral("ata_error");
    case 0xE0C2:
        return QStringLiteral("nvme_error");
    case 0xE0C3:
        return QStringLiteral("transfer_error");
    default:
        break;
    }
    if ((uint32_t(status) >> 20) == 0xE0D)
        return QStringLiteral("scsi_error");
    return QStringLiteral("unknown");
}

QList<ReadErrorCount> readErrorsOf(const QList<QVariantMap> &drives)
{
    QList<ReadErrorCount> errors;
    for (const QVariantMap &p : drives) {
        const int32_t status = p.value(QLatin1String(kReadStatusKey)).toInt();
        if (status != 0)
            errors.append({p.value(QStringLiteral("bsdName")).toString(), readErrorReason(status), 1});
    }
    return errors;
}

QString driveDatabaseFamily(const QString &model, const QString &firmware)
{
    if (model.isEmpty())
        return {};
    const QString family =
        THSmartDeviceDatabase::lookupDriveModel(model, firmware).value(QStringLiteral("modelfamily")).toString();
    // The first entry holds the presets every drive shares, not a family.
    return family.startsWith(QLatin1String("DEFAULT")) ? QString() : family;
}

QByteArray prometheusExposition(const QList<QVariantMap> &drives, double scrapeTimestampSeconds,
                                const QList<ReadErrorCount> &readErrors, const ModelFamilyLookup &family)
{
    QList<const QVariantMap *> ordered;
    ordered.reserve(drives.size());
    for (const QVariantMap &p : drives)
        ordered.append(&p);
    std::stable_sort(ordered.begin(), ordered.end(), [](const QVariantMap *a, const QVariantMap *b) {
        return kernelNameLess(a->value(QStringLiteral("bsdName")).toString(),
                              b->value(QStringLiteral("bsdName")).toString());
    });

    Writer w;
    w.sample(ScrapeTimestamp).value(scrapeTimestampSeconds);
    QString previous;
    for (const QVariantMap *drive : std::as_const(ordered)) {
        const QVariantMap &p = *drive;
        const QString device = text(p, "bsdName");
        // Two entries for one device would make the whole exposition invalid.
        if (device.isEmpty() || device == previous)
            continue;
        previous = device;
        const QString model = text(p, "Device Model");
        const QString firmware = text(p, "Firmware Version");
        QString modelFamily = text(p, "Model Family");
        if (modelFamily == QLatin1String("-"))
            modelFamily.clear();
        if (modelFamily.isEmpty() && family)
            modelFamily = family(model, firmware);
        w.sample(DriveInfo)
            .label("device", device)
            .label("model", model)
            .label("serial", text(p, "Serial Number"))
            .label("firmware", firmware)
            .label("interface", interfaceOf(p))
            .label("location", text(p, "location"))
            .label("model_family", modelFamily)
            .value(1);
        w.sample(DriveHealth).label("device", device).value(healthValue(text(p, "attributeHealth")));
        if (p.value(QStringLiteral("isNVMe")).toBool())
            writeNvme(w, device, p);
        else
            writeAta(w, device, p);
    }

    QList<ReadErrorCount> errors = readErrors;
    std::sort(errors.begin(), errors.end(), [](const ReadErrorCount &a, const ReadErrorCount &b) {
        return kernelNameLess(a.device, b.device) || (a.device == b.device && a.reason < b.reason);
    });
    for (qsizetype i = 0; i < errors.size(); ++i) {
        quint64 count = errors[i].count;
        for (; i + 1 < errors.size() && errors[i + 1].device == errors[i].device
               && errors[i + 1].reason == errors[i].reason;
             ++i)
            count += errors[i + 1].count;
        w.sample(ReadErrors).label("device", errors[i].device).label("reason", errors[i].reason).value(double(count));
    }
    return w.text();
}

} // namespace corvane
