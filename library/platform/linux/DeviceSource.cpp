// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DeviceSource.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

#include <libudev.h>

namespace corvane {

const QList<QByteArray> &interestingAttributes()
{
    static const QList<QByteArray> names = {
        // block devices
        "size", "removable", "ro", "hidden", "dev", "partition", "start",
        "queue/rotational", "queue/logical_block_size", "queue/physical_block_size",
        // scsi_device, nvme controllers, virtio and mmc
        "vendor", "model", "rev", "type", "serial", "firmware_rev", "transport", "cntlid",
        "name", "fwrev", "oemid",
        // pci, usb, thunderbolt
        "device", "class", "idVendor", "idProduct", "manufacturer", "product", "speed",
        "vendor_name", "device_name",
    };
    return names;
}

namespace {

QString str(const char *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

UdevDevice fromUdev(udev_device *dev)
{
    UdevDevice d;
    d.syspath = str(udev_device_get_syspath(dev));
    if (udev_device *p = udev_device_get_parent(dev))
        d.parent = str(udev_device_get_syspath(p));
    d.subsystem = str(udev_device_get_subsystem(dev));
    d.devtype = str(udev_device_get_devtype(dev));
    d.sysname = str(udev_device_get_sysname(dev));
    d.devnode = str(udev_device_get_devnode(dev));
    for (const QByteArray &name : interestingAttributes()) {
        const char *value = udev_device_get_sysattr_value(dev, name.constData());
        if (value)
            d.attributes.insert(QString::fromLatin1(name), QString::fromUtf8(value).trimmed());
    }
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(dev))
    {
        d.properties.insert(str(udev_list_entry_get_name(entry)), str(udev_list_entry_get_value(entry)));
    }
    return d;
}

} // namespace

QList<UdevDevice> LibudevDeviceSource::devices() const
{
    QList<UdevDevice> result;
    udev *u = udev_new();
    if (!u)
        return result;
    udev_enumerate *en = udev_enumerate_new(u);
    if (en && udev_enumerate_add_match_subsystem(en, "block") >= 0 && udev_enumerate_scan_devices(en) >= 0) {
        QSet<QString> seen;
        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en))
        {
            // A device can vanish between the scan and this look-up; it is then just absent.
            udev_device *dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
            if (!dev)
                continue;
            // Parents belong to their child and are freed with it.
            for (udev_device *d = dev; d; d = udev_device_get_parent(d)) {
                const QString path = str(udev_device_get_syspath(d));
                if (seen.contains(path))
                    break;
                seen.insert(path);
                result.append(fromUdev(d));
            }
            udev_device_unref(dev);
        }
    }
    if (en)
        udev_enumerate_unref(en);
    udev_unref(u);
    return result;
}

QByteArray LibudevDeviceSource::mountInfo() const
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

namespace {

QJsonObject toJson(const QMap<QString, QString> &map)
{
    QJsonObject o;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

bool fromJson(const QJsonValue &v, QMap<QString, QString> *out)
{
    if (v.isUndefined())
        return true;
    if (!v.isObject())
        return false;
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!it.value().isString())
            return false;
        out->insert(it.key(), it.value().toString());
    }
    return true;
}

} // namespace

std::unique_ptr<CapturedDeviceSource> CapturedDeviceSource::open(const QString &folder, QString *error)
{
    const QDir dir(folder);
    auto fail = [&](const QString &why) -> std::unique_ptr<CapturedDeviceSource> {
        if (error)
            *error = QStringLiteral("%1: %2").arg(dir.filePath(QStringLiteral("devices.json")), why);
        return nullptr;
    };
    QFile file(dir.filePath(QStringLiteral("devices.json")));
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not valid JSON at byte %1: %2").arg(parseError.offset).arg(parseError.errorString()));
    const QJsonValue list = doc.object().value(QLatin1String("devices"));
    if (!list.isArray())
        return fail(QStringLiteral("\"devices\" must be an array"));
    auto source = std::unique_ptr<CapturedDeviceSource>(new CapturedDeviceSource);
    const QJsonArray devices = list.toArray();
    for (int i = 0; i < devices.size(); ++i) {
        const QJsonObject o = devices.at(i).toObject();
        UdevDevice d;
        d.syspath = o.value(QLatin1String("syspath")).toString();
        if (d.syspath.isEmpty())
            return fail(QStringLiteral("device %1 has no \"syspath\"").arg(i));
        d.parent = o.value(QLatin1String("parent")).toString();
        d.subsystem = o.value(QLatin1String("subsystem")).toString();
        d.devtype = o.value(QLatin1String("devtype")).toString();
        d.sysname = o.value(QLatin1String("sysname")).toString(d.syspath.section(QLatin1Char('/'), -1));
        d.devnode = o.value(QLatin1String("devnode")).toString();
        if (!fromJson(o.value(QLatin1String("attributes")), &d.attributes)
            || !fromJson(o.value(QLatin1String("properties")), &d.properties))
            return fail(QStringLiteral("device %1: attributes and properties must map names to strings").arg(i));
        source->_devices.append(d);
    }
    QFile mounts(dir.filePath(QStringLiteral("mountinfo")));
    if (mounts.open(QIODevice::ReadOnly))
        source->_mountInfo = mounts.readAll();
    return source;
}

bool captureDeviceSource(const DeviceSource &source, const QString &folder, QString *error)
{
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("%1: cannot create folder").arg(folder);
        return false;
    }
    QJsonArray devices;
    for (const UdevDevice &d : source.devices()) {
        QJsonObject o;
        o.insert(QLatin1String("syspath"), d.syspath);
        if (!d.parent.isEmpty())
            o.insert(QLatin1String("parent"), d.parent);
        o.insert(QLatin1String("subsystem"), d.subsystem);
        if (!d.devtype.isEmpty())
            o.insert(QLatin1String("devtype"), d.devtype);
        o.insert(QLatin1String("sysname"), d.sysname);
        if (!d.devnode.isEmpty())
            o.insert(QLatin1String("devnode"), d.devnode);
        o.insert(QLatin1String("attributes"), toJson(d.attributes));
        o.insert(QLatin1String("properties"), toJson(d.properties));
        devices.append(o);
    }
    const QDir dir(folder);
    const std::pair<QString, QByteArray> files[] = {
        {QStringLiteral("devices.json"), QJsonDocument(QJsonObject{{QLatin1String("devices"), devices}}).toJson()},
        {QStringLiteral("mountinfo"), source.mountInfo()},
    };
    for (const auto &[name, content] : files) {
        QSaveFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size() || !f.commit()) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(f.fileName(), f.errorString());
            return false;
        }
    }
    return true;
}

} // namespace corvane
