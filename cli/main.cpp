// SPDX-License-Identifier: GPL-3.0-or-later
#include "Command.h"
#include "HelperClient.h"

#include <QCoreApplication>
#include <cstdio>

namespace corvane::cli {

std::map<std::string, Command> &commands()
{
    static std::map<std::string, Command> registry;
    return registry;
}

void out(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
}

void err(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stderr);
}

static void printUsage(FILE *stream)
{
    std::fputs("Usage: corvanectl COMMAND [OPTIONS] [ARGS]\n\nCommands:\n", stream);
    for (const auto &[name, command] : commands())
        std::fprintf(stream, "  %-34s %s\n", command.usage.c_str(), command.summary.c_str());
}

} // namespace corvane::cli

int main(int argc, char **argv)
{
    using namespace corvane::cli;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvanectl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    corvane::helper::installHelperSeams();

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")
        || args.first() == QLatin1String("help")) {
        printUsage(args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == QLatin1String("--version")) {
        out(QStringLiteral("corvanectl %1\n").arg(QStringLiteral(CORVANE_VERSION)));
        return 0;
    }
    const auto it = commands().find(args.first().toStdString());
    if (it == commands().end()) {
        err(QStringLiteral("corvanectl: unknown command '%1'\n").arg(args.first()));
        printUsage(stderr);
        return 2;
    }
    args.removeFirst();
    return it->second.run(args);
}
