// SPDX-License-Identifier: GPL-3.0-or-later
#include "services/SatStatus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

namespace corvane::app {

namespace {

bool fileMentions(const QString &path, const QList<QByteArray> &needles)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = f.readAll();
    for (const QByteArray &needle : needles)
        if (text.contains(needle))
            return true;
    return false;
}

} // namespace

QVariantMap statusSATSMARTDriver(const QString &root, QString kernelRelease)
{
    const QString base = QDir::cleanPath(root) + (root.endsWith(u'/') ? QString() : QStringLiteral("/"));
    if (kernelRelease.isEmpty())
        kernelRelease = QSysInfo::kernelVersion();
    const QString modules = base + QStringLiteral("lib/modules/") + kernelRelease + u'/';
    const QList<QByteArray> names{"/uas.ko", "/usb-storage.ko"};
    const bool loaded = QFileInfo::exists(base + QStringLiteral("sys/module/uas"))
                        || QFileInfo::exists(base + QStringLiteral("sys/module/usb_storage"));
    const bool installed = loaded || fileMentions(modules + QStringLiteral("modules.dep"), names)
                           || fileMentions(modules + QStringLiteral("modules.builtin"), names);

    bool attached = false;
    const QDir block(base + QStringLiteral("sys/block"));
    for (const QFileInfo &disk : block.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        // The device path of a disk behind a USB bridge runs through the USB tree.
        if (disk.canonicalFilePath().contains(QLatin1String("/usb"))) {
            attached = true;
            break;
        }
    }
    return {{QStringLiteral("installed"), installed},
            {QStringLiteral("loaded"), loaded},
            {QStringLiteral("attached"), attached},
            {QStringLiteral("T2 controller"), false},
            {QStringLiteral("ARM64"), QSysInfo::currentCpuArchitecture() == QLatin1String("arm64")}};
}

QString satDriverExplanation()
{
    return QStringLiteral(
        "Linux needs no extra driver for USB drives: its uas and usb-storage drivers pass SMART commands "
        "through SAT bridges by themselves.\n\n"
        "If an enclosure shows no SMART data:\n"
        "• connect it directly to the computer, not through a hub;\n"
        "• some bridges only answer when uas is disabled for them: add "
        "usb-storage.quirks=VID:PID:u to the kernel command line (VID and PID from lsusb);\n"
        "• many cheap bridges do not pass SMART commands at all; a SATA or NVMe port, or an "
        "enclosure known to support SAT, is then the only way.");
}

} // namespace corvane::app
