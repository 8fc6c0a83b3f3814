// SPDX-License-Identifier: GPL-3.0-or-later
// The settings reader: the input is the suite's INI file as another process
// (or a hand edit) may have left it.
#include "FuzzSupport.h"
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QDir>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1; // the settings watch their file: an application object
    static char name[] = "corvane-fuzz", *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return 0;
}

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    const QString file = scratch().filePath(QStringLiteral("suite.conf"));
    writeScratch(QStringLiteral("suite.conf"), text(in));
    {
        SharedDefaults defaults(file);
        defaults.registerDefaults(defaultSharedRegistrations());
        defaults.dictionaryValue(QLatin1String(kIgnoreAttributesKey));
        defaults.boolValue(QLatin1String(kShowMenuBarExtraKey));
        defaults.boolValue(QLatin1String(kShouldNotifyUserKey));
        defaults.value(QLatin1String(kIntroKey));
        defaults.reload();
    }
    // A file set aside as corrupt must not pile up over a million runs.
    QDir dir(scratch().path());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}
