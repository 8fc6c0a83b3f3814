// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl record [--recorded DIR] OUTDIR: writes the drives of this
// machine (or of another set) as a recorded set, for bug reports.
#include "Command.h"
#include "DriveAccess.h"

#include "platform/DeviceStatus.h"
#include "platform/Registry.h"
#include "platform/recorded/PageRecorder.h"
#include "platform/recorded/RecordedRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace corvane::cli {

namespace {


// The pages a drive refused, by name; a reason only where it isn't the usual
// "command aborted" of a page the drive doesn't keep.
QString failures(const PageRecording &r)
{
    static const int32_t aborted = statusFromAtaRegisters(0x51, 0x04);
    QStringList parts;
    for (auto it = r.failed.cbegin(); it != r.failed.cend(); ++it)
        parts << (it.value() == aborted ? it.key() : QStringLiteral("%1 (%2)").arg(it.key(), statusText(it.value())));
    return parts.join(QStringLiteral(", "));
}

int runRecord(const QStringList &args)
{
    CommandLine cl("record");
    const QCommandLineOption recordedOption = cl.recordedOption();
    cl.parser().addPositionalArgument(QStringLiteral("OUTDIR"), QStringLiteral("The folder to write the recorded set to."));
    if (const std::optional<int> exit = cl.parse(args, 1, 1))
        return *exit;
    const QString recorded = cl.parser().value(recordedOption), target = cl.arguments().first();
    // A set is written whole into a fresh folder; an earlier recording is never mixed in or overwritten.
    const QDir outDir(target);
    if (QFileInfo(target).exists()
        && (!QFileInfo(target).isDir() || !outDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())) {
        err(QStringLiteral("corvanectl record: %1 already exists and is not an empty folder; name a new one.\n").arg(target));
        return 1;
    }
    if (!QDir().mkpath(target)) {
        err(QStringLiteral("corvanectl record: cannot create %1\n").arg(target));
        return 1;
    }

    std::optional<DriveSet> set = DriveSet::open(recorded, QStringLiteral("record"));
    if (!set)
        return 1;
    const auto *tree = dynamic_cast<const TreeRegistry *>(set->platform().registry.get());
    if (!tree) {
        err(QStringLiteral("corvanectl record: the device tree cannot be written\n"));
        return 1;
    }
    QSaveFile registry(outDir.filePath(QStringLiteral("registry.json")));
    if (!registry.open(QIODevice::WriteOnly) || registry.write(recordedRegistryJson(*tree)) < 0 || !registry.commit()) {
        err(QStringLiteral("corvanectl record: cannot write %1: %2\n").arg(registry.fileName(), registry.errorString()));
        return 1;
    }

    int problems = 0;
    const QStringList names = set->names();
    for (const QString &name : names) {
        const QVariantMap settings = set->enumerator().cache().value(name);
        const QString dir = recordedDriveFolder(target, name);
        if (dir.isEmpty()) {
            err(QStringLiteral("corvanectl record: %1: not a name a folder can take; left out\n").arg(name));
            ++problems;
            continue;
        }
        int32_t status = 0;
        PageRecording pages;
        if (settings.value(QStringLiteral("isNVMe")).toBool()) {
            if (const auto nvme = set->platform().nvme ? set->platform().nvme(name, status) : nullptr)
                pages = recordNvmePages(*nvme, dir);
            else if (!status)
                status = kStatusNoDevice;
        } else {
            if (const auto ata = set->platform().ata ? set->platform().ata(name, status) : nullptr)
                pages = recordAtaPages(*ata, dir);
            else if (!status)
                status = kStatusNoDevice;
        }
        if (status) {
            if (!recordUnreadable(dir, status)) {
                err(QStringLiteral("corvanectl record: cannot write into %1\n").arg(dir));
                return 1;
            }
            out(QStringLiteral("%1: not readable, recorded as such: %2\n").arg(name, statusUserMessage(status)));
            ++problems;
            continue;
        }
        out(QStringLiteral("%1: %2 pages%3\n")
                .arg(name)
                .arg(pages.written.size())
                .arg(pages.ok() ? QString() : QStringLiteral("; not given: ") + failures(pages)));
    }
    out(QStringLiteral("Recorded %1 drive%2 into %3%4\n")
            .arg(names.size())
            .arg(names.size() == 1 ? QString() : QStringLiteral("s"))
            .arg(QDir::cleanPath(QFileInfo(target).absoluteFilePath()))
            .arg(problems ? QStringLiteral(" (%1 could not be read)").arg(problems) : QString()));
    return 0;
}

const CommandRegistrar registrar("record", {"record [--recorded DIR] OUTDIR",
                                            "write every drive's pages and the device tree as a recorded set", runRecord});

} // namespace

} // namespace corvane::cli
