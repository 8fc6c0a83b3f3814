// SPDX-License-Identifier: GPL-3.0-or-later
// Another Corvane process for the tests: settings_writer FILE KEY JSON-VALUE stores one value.
#include "platform/SharedDefaults.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonArray>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: settings_writer FILE KEY JSON-VALUE\n");
        return 2;
    }
    const QJsonDocument doc = QJsonDocument::fromJson("[" + args[3].toUtf8() + "]");
    if (!doc.isArray() || doc.array().size() != 1) {
        std::fprintf(stderr, "settings_writer: not a JSON value\n");
        return 2;
    }
    corvane::SharedDefaults defaults(args[1]);
    defaults.setValue(args[2], doc.array().first().toVariant());
    return 0;
}
