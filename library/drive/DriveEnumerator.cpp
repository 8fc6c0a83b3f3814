// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveEnumerator.h"

#include "drive/KernelNameOrder.h"
#include "drive/ManufacturerLogos.h"

#include <QStringConverter>

namespace corvane {

namespace {

const QString kSmartCapable = QStringLiteral("SMART Capable");
const QString kNvmeSmartCapable = QStringLiteral("NVMe SMART Capable");
// Deeper than any real device tree; a faulty registry can't make a walk endless.
constexpr int kMaxWalk = 4096;

QString schemeName(const QVariant &content, bool *known)
{
    *known = true;
    if (content.isValid()) {
        const QString c = content.toString();
        if (c.isEmpty())
            return QStringLiteral("Unformatted");
        if (c == QLatin1String("Apple_partition_scheme"))
            return QStringLiteral("Apple Partition Map");
        if (c == QLatin1String("FDisk_partition_scheme"))
            return QStringLiteral("Master Boot Record");
        if (c == QLatin1String("GUID_partition_scheme"))
            return QStringLiteral("GUID Partition Map");
    }
    *known = false;
    return {};
}

// io-device-location comes as bytes on some registries, text on others.
QString deviceLocationText(const QVariant &value)
{
    QString text;
    if (value.typeId() == QMetaType::QByteArray) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        text = decoder.decode(value.toByteArray());
        if (decoder.hasError())
            return {};
    } else if (value.typeId() == QMetaType::QString) {
        text = value.toString();
    }
    qsizetype begin = 0, end = text.size();
    while (begin < end && text.at(begin) == QChar(0))
        ++begin;
    while (end > begin && text.at(end - 1) == QChar(0))
        --end;
    return text.mid(begin, end - begin);
}

bool isTrue(const QVariantMap &props, const QString &key)
{
    const auto it = props.constFind(key);
    return it != props.cend() && it.value().toBool();
}

QString firstPresent(const QVariantMap &props, std::initializer_list<const char *> keys)
{
    for (const char *key : keys) {
        const auto it = props.constFind(QString::fromLatin1(key));
        if (it != props.cend())
            return it.value().toString().trimmed();
    }
    return {};
}

} // namespace

QString driveIconName(bool internal, bool removable)
{
    if (internal)
        return QStringLiteral("drive-harddisk");
    if (removable)
        return QStringLiteral("drive-removable-media");
    return QStringLiteral("drive-harddisk-usb");
}

const DriveInformation &DriveEnumerator::driveInformation()
{
    ++_runs;
    _cache = DriveInformation();
    _leftOut.clear();

    const QList<RegistryEntry> media = _registry.matchingServices({{QStringLiteral("Whole"), true}});
    for (const RegistryEntry &entry : media) {
        const bool smartPresent = _registry.searchProperty(entry, kSmartCapable).isValid()
            || _registry.searchProperty(entry, kNvmeSmartCapable).isValid();

        const std::optional<QVariantMap> description = _registry.diskDescription(entry);
        const QVariantMap desc = description.value_or(QVariantMap());
        QString bsdName = desc.value(QStringLiteral("DAMediaBSDName")).toString();
        const QString reportName = bsdName.isEmpty() ? _registry.name(entry) : bsdName;
        bool knownScheme = false;
        const QVariant content = desc.value(QStringLiteral("DAMediaContent"));
        const QString scheme = schemeName(content, &knownScheme);
        if (!description) {
            _leftOut.append({reportName, QStringLiteral("the medium has no disk description")});
            continue;
        }
        if (!knownScheme) {
            _leftOut.append({reportName, content.isValid()
                                             ? QStringLiteral("its partition table \"%1\" is not one Corvane lists").arg(content.toString())
                                             : QStringLiteral("its partition table is unknown")});
            continue;
        }
        if (!smartPresent) {
            const QString link = _registry.searchProperty(entry, QStringLiteral("Protocol Characteristics"))
                                     .toMap().value(QStringLiteral("Physical Interconnect")).toString();
            _leftOut.append({reportName, link.isEmpty()
                                             ? QStringLiteral("it is not an ATA or NVMe drive, so it has no SMART interface")
                                             : QStringLiteral("it is attached through %1, which has no SMART interface").arg(link)});
            continue;
        }

        const bool internal = desc.value(QStringLiteral("DADeviceInternal")).toInt() == 1;
        const bool removable = desc.value(QStringLiteral("DAMediaRemovable")).toBool();
        const QVariant iconDict = desc.value(QStringLiteral("DAMediaIcon"));

        const QVariantList volumes = enumerateDeviceVolumes(entry);
        const QVariantMap ident = deviceIdentification(entry);
        const QString identModel = ident.value(QStringLiteral("model")).toString();
        const QString mediaName = desc.value(QStringLiteral("DAMediaName")).toString();
        const QString model = !identModel.isEmpty() ? identModel : (!mediaName.isEmpty() ? mediaName : identModel);

        const bool thunderbolt = _registry.searchProperty(entry, QStringLiteral("Controller Characteristics"))
                                     .toMap().value(QStringLiteral("Vendor Name")).toString()
            == QLatin1String("Thunderbolt");
        const QString deviceLocation = deviceLocationText(_registry.searchProperty(entry, QStringLiteral("io-device-location")));

        // The nearest ancestor that says yes decides ATA or NVMe.
        QVariantMap smartProps;
        bool found = false, isNVMe = false;
        RegistryEntry walker = _registry.parentEntry(entry);
        for (int depth = 0; !walker.isNull() && depth < kMaxWalk; ++depth) {
            const QVariantMap props = _registry.properties(walker);
            if (isTrue(props, kSmartCapable) || isTrue(props, kNvmeSmartCapable)) {
                found = true;
                isNVMe = !isTrue(props, kSmartCapable);
                smartProps = props;
                break;
            }
            walker = _registry.parentEntry(walker);
        }
        if (!found) {
            _leftOut.append({reportName, QStringLiteral("its drive announces SMART but does not support it")});
            continue;
        }

        const QVariantMap device = smartProps.value(QStringLiteral("Device Characteristics")).toMap();
        const QVariantMap protocol = smartProps.value(QStringLiteral("Protocol Characteristics")).toMap();
        QString driveType;
        const QString medium = device.value(QStringLiteral("Medium Type")).toString();
        if (medium == QLatin1String("Solid State")) {
            driveType = QStringLiteral("SSD ");
        } else if (medium == QLatin1String("Rotational")) {
            const QVariant rate = device.value(QStringLiteral("Rotation Rate"));
            driveType = QStringLiteral("HDD %1").arg(rate.isValid() ? QStringLiteral("%1 rpm").arg(rate.toString()) : QString());
        }
        const QString locCon = thunderbolt
            ? QStringLiteral("External Thunderbolt")
            : QStringLiteral("%1 %2 %3").arg(protocol.value(QStringLiteral("Physical Interconnect Location")).toString(),
                                             protocol.value(QStringLiteral("Physical Interconnect")).toString(),
                                             deviceLocation.isEmpty() ? QString() : QStringLiteral("- ") + deviceLocation);

        const QString logo = mfgLogoForDriveModel(model);
        const QString logoPath = mfgLogoPathForDriveModel(model);
        QVariantMap s;
        s.insert(QStringLiteral("isNVMe"), isNVMe);
        s.insert(QStringLiteral("User Capacity"), desc.value(QStringLiteral("DAMediaSize")).toLongLong());
        s.insert(QStringLiteral("sectorSizeStr"),
                 QStringLiteral("%1 bytes physical").arg(desc.value(QStringLiteral("DAMediaBlockSize")).toLongLong()));
        s.insert(QStringLiteral("Loc-Con"), locCon);
        s.insert(QStringLiteral("bsdName"), bsdName);
        s.insert(QStringLiteral("Serial Number"), ident.value(QStringLiteral("serial")));
        s.insert(QStringLiteral("Device Model"), model);
        s.insert(QStringLiteral("Firmware Version"), ident.value(QStringLiteral("rev")));
        s.insert(QStringLiteral("nvmeRevSupported"), ident.value(QStringLiteral("nvmerev")));
        s.insert(QStringLiteral("Drive Type"), driveType);
        s.insert(QStringLiteral("scheme"), scheme);
        s.insert(QStringLiteral("volumes"), volumes);
        s.insert(QStringLiteral("diskMfgLogo"), logo.isEmpty() ? QString() : logo);
        s.insert(QStringLiteral("mfgLogoPath"), logoPath.isEmpty() ? QString() : logoPath);
        s.insert(QStringLiteral("diskIconDict"), iconDict.typeId() == QMetaType::QVariantMap ? iconDict : QVariant(QString()));
        s.insert(QStringLiteral("diskIcon"), driveIconName(internal, removable));
        s.insert(QStringLiteral("location"), internal ? QStringLiteral("Internal") : QStringLiteral("External"));
        _cache.insert(bsdName, s);
    }
    return _cache;
}

QStringList DriveEnumerator::sortedBSDNames() const
{
    return sortedKernelNames(_cache.keys());
}

std::optional<QVariantMap> DriveEnumerator::settingsForBSDName(const QString &nameOrPath)
{
    QString name = nameOrPath;
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    name = name.section(QLatin1Char('/'), -1);
    auto it = _cache.constFind(name);
    if (it != _cache.cend())
        return it.value();
    const DriveInformation &fresh = driveInformation();
    it = fresh.constFind(name);
    if (it != fresh.cend())
        return it.value();
    return std::nullopt;
}

std::unique_ptr<THSMARTDevice> DriveEnumerator::deviceWithBSDName(const QString &nameOrPath)
{
    const std::optional<QVariantMap> settings = settingsForBSDName(nameOrPath);
    return settings ? deviceWithSetting(*settings) : nullptr;
}

QVariantMap DriveEnumerator::deviceIdentification(const RegistryEntry &whole) const
{
    QVariantMap props;
    RegistryEntry walker = _registry.parentEntry(whole);
    for (int depth = 0; !walker.isNull() && depth < kMaxWalk; ++depth) {
        props = _registry.properties(walker);
        if (props.contains(QStringLiteral("Serial Number")))
            break;
        walker = _registry.parentEntry(walker);
    }
    const QString vendor = firstPresent(props, {"Vendor Name"});
    QString model = firstPresent(props, {"Model", "Model Number"});
    // Trimmed before the test, so a blank-padded vendor is still found in the model.
    if (!vendor.isEmpty() && !model.contains(vendor, Qt::CaseInsensitive))
        model = QStringLiteral("%1 %2").arg(vendor, model).trimmed();
    return {
        {QStringLiteral("serial"), firstPresent(props, {"Serial Number"})},
        {QStringLiteral("vendor"), vendor},
        {QStringLiteral("model"), model},
        {QStringLiteral("rev"), firstPresent(props, {"Product Revision Level", "Firmware Revision", "Revision"})},
        {QStringLiteral("nvmerev"), firstPresent(props, {"NVMe Revision Supported"})},
    };
}

QVariantList DriveEnumerator::enumerateDeviceVolumes(const RegistryEntry &whole) const
{
    static const QStringList skippedContent = {
        QStringLiteral("426F6F74-0000-11AA-AA11-00306543ECAC"), QStringLiteral("Apple_Boot"),
        QStringLiteral("C12A7328-F81F-11D2-BA4B-00A0C93EC93B"), QStringLiteral("53746F72-6167-11AA-AA11-00306543ECAC"),
        QStringLiteral("52414944-0000-11AA-AA11-00306543ECAC"), QStringLiteral("52414944-5F4F-11AA-AA11-00306543ECAC"),
        QStringLiteral("B6FA30DA-92D2-4A9A-96F1-871EC6486200"),
    };
    static const QStringList skippedNames = {
        QStringLiteral("Boot OSX"), QStringLiteral("Boot OS X"), QStringLiteral("EFI"), QStringLiteral("Recovery HD"),
        QStringLiteral("Preboot"), QStringLiteral("PreBoot"), QStringLiteral("Recovery"), QStringLiteral("Update"),
        QStringLiteral("VM"), QStringLiteral("xART"), QStringLiteral("Hardware"), QStringLiteral("iSCPreboot"),
    };
    QVariantList volumes;
    for (const RegistryEntry &child : _registry.descendants(whole)) {
        const QVariantMap desc = _registry.diskDescription(child).value_or(QVariantMap());
        const QString content = desc.value(QStringLiteral("DAMediaContent")).toString();
        QString name = desc.value(QStringLiteral("DAVolumeName")).toString();
        const QString mediaName = desc.value(QStringLiteral("DAMediaName")).toString();
        if (skippedContent.contains(content) || skippedNames.contains(name)
            || mediaName.startsWith(QLatin1String("com.apple.os.update"))
            || !desc.value(QStringLiteral("DAVolumeMountable")).toBool()
            || (content == QLatin1String("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7") && name.isEmpty()))
            continue;
        if (content == QLatin1String("FA709C7E-65B1-4593-BFD5-E71D61DE9B02")) {
            const RegistryEntry softRaid = _registry.serviceNamed(QStringLiteral("SoftRAID_Media"));
            name = _registry.diskDescription(softRaid).value_or(QVariantMap()).value(QStringLiteral("DAVolumeName")).toString();
        }
        volumes.append(QVariantMap{{QStringLiteral("content"), content}, {QStringLiteral("name"), name}});
    }
    return volumes;
}

} // namespace corvane
