// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/MountInfo.h"

namespace corvane {

namespace {

bool isOctal(char c, char highest = '7') { return c >= '0' && c <= highest; }

// mountinfo escapes blank, tab, newline and backslash as \ooo.
QString unescapeMountPath(QByteArrayView field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size() && isOctal(field[i + 1], '3')
            && isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            out.append(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(c);
        }
    }
    return QString::fromUtf8(out);
}

} // namespace

QList<MountEntry> parseMountInfo(const QByteArray &text)
{
    // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw"
    QList<MountEntry> entries;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5 || !fields[4].startsWith('/'))
            continue;
        bool ok = false;
        const int id = fields[0].toInt(&ok);
        if (!ok)
            continue;
        // The optional fields end at "-"; the file system type follows.
        const qsizetype dash = fields.indexOf("-", 6);
        const QString type = dash > 0 && dash + 1 < fields.size() ? QString::fromUtf8(fields[dash + 1]) : QString();
        entries.append({id, QString::fromLatin1(fields[2]), unescapeMountPath(fields[4]), type});
    }
    return entries;
}

} // namespace corvane
