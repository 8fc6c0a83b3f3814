// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recorded/RecordedRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace corvane {

namespace {

constexpr int kFormatVersion = 1;
// A real machine's tree is a few hundred kilobytes; anything far larger is not a recording.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

QString typeName(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a boolean");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("missing");
}

} // namespace

std::unique_ptr<TreeRegistry> parseRecordedRegistry(const QByteArray &json, QString *error)
{
    auto fail = [error](const QString &why) -> std::unique_ptr<TreeRegistry> {
        if (error)
            *error = why;
        return nullptr;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not valid JSON at byte %1: %2").arg(parseError.offset).arg(parseError.errorString()));
    if (!doc.isObject())
        return fail(QStringLiteral("the top level must be an object with \"entries\""));
    const QJsonObject root = doc.object();
    const QJsonValue version = root.value(QLatin1String("version"));
    if (!version.isUndefined() && (!version.isDouble() || version.toInt(-1) != kFormatVersion))
        return fail(QStringLiteral("unsupported \"version\" (this program reads version %1)").arg(kFormatVersion));
    const QJsonValue entriesValue = root.value(QLatin1String("entries"));
    if (!entriesValue.isArray())
        return fail(QStringLiteral("\"entries\" must be an array, found %1").arg(typeName(entriesValue)));
    const QJsonArray entries = entriesValue.toArray();

    std::vector<RegistryNode> nodes;
    nodes.reserve(size_t(entries.size()));
    std::vector<QString> parentIds;
    QHash<QString, int> index;
    for (int i = 0; i < entries.size(); ++i) {
        const QString where = QStringLiteral("entry %1").arg(i);
        if (!entries.at(i).isObject())
            return fail(QStringLiteral("%1: must be an object, found %2").arg(where, typeName(entries.at(i))));
        const QJsonObject e = entries.at(i).toObject();
        RegistryNode node;
        const QJsonValue id = e.value(QLatin1String("id"));
        if (!id.isString() || id.toString().isEmpty())
            return fail(QStringLiteral("%1: \"id\" must be a non-empty string, found %2").arg(where, typeName(id)));
        node.id = id.toString();
        const QString named = QStringLiteral("entry %1 (\"%2\")").arg(i).arg(node.id);
        if (index.contains(node.id))
            return fail(QStringLiteral("%1: duplicate id").arg(named));
        const QJsonValue name = e.value(QLatin1String("name"));
        if (!name.isUndefined() && !name.isString())
            return fail(QStringLiteral("%1: \"name\" must be a string, found %2").arg(named, typeName(name)));
        node.name = name.isString() ? name.toString() : node.id;
        const QJsonValue parent = e.value(QLatin1String("parent"));
        if (!parent.isUndefined() && !parent.isNull() && !parent.isString())
            return fail(QStringLiteral("%1: \"parent\" must be an id string or null, found %2").arg(named, typeName(parent)));
        const QJsonValue props = e.value(QLatin1String("properties"));
        if (!props.isUndefined() && !props.isObject())
            return fail(QStringLiteral("%1: \"properties\" must be an object, found %2").arg(named, typeName(props)));
        node.properties = props.toObject().toVariantMap();
        const QJsonValue desc = e.value(QLatin1String("description"));
        if (!desc.isUndefined() && !desc.isNull() && !desc.isObject())
            return fail(QStringLiteral("%1: \"description\" must be an object, found %2").arg(named, typeName(desc)));
        if (desc.isObject())
            node.description = desc.toObject().toVariantMap();
        index.insert(node.id, i);
        parentIds.push_back(parent.toString());
        nodes.push_back(std::move(node));
    }
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (parentIds[i].isEmpty())
            continue;
        const auto it = index.constFind(parentIds[i]);
        if (it == index.cend())
            return fail(QStringLiteral("entry %1 (\"%2\"): parent \"%3\" does not exist").arg(i).arg(nodes[i].id, parentIds[i]));
        nodes[i].parent = it.value();
    }
    QString treeError;
    auto registry = TreeRegistry::create(std::move(nodes), &treeError);
    if (!registry)
        return fail(treeError);
    return registry;
}

QString recordedSetFolder(const QString &folderOrFile)
{
    const QFileInfo info(folderOrFile);
    return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

QString recordedDriveFolder(const QString &setFolderOrFile, const QString &kernelName)
{
    if (kernelName.isEmpty() || kernelName == QLatin1String(".") || kernelName == QLatin1String("..")
        || kernelName.contains(QLatin1Char('/')) || kernelName.contains(QLatin1Char('\\')) || kernelName.contains(QChar(0)))
        return {};
    return QDir(recordedSetFolder(setFolderOrFile)).filePath(QStringLiteral("drives/") + kernelName);
}

std::unique_ptr<TreeRegistry> openRecordedRegistry(const QString &folderOrFile, QString *error)
{
    const QFileInfo info(folderOrFile);
    const QString path = info.isDir() ? QDir(folderOrFile).filePath(QStringLiteral("registry.json")) : folderOrFile;
    auto fail = [&](const QString &why) -> std::unique_ptr<TreeRegistry> {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return nullptr;
    };
    QFile file(path);
    if (!QFileInfo::exists(path))
        return fail(info.exists() || info.isDir() ? QStringLiteral("no registry.json in this folder")
                                                  : QStringLiteral("no such file or folder"));
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    if (file.size() > kMaxFileSize)
        return fail(QStringLiteral("file too large for a recorded registry"));
    QString why;
    auto registry = parseRecordedRegistry(file.readAll(), &why);
    if (!registry)
        return fail(why);
    return registry;
}

QByteArray recordedRegistryJson(const TreeRegistry &registry)
{
    QJsonArray entries;
    for (const RegistryNode &n : registry.nodes()) {
        QJsonObject e;
        e.insert(QLatin1String("id"), n.id);
        if (n.name != n.id)
            e.insert(QLatin1String("name"), n.name);
        if (n.parent >= 0)
            e.insert(QLatin1String("parent"), registry.nodes()[size_t(n.parent)].id);
        e.insert(QLatin1String("properties"), QJsonObject::fromVariantMap(n.properties));
        if (n.description)
            e.insert(QLatin1String("description"), QJsonObject::fromVariantMap(*n.description));
        entries.append(e);
    }
    QJsonObject root;
    root.insert(QLatin1String("version"), kFormatVersion);
    root.insert(QLatin1String("entries"), entries);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

} // namespace corvane
