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

CommandLine::CommandLine(const char *command) : _command(QString::fromLatin1(command))
{
    const auto it = commands().find(command);
    if (it != commands().end())
        _parser.setApplicationDescription(QString::fromStdString(it->second.summary));
    _parser.addHelpOption();
    // "--db FILE" and "-db" are not the same option.
    _parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

QCommandLineOption CommandLine::recordedOption()
{
    QCommandLineOption option(QStringLiteral("recorded"), QStringLiteral("Read the recorded drive set in <DIR> instead of this machine's drives."),
                              QStringLiteral("DIR"));
    _parser.addOption(option);
    return option;
}

QCommandLineOption CommandLine::jsonOption()
{
    QCommandLineOption option(QStringLiteral("json"), QStringLiteral("Print JSON instead of text."));
    _parser.addOption(option);
    return option;
}

QString CommandLine::helpText() const
{
    // The parser names the program by its path; the command belongs after it.
    QString text = _parser.helpText();
    const qsizetype options = text.indexOf(QLatin1String(" [options]"));
    if (text.startsWith(QLatin1String("Usage: ")) && options > 0)
        text.replace(7, options - 7, QStringLiteral("corvanectl ") + _command);
    return text;
}

QString CommandLine::usage() const
{
    const QString help = helpText();
    return help.left(help.indexOf(QLatin1Char('\n')) + 1)
           + QStringLiteral("Try 'corvanectl %1 --help' for more.\n").arg(_command);
}

std::optional<int> CommandLine::parse(const QStringList &args, qsizetype minArguments, qsizetype maxArguments)
{
    const QString prefix = QStringLiteral("corvanectl %1: ").arg(_command);
    if (!_parser.parse(QStringList{QStringLiteral("corvanectl")} + args)) {
        err(prefix + _parser.errorText() + QLatin1Char('\n') + usage());
        return 2;
    }
    if (_parser.isSet(QStringLiteral("help"))) {
        out(helpText());
        return 0;
    }
    const qsizetype n = _parser.positionalArguments().size();
    if (n < minArguments || n > maxArguments) {
        err(prefix + (n < minArguments ? QStringLiteral("missing argument") : QStringLiteral("unexpected argument '%1'")
                                                                                 .arg(_parser.positionalArguments().at(maxArguments)))
            + QLatin1Char('\n') + usage());
        return 2;
    }
    return std::nullopt;
}

static void printUsage(FILE *stream)
{
    std::fputs("Usage: corvanectl COMMAND [OPTIONS] [ARGS]\n\nCommands:\n", stream);
    for (const auto &[name, command] : commands())
        std::fprintf(stream, "  %-34s %s\n", command.usage.c_str(), command.summary.c_str());
    std::fputs("\n'corvanectl COMMAND --help' describes a command's options.\n", stream);
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
