// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/UdevRegistry.h"

#include "platform/linux/MountInfo.h"

#include "drive/KernelNameOrder.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace corvane {

bool isDriveKernelName(const QString &sysname)
{
    static const QRegularExpression notDrives(
        QStringLiteral("^(loop|ram|zram|dm-|md|sr|scd|fd|nbd|rbd|drbd|bcache|zd|ubiblock|mtdblock|mmcblk[0-9]+boot)"));
    return !sysname.isEmpty() && !notDrives.match(sysname).hasMatch();
}

QString decodeUdevString(const QString &encoded)
{
    QByteArray out;
    const QByteArray in = encoded.toUtf8();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int byte = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(byte));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

namespace {

// "major:minor" → first mount point.
QHash<QString, QString> mountPoints(const QByteArray &text)
{
    QHash<QString, QString> mounts;
    for (const MountEntry &entry : parseMountInfo(text)) {
        if (!mounts.contains(entry.device))
            mounts.insert(entry.device, entry.mountPoint);
    }
    return mounts;
}

QString prop(const UdevDevice &d, const char *key)
{
    return d.properties.value(QString::fromLatin1(key)).trimmed();
}

QString attr(const UdevDevice &d, const char *key)
{
    return d.attributes.value(QString::fromLatin1(key)).trimmed();
}

// A udev property that exists plain and "_ENC"-escaped; the escaped one keeps blanks.
QString encodedProp(const UdevDevice &d, const char *key)
{
    const QString enc = prop(d, (QByteArray(key) + "_ENC").constData());
    if (!enc.isEmpty())
        return decodeUdevString(enc).trimmed();
    return prop(d, key);
}

// ID_MODEL replaces blanks with '_'; ID_MODEL_ENC keeps them.
QString modelProp(const UdevDevice &d)
{
    if (!prop(d, "ID_MODEL_ENC").isEmpty())
        return encodedProp(d, "ID_MODEL");
    return prop(d, "ID_MODEL").replace(QLatin1Char('_'), QLatin1Char(' ')).trimmed();
}

struct Topology
{
    const UdevDevice *drive = nullptr; // the disk's parent: SCSI device, NVMe controller, ...
    const UdevDevice *thunderbolt = nullptr;
    bool usb = false, firewire = false, sas = false, libata = false, virtualBus = false, mmc = false,
         scsi = false, nvme = false, externalPci = false;
};

bool isThunderboltPci(const UdevDevice &d)
{
    if (d.subsystem == QLatin1String("thunderbolt"))
        return true;
    if (d.subsystem != QLatin1String("pci"))
        return false;
    const QString model = prop(d, "ID_MODEL_FROM_DATABASE");
    return model.contains(QLatin1String("Thunderbolt"), Qt::CaseInsensitive)
        || model.contains(QLatin1String("USB4"), Qt::CaseInsensitive);
}

Topology topologyOf(const UdevDevice &disk, const QHash<QString, const UdevDevice *> &bySyspath)
{
    static const QRegularExpression ataPort(QStringLiteral("^ata[0-9]+$"));
    Topology t;
    t.drive = bySyspath.value(disk.parent);
    // Bounded walk: a captured folder could describe a loop.
    int depth = 0;
    for (const UdevDevice *d = t.drive; d && depth < 256; d = bySyspath.value(d->parent), ++depth) {
        const QString &s = d->subsystem;
        if (s == QLatin1String("usb"))
            t.usb = true;
        else if (s == QLatin1String("firewire") || s == QLatin1String("ieee1394"))
            t.firewire = true;
        else if (s.startsWith(QLatin1String("sas_")) || d->sysname.startsWith(QLatin1String("end_device-")))
            t.sas = true;
        else if (s == QLatin1String("virtio") || s == QLatin1String("xen") || s == QLatin1String("vmbus"))
            t.virtualBus = true;
        else if (s == QLatin1String("mmc"))
            t.mmc = true;
        else if (s == QLatin1String("scsi"))
            t.scsi = true;
        else if (s == QLatin1String("nvme") || s == QLatin1String("nvme-subsystem"))
            t.nvme = true;
        if (ataPort.match(d->sysname).hasMatch())
            t.libata = true;
        if (!t.thunderbolt && isThunderboltPci(*d))
            t.thunderbolt = d;
        if (s == QLatin1String("pci") && attr(*d, "removable") == QLatin1String("removable"))
            t.externalPci = true;
    }
    return t;
}

QString interconnect(const Topology &t, const UdevDevice &disk)
{
    if (t.nvme) {
        const QString transport = t.drive ? attr(*t.drive, "transport") : QString();
        if (transport.isEmpty() || transport == QLatin1String("pcie"))
            return QStringLiteral("PCI-Express");
        if (transport == QLatin1String("loop"))
            return QStringLiteral("Virtual Interface");
        return QStringLiteral("NVMe over ") + transport.toUpper();
    }
    if (t.usb)
        return QStringLiteral("USB");
    if (t.firewire)
        return QStringLiteral("FireWire");
    if (t.sas)
        return QStringLiteral("SAS");
    if (t.libata) {
        if (prop(disk, "ID_ATA") == QLatin1String("1") && prop(disk, "ID_ATA_SATA") != QLatin1String("1"))
            return QStringLiteral("ATA");
        return QStringLiteral("SATA");
    }
    if (t.virtualBus)
        return QStringLiteral("Virtual Interface");
    if (t.mmc)
        return QStringLiteral("SD");
    if (t.scsi)
        return QStringLiteral("SCSI");
    return {};
}

struct DriveFacts
{
    QVariantMap driveProperties; // for the disk's parent entry
    QString model;
    QString vendor;
    bool internal = true;
    QString interconnect;
};

DriveFacts driveFacts(const UdevDevice &disk, const Topology &t)
{
    DriveFacts f;
    QVariantMap &p = f.driveProperties;
    const UdevDevice *drive = t.drive;
    const bool ataIdentity = prop(disk, "ID_ATA") == QLatin1String("1");
    const bool libataVendor = drive && attr(*drive, "vendor") == QLatin1String("ATA");

    QString serial, model, rev, vendor;
    if (t.nvme && drive) {
        p.insert(QStringLiteral("NVMe SMART Capable"), true);
        model = attr(*drive, "model");
        serial = attr(*drive, "serial");
        rev = attr(*drive, "firmware_rev");
    } else if (ataIdentity || libataVendor) {
        // libata and SAT bridges: ata_id's IDENTIFY fields beat the SCSI
        // inquiry strings, which are cut to 16 characters.
        const QString smart = prop(disk, "ID_ATA_FEATURE_SET_SMART");
        p.insert(QStringLiteral("SMART Capable"), smart.isEmpty() || smart == QLatin1String("1"));
        if (ataIdentity) {
            model = modelProp(disk);
            rev = prop(disk, "ID_REVISION");
        }
    }
    if (serial.isEmpty())
        serial = prop(disk, "ID_SERIAL_SHORT");
    if (serial.isEmpty())
        serial = attr(disk, "serial");
    if (drive) {
        if (model.isEmpty())
            model = attr(*drive, "model").isEmpty() ? attr(*drive, "name") : attr(*drive, "model");
        if (rev.isEmpty())
            rev = attr(*drive, "rev").isEmpty() ? attr(*drive, "fwrev") : attr(*drive, "rev");
        if (serial.isEmpty())
            serial = attr(*drive, "serial");
        // libata's SCSI vendor "ATA" is a placeholder, not the maker.
        const QString v = attr(*drive, "vendor");
        if (!t.nvme && !ataIdentity && !v.startsWith(QLatin1String("0x")) && v != QLatin1String("ATA"))
            vendor = v;
    }
    if (model.isEmpty())
        model = modelProp(disk);

    if (!serial.isEmpty())
        p.insert(QStringLiteral("Serial Number"), serial);
    if (!model.isEmpty())
        p.insert(QStringLiteral("Model"), model);
    if (!rev.isEmpty())
        p.insert(QStringLiteral("Product Revision Level"), rev);
    if (!vendor.isEmpty())
        p.insert(QStringLiteral("Vendor Name"), vendor);

    QVariantMap device;
    const QString rpm = prop(disk, "ID_ATA_ROTATION_RATE_RPM");
    const QString rotational = attr(disk, "queue/rotational");
    if (!rpm.isEmpty()) {
        // ata_id reports 0 for a drive that says it does not rotate.
        if (rpm.toInt() == 0) {
            device.insert(QStringLiteral("Medium Type"), QStringLiteral("Solid State"));
        } else {
            device.insert(QStringLiteral("Medium Type"), QStringLiteral("Rotational"));
            device.insert(QStringLiteral("Rotation Rate"), rpm.toInt());
        }
    } else if (rotational == QLatin1String("0")) {
        device.insert(QStringLiteral("Medium Type"), QStringLiteral("Solid State"));
    } else if (rotational == QLatin1String("1")) {
        device.insert(QStringLiteral("Medium Type"), QStringLiteral("Rotational"));
    }
    if (!device.isEmpty())
        p.insert(QStringLiteral("Device Characteristics"), device);

    f.interconnect = interconnect(t, disk);
    f.internal = !(t.usb || t.firewire || t.thunderbolt || t.externalPci);
    QVariantMap protocol;
    if (!f.interconnect.isEmpty())
        protocol.insert(QStringLiteral("Physical Interconnect"), f.interconnect);
    protocol.insert(QStringLiteral("Physical Interconnect Location"),
                    f.internal ? QStringLiteral("Internal") : QStringLiteral("External"));
    p.insert(QStringLiteral("Protocol Characteristics"), protocol);
    f.model = model;
    f.vendor = vendor;
    return f;
}

QString partitionContent(const UdevDevice &part)
{
    const QString scheme = prop(part, "ID_PART_ENTRY_SCHEME");
    const QString type = prop(part, "ID_PART_ENTRY_TYPE");
    if (type.isEmpty())
        return {};
    if (scheme == QLatin1String("dos") || type.startsWith(QLatin1String("0x"))) {
        bool ok = false;
        const uint byte = type.mid(2).toUInt(&ok, 16);
        return ok && byte <= 0xff ? QStringLiteral("0x%1").arg(byte, 2, 16, QLatin1Char('0')) : type;
    }
    return type.toUpper();
}

QString tableContent(const UdevDevice &disk)
{
    const QString table = prop(disk, "ID_PART_TABLE_TYPE");
    if (table == QLatin1String("gpt"))
        return QStringLiteral("GUID_partition_scheme");
    if (table == QLatin1String("dos"))
        return QStringLiteral("FDisk_partition_scheme");
    if (table == QLatin1String("mac"))
        return QStringLiteral("Apple_partition_scheme");
    // Any other table (BSD, Sun, ...) is not a scheme enumeration knows.
    return table.isEmpty() ? QString() : table;
}

qint64 sizeInBytes(const UdevDevice &d)
{
    // sysfs counts 512-byte units whatever the logical block size.
    return attr(d, "size").toLongLong() * 512;
}

} // namespace

std::unique_ptr<TreeRegistry> buildUdevRegistry(const DeviceSource &source)
{
    const QList<UdevDevice> all = source.devices();
    QHash<QString, const UdevDevice *> bySyspath;
    for (const UdevDevice &d : all)
        bySyspath.insert(d.syspath, &d);
    const QHash<QString, QString> mounts = mountPoints(source.mountInfo());

    auto isBlock = [](const UdevDevice &d) { return d.subsystem == QLatin1String("block"); };
    auto isWholeDrive = [&](const UdevDevice &d) {
        return isBlock(d) && d.devtype == QLatin1String("disk") && isDriveKernelName(d.sysname)
            && attr(d, "hidden") != QLatin1String("1");
    };

    // Keep the drives, their partitions and every ancestor of those.
    QSet<QString> keep;
    for (const UdevDevice &d : all) {
        if (!isBlock(d))
            continue;
        const UdevDevice *disk = d.devtype == QLatin1String("partition") ? bySyspath.value(d.parent) : &d;
        if (!disk || !isWholeDrive(*disk))
            continue;
        int depth = 0;
        for (const UdevDevice *a = &d; a && !keep.contains(a->syspath) && depth < 256;
             a = bySyspath.value(a->parent), ++depth)
            keep.insert(a->syspath);
    }
    QList<const UdevDevice *> kept;
    for (const UdevDevice &d : all) {
        if (keep.contains(d.syspath))
            kept.append(&d);
    }
    // Tree order is the order users read: sda before sdb, sda2 before sda10.
    std::sort(kept.begin(), kept.end(), [](const UdevDevice *a, const UdevDevice *b) {
        return kernelNameLess(a->syspath, b->syspath);
    });

    std::vector<RegistryNode> nodes;
    QHash<QString, int> indexOf;
    for (const UdevDevice *d : kept) {
        RegistryNode n;
        n.id = d->syspath.startsWith(QLatin1String("/sys")) ? d->syspath.mid(4) : d->syspath;
        n.name = d->sysname;
        n.properties.insert(QStringLiteral("Subsystem"), d->subsystem);
        indexOf.insert(d->syspath, int(nodes.size()));
        nodes.push_back(std::move(n));
    }
    for (const UdevDevice *d : kept) {
        const auto p = indexOf.constFind(d->parent);
        // A parent that could not be captured leaves the device at the root.
        nodes[size_t(indexOf.value(d->syspath))].parent = p == indexOf.cend() ? -1 : p.value();
    }

    // sysfs can't loop, but a hand-edited capture can: cut a loop where it is found.
    for (size_t i = 0; i < nodes.size(); ++i) {
        size_t steps = 0;
        for (int p = nodes[i].parent; p >= 0 && steps <= nodes.size(); p = nodes[size_t(p)].parent)
            ++steps;
        if (steps > nodes.size())
            nodes[i].parent = -1;
    }

    QHash<QString, DriveFacts> facts; // by disk syspath
    for (const UdevDevice *d : kept) {
        if (!isWholeDrive(*d))
            continue;
        const Topology t = topologyOf(*d, bySyspath);
        DriveFacts f = driveFacts(*d, t);
        if (t.drive) {
            RegistryNode &driveNode = nodes[size_t(indexOf.value(t.drive->syspath))];
            for (auto it = f.driveProperties.cbegin(); it != f.driveProperties.cend(); ++it) {
                if (!driveNode.properties.contains(it.key()))
                    driveNode.properties.insert(it.key(), it.value());
            }
        }
        if (t.thunderbolt) {
            nodes[size_t(indexOf.value(t.thunderbolt->syspath))].properties.insert(
                QStringLiteral("Controller Characteristics"),
                QVariantMap{{QStringLiteral("Vendor Name"), QStringLiteral("Thunderbolt")}});
        }
        facts.insert(d->syspath, f);
    }

    for (const UdevDevice *d : kept) {
        if (!isBlock(*d))
            continue;
        RegistryNode &n = nodes[size_t(indexOf.value(d->syspath))];
        const bool whole = d->devtype == QLatin1String("disk");
        n.properties.insert(QStringLiteral("Whole"), whole);
        n.properties.insert(QStringLiteral("BSD Name"), d->sysname);
        QVariantMap desc;
        desc.insert(QStringLiteral("DAMediaBSDName"), d->sysname);
        desc.insert(QStringLiteral("DAMediaSize"), sizeInBytes(*d));
        desc.insert(QStringLiteral("DAMediaWhole"), whole);
        if (!d->devnode.isEmpty())
            desc.insert(QStringLiteral("DAMediaPath"), d->devnode);
        const QString mountPoint = mounts.value(attr(*d, "dev"));
        if (whole) {
            const DriveFacts f = facts.value(d->syspath);
            // The drive's sector, which the drive record reports as "physical".
            int block = attr(*d, "queue/physical_block_size").toInt();
            if (block <= 0)
                block = attr(*d, "queue/logical_block_size").toInt();
            desc.insert(QStringLiteral("DAMediaBlockSize"), block > 0 ? block : 512);
            desc.insert(QStringLiteral("DAMediaName"), f.model);
            desc.insert(QStringLiteral("DAMediaContent"), tableContent(*d));
            desc.insert(QStringLiteral("DADeviceInternal"), f.internal);
            desc.insert(QStringLiteral("DAMediaRemovable"), attr(*d, "removable") == QLatin1String("1"));
            desc.insert(QStringLiteral("DADeviceModel"), f.model);
            desc.insert(QStringLiteral("DADeviceVendor"), f.vendor);
            desc.insert(QStringLiteral("DADeviceProtocol"), f.interconnect);
        } else {
            const UdevDevice *disk = bySyspath.value(d->parent);
            const int block = disk ? attr(*disk, "queue/logical_block_size").toInt() : 0;
            desc.insert(QStringLiteral("DAMediaBlockSize"), block > 0 ? block : 512);
            // udev stores the GPT partition name escaped, without an _ENC twin.
            desc.insert(QStringLiteral("DAMediaName"), decodeUdevString(prop(*d, "ID_PART_ENTRY_NAME")));
            desc.insert(QStringLiteral("DAMediaContent"), partitionContent(*d));
            // Without udev's database (containers) a mounted partition is still known to hold a file system.
            const QString usage = prop(*d, "ID_FS_USAGE");
            desc.insert(QStringLiteral("DAVolumeMountable"),
                        usage == QLatin1String("filesystem") || (usage.isEmpty() && !mountPoint.isEmpty()));
            QString label = encodedProp(*d, "ID_FS_LABEL");
            if (label.isEmpty() && !mountPoint.isEmpty())
                label = mountPoint.section(QLatin1Char('/'), -1);
            desc.insert(QStringLiteral("DAVolumeName"), label);
            desc.insert(QStringLiteral("DAVolumeKind"), prop(*d, "ID_FS_TYPE"));
        }
        if (!mountPoint.isEmpty())
            desc.insert(QStringLiteral("DAVolumePath"), mountPoint);
        n.description = desc;
    }

    auto registry = TreeRegistry::create(std::move(nodes));
    return registry ? std::move(registry) : TreeRegistry::create({});
}

std::unique_ptr<TreeRegistry> openSystemRegistry()
{
    return buildUdevRegistry(LibudevDeviceSource());
}

} // namespace corvane
