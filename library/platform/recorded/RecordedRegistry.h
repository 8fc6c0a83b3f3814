// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recorded registry trees: the registry.json of a recorded set (format in
// docs/recorded-sets.md).
#include "platform/Registry.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace corvane {

// Parses a registry.json document; null with *error set ("entry 3: ...") on
// anything that is not a well-formed tree.
std::unique_ptr<TreeRegistry> parseRecordedRegistry(const QByteArray &json, QString *error);

// Opens a recorded set: a folder holding registry.json, or the file itself.
// Null with *error set when it is missing, unreadable or malformed.
std::unique_ptr<TreeRegistry> openRecordedRegistry(const QString &folderOrFile, QString *error);

// The folder of a recorded set given as a folder or as its registry.json.
QString recordedSetFolder(const QString &folderOrFile);

// The page folder of one drive: <set>/drives/<kernel name>. Empty for a name
// that could step outside the set ("..", "a/b", empty), which a hand-edited
// registry.json might carry.
QString recordedDriveFolder(const QString &setFolderOrFile, const QString &kernelName);

// Writes a tree in the same format (what `capture`/`record` store).
QByteArray recordedRegistryJson(const TreeRegistry &registry);

} // namespace corvane
