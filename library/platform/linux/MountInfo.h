// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one parser of the kernel's mount table (/proc/<pid>/mountinfo), for the
// registry's volume paths and the agent's mount events.
#include <QByteArray>
#include <QList>
#include <QString>

namespace corvane {

struct MountEntry
{
    int mountId = 0;
    QString device;     // "major:minor"
    QString mountPoint; // unescaped
    QString fsType;     // after the "-" that ends the optional fields; may be empty
};

// The entries of a mountinfo text, mount points unescaped (\040 and friends,
// three octal digits only). Lines that don't parse are skipped.
QList<MountEntry> parseMountInfo(const QByteArray &text);

} // namespace corvane
