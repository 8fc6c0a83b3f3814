// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "database/PatternSet.h"

#include <QByteArrayView>
#include <QVariantMap>
#include <vector>

namespace corvane {

// One parse of a drivedb.h text: the drive database dictionary ("line",
// "version", "build", "date", "datebuild", "drives") and the entries'
// patterns compiled for lookup. Immutable once built; a new parse builds a
// new object, so readers holding the old one are never disturbed.
class DriveDatabase
{
public:
    // `readable` is false when the bytes are not UTF-8 text; the result is
    // then the empty database.
    static DriveDatabase parse(QByteArrayView text, bool *readable = nullptr);

    const QVariantMap &dictionary() const { return _dictionary; }
    const QVariantList &drives() const { return _drives; }
    // One lookup straight from the file's text without building the whole
    // database: for processes that ask once (corvanectl lookup). Same answer as
    // parse(text).lookup(model, firmware); compiles only the patterns whose
    // literal texts occur in the model text.
    static QVariantMap lookupInText(QByteArrayView text, const QString &model, const QString &firmware,
                                    bool *readable = nullptr);

    // The first entry carries the default presets; empty map when there is none.
    QVariantMap defaultEntry() const;

    // Index into drives() of the first entry whose model pattern occurs in
    // `model` and whose firmware pattern occurs in `firmware`; -1 when none.
    int lookupIndex(const QString &model, const QString &firmware) const;
    // That entry, or an empty map.
    QVariantMap lookup(const QString &model, const QString &firmware) const;

    // Model and firmware patterns that did not compile (each matches nothing).
    int brokenPatterns() const { return _brokenPatterns; }

    // The legacy two-field "-v" option table.
    static const QVariantMap &fmtDict();
    static const QList<std::pair<QString, QString>> &firmwarebugDescriptions();
    static const QList<std::pair<QString, QString>> &expansions();
    // Attribute names are written with abbreviations; this spells them out.
    static QString expandName(const QString &name);

private:
    QVariantMap _dictionary;
    QVariantList _drives;
    PatternSet _models;
    std::vector<int> _firmwareOf; // entry -> index into _firmwares
    PatternSet _firmwares;        // each distinct firmware pattern once
    int _brokenPatterns = 0;
    bool _defaultIsPresetsOnly = false;
};

} // namespace corvane
