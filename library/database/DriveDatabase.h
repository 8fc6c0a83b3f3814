// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArrayView>
#include <QVariantMap>
#include <memory>
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

    const QVariantMap &dictionary() const;
    const QVariantList &drives() const;

    // The first entry carries the default presets; empty map when there is none.
    QVariantMap defaultEntry() const;

    // Index into drives() of the first entry whose model pattern matches the
    // whole of `model` and whose firmware pattern the whole of `firmware` (an
    // entry without a firmware pattern takes any); -1 when none. The default
    // entry holds presets, not a drive, and is never the answer. Thread-safe.
    int lookupIndex(const QString &model, const QString &firmware) const;
    // That entry, or an empty map.
    QVariantMap lookup(const QString &model, const QString &firmware) const;

    DriveDatabase();
    ~DriveDatabase();
    DriveDatabase(DriveDatabase &&) noexcept;
    DriveDatabase &operator=(DriveDatabase &&) noexcept;

    // Model and firmware patterns that do not compile (each matches nothing).
    // Compiles every pattern to know: for tests and diagnostics.
    int brokenPatterns() const;

    // The legacy two-field "-v" option table.
    static const QVariantMap &fmtDict();
    static const QList<std::pair<QString, QString>> &firmwarebugDescriptions();
    static const QList<std::pair<QString, QString>> &expansions();
    // Attribute names are written with abbreviations; this spells them out.
    static QString expandName(const QString &name);

private:
    struct Patterns;
    std::unique_ptr<Patterns> _patterns;
};

} // namespace corvane
