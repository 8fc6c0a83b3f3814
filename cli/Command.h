// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// corvanectl's sub-commands register themselves from their own files, so a
// new command never touches main.cpp.
#include <QCommandLineParser>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace corvane::cli {

struct Command
{
    std::string usage;   // one line: "decode [--json] DIR..."
    std::string summary; // what it does, for --help
    std::function<int(const QStringList &args)> run;
};

std::map<std::string, Command> &commands();

struct CommandRegistrar
{
    CommandRegistrar(const std::string &name, Command command)
    {
        commands().emplace(name, std::move(command));
    }
};

// One command's arguments through QCommandLineParser, as every Corvane program
// parses them. parse() answers --help (the command's help on stdout, exit 0)
// and refuses unknown options or a wrong number of arguments (the error and the
// usage on stderr, exit 2); otherwise it returns nothing and the command runs.
class CommandLine
{
public:
    explicit CommandLine(const char *command);
    QCommandLineParser &parser() { return _parser; }
    // --recorded DIR, --json: the options several commands share.
    QCommandLineOption recordedOption();
    QCommandLineOption jsonOption();
    std::optional<int> parse(const QStringList &args, qsizetype minArguments, qsizetype maxArguments);
    QStringList arguments() const { return _parser.positionalArguments(); }
    QString helpText() const;
    // The usage line and where to read more, for errors.
    QString usage() const;

private:
    QString _command;
    QCommandLineParser _parser;
};

// Writes to stdout / stderr in UTF-8.
void out(const QString &text);
void err(const QString &text);

} // namespace corvane::cli
