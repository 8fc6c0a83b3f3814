// SPDX-License-Identifier: GPL-3.0-or-later
// corvanectl lookup: which drive database entry fits a model and firmware.
#include "Command.h"

#include "database/DriveDatabase.h"
#include "database/THSmartDeviceDatabase.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace corvane::cli {

namespace {

QString describe(const QVariantMap &entry)
{
    QString text;
    text += QStringLiteral("Model family:     %1\n").arg(entry.value(QStringLiteral("modelfamily")).toString());
    text += QStringLiteral("Model pattern:    %1\n").arg(entry.value(QStringLiteral("model")).toString());
    text += QStringLiteral("Firmware pattern: %1\n").arg(entry.value(QStringLiteral("firmware")).toString());
    const QString bug = entry.value(QStringLiteral("firmwarebugDescription")).toString();
    if (!bug.isEmpty())
        text += QStringLiteral("Firmware bug:     %1\n").arg(QString(bug).replace(u'\n', u' '));
    const QString warning = entry.value(QStringLiteral("warning")).toString();
    if (!warning.isEmpty())
        text += QStringLiteral("Warning:          %1\n")
                    .arg(QString(warning).replace(u'\n', QStringLiteral("\n                  ")));
    const QVariantList presets = entry.value(QStringLiteral("attributes")).toList();
    if (!presets.isEmpty()) {
        text += QStringLiteral("Attribute presets:\n");
        for (const QVariant &p : presets) {
            const QVariantMap preset = p.toMap();
            text += QStringLiteral("  %1 %2 %3\n")
                        .arg(preset.value(QStringLiteral("id")).toString(), 5)
                        .arg(preset.value(QStringLiteral("fmt")).toString(), -20)
                        .arg(preset.value(QStringLiteral("name")).toString());
        }
    }
    return text;
}

int run(const QStringList &args)
{
    CommandLine cl("lookup");
    const QCommandLineOption jsonOption = cl.jsonOption();
    const QCommandLineOption dbOption(QStringLiteral("db"), QStringLiteral("Look in the drivedb.h at <FILE> instead of Corvane's."),
                                      QStringLiteral("FILE"));
    cl.parser().addOption(dbOption);
    cl.parser().addPositionalArgument(QStringLiteral("MODEL"), QStringLiteral("The drive's model text, as IDENTIFY reports it."));
    cl.parser().addPositionalArgument(QStringLiteral("FIRMWARE"), QStringLiteral("The firmware revision (optional)."), QStringLiteral("[FIRMWARE]"));
    if (const std::optional<int> exit = cl.parse(args, 1, 2))
        return *exit;
    const bool json = cl.parser().isSet(jsonOption);
    const QString dbFile = cl.parser().value(dbOption);
    const QStringList positional = cl.arguments();
    const QString model = positional.value(0), firmware = positional.value(1);

    const QString path = dbFile.isEmpty() ? THSmartDeviceDatabase::sourcePath() : dbFile;
    QFile f(path);
    bool readable = false;
    QVariantMap entry;
    if (f.open(QIODevice::ReadOnly))
        entry = DriveDatabase::parse(f.readAll(), &readable).lookup(model, firmware);
    if (!readable && !dbFile.isEmpty()) {
        err(QStringLiteral("corvanectl: cannot read the drive database %1\n").arg(dbFile));
        return 1;
    }
    if (!readable)
        err(QStringLiteral("corvanectl: no readable drive database (looked for %1)\n").arg(path));
    if (json) {
        QJsonDocument doc = entry.isEmpty() ? QJsonDocument() : QJsonDocument(QJsonObject::fromVariantMap(entry));
        out(entry.isEmpty() ? QStringLiteral("null\n") : QString::fromUtf8(doc.toJson(QJsonDocument::Indented)));
        return 0;
    }
    if (entry.isEmpty()) {
        out(QStringLiteral("No drive database entry matches \"%1\" firmware \"%2\" in %3.\n").arg(model, firmware, path));
        return 0;
    }
    out(describe(entry));
    return 0;
}

const CommandRegistrar registrar(
    "lookup", Command{"lookup [--json] [--db FILE] MODEL [FIRMWARE]",
                      "show the drive database entry for a model and firmware", run});

} // namespace

} // namespace corvane::cli
