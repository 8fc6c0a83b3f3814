// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// corvanectl's sub-commands register themselves from their own files, so a
// new command never touches main.cpp.
#include <QStringList>
#include <functional>
#include <map>
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

// Writes to stdout / stderr in UTF-8.
void out(const QString &text);
void err(const QString &text);

} // namespace corvane::cli
