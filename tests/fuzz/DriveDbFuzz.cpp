// SPDX-License-Identifier: GPL-3.0-or-later
// The drivedb.h parser followed by lookups: the shipped drives' names, and the
// model and firmware text of every entry the parse produced.
#include "FuzzSupport.h"
#include "database/DriveDatabase.h"

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    const DriveDatabase db = DriveDatabase::parse(text(in));
    db.dictionary();
    db.defaultEntry();
    db.lookup(QStringLiteral("ST9100821AS"), QStringLiteral("3.CME"));
    db.lookup(QStringLiteral("EXAMPLE ONE-100"), QStringLiteral("FW1"));
    db.lookup(QString(), QString());
    int budget = 8; // lookups cost a regex pass each
    for (const QVariant &drive : db.drives()) {
        if (--budget < 0)
            break;
        const QVariantMap entry = drive.toMap();
        for (const QVariant &v : entry)
            if (v.typeId() == QMetaType::QString)
                db.lookup(v.toString(), v.toString());
    }
}
