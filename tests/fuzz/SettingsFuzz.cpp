// SPDX-License-Identifier: GPL-3.0-or-later
// The settings reader: the input is the suite's INI file as another process
// (or a hand edit) may have left it.
#include "FuzzSupport.h"
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace corvane;

namespace {
QTemporaryDir *folder;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1; // the settings watch their file: an application object
    static char name[] = "corvane-fuzz", *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    folder = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString file = folder->filePath(QStringLiteral("suite.conf"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        out.write(reinterpret_cast<const char *>(data), qint64(size));
    }
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
    QDir dir(folder->path());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
    return 0;
}
