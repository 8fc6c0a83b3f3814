// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl decode [--json] DIR...: decodes folders of raw ATA pages as a SMART
// session would have read them, and reports what is wrong with the pages.
#include "Command.h"
#include "ShowFormat.h"

#include "database/THSmartDeviceDatabase.h"
#include "drive/AtaPages.h"
#include "drive/IdentifyDecoder.h"
#include "drive/ManufacturerLogos.h"
#include "platform/SharedDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>
#include <limits>

namespace corvane::cli {

namespace {

struct DecodedFolder
{
    QString source;
    QVariantMap properties;
    QStringList notes; // problems with the pages, for the report and stderr
};

enum class LoadResult { Missing, Loaded };

// Fills `page` with the file's bytes (zero padded); a short file is decoded as what
// it holds, a longer one only for its first page. Every oddity becomes a note.
LoadResult loadPage(const QDir &dir, const QString &name, Page &page, QStringList &notes)
{
    QFile file(dir.filePath(name));
    if (!file.exists())
        return LoadResult::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        notes << QStringLiteral("%1: cannot be read (%2)").arg(name, file.errorString());
        return LoadResult::Missing;
    }
    const QByteArray bytes = file.read(qint64(page.size()) + 1);
    if (bytes.isEmpty()) {
        notes << QStringLiteral("%1: empty file, ignored").arg(name);
        return LoadResult::Missing;
    }
    page.fill(0);
    const size_t n = std::min(size_t(bytes.size()), page.size());
    std::copy_n(reinterpret_cast<const uint8_t *>(bytes.constData()), n, page.begin());
    if (size_t(bytes.size()) < page.size())
        notes << QStringLiteral("%1: short page, %2 of 512 bytes; the rest reads as zero")
                     .arg(name).arg(bytes.size());
    else if (size_t(bytes.size()) > page.size())
        notes << QStringLiteral("%1: longer than 512 bytes; only the first 512 decoded").arg(name);
    return LoadResult::Loaded;
}

// The drive's own verdict as smart_status.txt recorded it: "1 good" or "0 failing".
// Without the file the drive said nothing, which a session takes as "not exceeded".
bool thresholdExceeded(const QDir &dir, QStringList &notes)
{
    QFile file(dir.filePath(QLatin1String(kAtaStatusFileName)));
    if (!file.exists())
        return false;
    const QByteArray line = file.open(QIODevice::ReadOnly) ? file.read(64).trimmed() : QByteArray();
    if (line.startsWith('0'))
        return true;
    if (!line.startsWith('1'))
        notes << QStringLiteral("smart_status.txt: neither \"1 good\" nor \"0 failing\"; taken as good");
    return false;
}

// The folder decoded as a session that read these pages would decode them,
// with the drive database and the default ignore dictionary.
DecodedFolder decodeFolder(const QString &path)
{
    const QDir dir(path);
    DecodedFolder out;
    out.source = QFileInfo(QDir::cleanPath(dir.absolutePath())).fileName();
    QStringList &notes = out.notes;

    AtaPages pages;
    for (const AtaPageFile &file : kAtaPageFiles)
        pages.present[file.kind] = loadPage(dir, ataPageFileName(file.kind), pages.page(file.kind), notes) == LoadResult::Loaded;
    if (std::none_of(pages.present.begin(), pages.present.end(), [](bool read) { return read; }))
        notes << QStringLiteral("no page files found");

    if (pages.has(AtaPages::Identity) && !identifyPageValid(pages.identity))
        notes << QStringLiteral("identify.bin: checksum wrong or page empty; a drive session ignores this page");
    if (pages.has(AtaPages::SmartData)) {
        if (!smartDataValid(pages.smartData))
            notes << QStringLiteral("smart.bin: revision or checksum invalid; a drive session ignores this page");
        else if (!pages.has(AtaPages::Thresholds))
            notes << QStringLiteral("thresholds.bin: missing; every threshold reads as 0");
    }
    if (pages.has(AtaPages::ErrorLog) && pages.errorLog[0] != 1)
        notes << QStringLiteral("smartlog-01-error.bin: version %1, not decoded").arg(pages.errorLog[0]);

    const bool exceeded = pages.has(AtaPages::SmartData) && thresholdExceeded(dir, notes);
    out.properties = decodeAtaDrive(pages, {}, *THSmartDeviceDatabase::database(), defaultIgnoreAttributes(), exceeded);
    if (out.properties.contains(QStringLiteral("Device Model"))) {
        const QString model = out.properties.value(QStringLiteral("Device Model")).toString();
        out.properties.insert(QStringLiteral("diskMfgLogo"), mfgLogoForDriveModel(model));
        out.properties.insert(QStringLiteral("mfgLogoPath"), mfgLogoPathForDriveModel(model));
    }
    return out;
}

QString valueText(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return v.toString();
}

QString report(const DecodedFolder &f)
{
    const QVariantMap &p = f.properties;
    QString r = QStringLiteral("== %1\n").arg(f.source);
    const auto line = [&](const QString &label, const QString &value) {
        if (!value.isEmpty())
            r += QStringLiteral("  %1 %2\n").arg(label + QLatin1Char(':'), -24).arg(value);
    };
    const auto key = [&](const char *k) { return valueText(p.value(QLatin1String(k))); };

    line(QStringLiteral("Device Model"), key("Device Model"));
    line(QStringLiteral("Serial Number"), key("Serial Number"));
    line(QStringLiteral("Firmware Version"), key("Firmware Version"));
    line(QStringLiteral("Drive Type"), key("Drive Type"));
    line(QStringLiteral("ATA Version"), key("ataVersion"));
    line(QStringLiteral("Transport Type"), key("Transport Type"));
    if (p.contains(QStringLiteral("sectors"))) {
        const quint64 sectors = p.value(QStringLiteral("sectors")).toULongLong();
        const quint64 bytes = sectors * p.value(QStringLiteral("logicalSectorSize")).toULongLong();
        line(QStringLiteral("Capacity"), QStringLiteral("%1 sectors, %2 GB")
                                             .arg(sectors).arg(double(bytes) / 1e9, 0, 'f', 1));
    }
    line(QStringLiteral("Sector Size"), key("sectorSizeStr"));
    line(QStringLiteral("WWN"), key("WWN"));
    line(QStringLiteral("Logo"), key("diskMfgLogo"));
    line(QStringLiteral("Logo File"), key("mfgLogoPath"));

    if (p.contains(QStringLiteral("capArray"))) {
        line(QStringLiteral("Offline Collection"), key("Offline data collection status"));
        line(QStringLiteral("Self-test Status"), key("Self-test status"));
        QStringList flags;
        for (const QVariant &row : p.value(QStringLiteral("capArray")).toList()) {
            const QVariantMap m = row.toMap();
            for (const char *i : {"0", "1"}) {
                if (!m.value(QStringLiteral("val") + QLatin1String(i)).toString().isEmpty())
                    flags << m.value(QStringLiteral("key") + QLatin1String(i)).toString();
            }
        }
        line(QStringLiteral("Capabilities"), flags.isEmpty() ? QStringLiteral("none") : flags.join(QStringLiteral(", ")));
        line(QStringLiteral("Health"), key("attributeHealth"));
        line(QStringLiteral("SMART Status"), key("health"));
        for (const QVariant &t : p.value(QStringLiteral("selftests")).toList()) {
            const QVariantMap m = t.toMap();
            line(m.value(QStringLiteral("displayName")).toString(),
                 m.value(QStringLiteral("timeToComplete")).toString().trimmed());
        }
    }
    if (p.contains(QStringLiteral("vendorspecificAttributes"))) {
        r += QStringLiteral("  Attributes:\n");
        r += formatAttributeTable(p.value(QStringLiteral("vendorspecificAttributes")).toList(), QStringLiteral("    "));
    }
    if (p.contains(QStringLiteral("logs"))) {
        QStringList logs;
        for (const QVariant &l : p.value(QStringLiteral("logs")).toList()) {
            const QVariantMap m = l.toMap();
            if (m.value(QStringLiteral("pages")).toUInt())
                logs << QStringLiteral("%1 (%2)").arg(m.value(QStringLiteral("name")).toString())
                            .arg(m.value(QStringLiteral("pages")).toUInt());
        }
        line(QStringLiteral("Logs"), QStringLiteral("directory version %1; %2")
                                         .arg(key("logDirVersion"),
                                              logs.isEmpty() ? QStringLiteral("none listed") : logs.join(QStringLiteral(", "))));
    }
    if (p.contains(QStringLiteral("errorLog"))) {
        const QVariantList errors = p.value(QStringLiteral("errorLog")).toList();
        line(QStringLiteral("Error Log"), QStringLiteral("%1 errors in the drive's life, %2 logged")
                                              .arg(key("lifetimeErrors")).arg(errors.size()));
        for (const QVariant &e : errors)
            r += QStringLiteral("    ") + formatErrorLogEntry(e.toMap()) + QLatin1Char('\n');
    }
    if (p.contains(QStringLiteral("selftestResults"))) {
        const QVariantList results = p.value(QStringLiteral("selftestResults")).toList();
        line(QStringLiteral("Self-test Log"), QStringLiteral("%1 entries").arg(results.size()));
        for (const QVariant &t : results)
            r += QStringLiteral("    ") + formatSelfTestEntry(t.toMap()) + QLatin1Char('\n');
    }
    for (const QString &note : f.notes)
        r += QStringLiteral("  note: %1\n").arg(note);
    return r;
}

int run(const QStringList &args)
{
    CommandLine cl("decode");
    const QCommandLineOption jsonOption = cl.jsonOption();
    cl.parser().addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("A folder of raw ATA pages (docs/recorded-pages.md)."),
                                      QStringLiteral("DIR..."));
    if (const std::optional<int> exit = cl.parse(args, 1, std::numeric_limits<qsizetype>::max()))
        return *exit;
    const bool json = cl.parser().isSet(jsonOption);
    const QStringList dirs = cl.arguments();

    // One line per maker name the logo catalogue lacks, however many drives share it.
    QSet<QString> reported;
    setInvalidManufacturerHandler([&reported](const QString &name) {
        if (!reported.contains(name)) {
            reported.insert(name);
            err(QStringLiteral("corvanectl: Invalid Manufacturer: %1\n").arg(name));
        }
    });

    int status = 0;
    QJsonArray array;
    bool first = true;
    for (const QString &path : dirs) {
        if (!QFileInfo(path).isDir()) {
            err(QStringLiteral("corvanectl decode: %1: no such folder\n").arg(path));
            status = 1;
            continue;
        }
        const DecodedFolder f = decodeFolder(path);
        if (json) {
            QVariantMap props = f.properties;
            props.insert(QStringLiteral("source"), f.source);
            array.append(QJsonObject::fromVariantMap(props));
            for (const QString &note : f.notes)
                err(QStringLiteral("corvanectl decode: %1: %2\n").arg(f.source, note));
        } else {
            out((first ? QString() : QStringLiteral("\n")) + report(f));
            first = false;
        }
    }
    if (json)
        out(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    setInvalidManufacturerHandler({});
    return status;
}

const CommandRegistrar registrar("decode", {"decode [--json] DIR...",
                                            "decode folders of raw ATA pages (identify.bin, smart.bin, logs)",
                                            run});

} // namespace

} // namespace corvane::cli
