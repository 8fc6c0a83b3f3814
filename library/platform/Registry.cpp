// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Registry.h"

#include <QHash>

namespace corvane {

QVariant Registry::searchProperty(const RegistryEntry &entry, const QString &key) const
{
    // Deeper than any real device path; only a faulty implementation gets here.
    constexpr int kMaxDepth = 4096;
    RegistryEntry current = entry;
    for (int depth = 0; !current.isNull() && depth < kMaxDepth; ++depth) {
        const QVariantMap props = properties(current);
        const auto it = props.constFind(key);
        if (it != props.cend())
            return it.value();
        current = parentEntry(current);
    }
    return {};
}

RegistryEntry capableAncestor(const Registry &registry, const QString &bsdName, const QString &capability)
{
    const QList<RegistryEntry> found = registry.matchingServices({{QStringLiteral("BSD Name"), bsdName}});
    if (found.isEmpty())
        return {};
    RegistryEntry entry = found.first();
    for (int step = 0; step < 5 && entry; ++step) {
        entry = registry.parentEntry(entry);
        if (entry && registry.properties(entry).contains(capability))
            return entry;
    }
    return {};
}

struct TreeRegistry::Tree
{
    std::vector<RegistryNode> nodes;
    std::vector<std::vector<int>> children;
    QHash<QString, int> byId;
};

std::unique_ptr<TreeRegistry> TreeRegistry::create(std::vector<RegistryNode> nodes, QString *error)
{
    auto fail = [error](const QString &why) -> std::unique_ptr<TreeRegistry> {
        if (error)
            *error = why;
        return nullptr;
    };
    auto tree = std::make_shared<Tree>();
    const int count = int(nodes.size());
    tree->children.resize(nodes.size());
    for (int i = 0; i < count; ++i) {
        const RegistryNode &n = nodes[size_t(i)];
        if (tree->byId.contains(n.id))
            return fail(QStringLiteral("duplicate entry id \"%1\"").arg(n.id));
        tree->byId.insert(n.id, i);
        if (n.parent < -1 || n.parent >= count || n.parent == i)
            return fail(QStringLiteral("entry \"%1\" has an invalid parent").arg(n.id));
    }
    // Walking up from every node must reach the root within `count` steps.
    for (int i = 0; i < count; ++i) {
        int steps = 0;
        for (int p = nodes[size_t(i)].parent; p >= 0; p = nodes[size_t(p)].parent) {
            if (++steps > count)
                return fail(QStringLiteral("entry \"%1\" is its own ancestor (cycle)").arg(nodes[size_t(i)].id));
        }
    }
    for (int i = 0; i < count; ++i) {
        if (nodes[size_t(i)].parent >= 0)
            tree->children[size_t(nodes[size_t(i)].parent)].push_back(i);
    }
    tree->nodes = std::move(nodes);
    return std::unique_ptr<TreeRegistry>(new TreeRegistry(std::move(tree)));
}

TreeRegistry::TreeRegistry(std::shared_ptr<const Tree> tree) : _tree(std::move(tree)) {}

const std::vector<RegistryNode> &TreeRegistry::nodes() const { return _tree->nodes; }

const RegistryNode *TreeRegistry::node(const RegistryEntry &e) const
{
    if (e.isNull() || e.owner() != _tree.get() || e.index() >= int(_tree->nodes.size()))
        return nullptr;
    return &_tree->nodes[size_t(e.index())];
}

RegistryEntry TreeRegistry::entry(int index) const
{
    return RegistryEntry(std::shared_ptr<const void>(_tree), index);
}

RegistryEntry TreeRegistry::entryForId(const QString &id) const
{
    const auto it = _tree->byId.constFind(id);
    return it == _tree->byId.cend() ? RegistryEntry() : entry(it.value());
}

QList<RegistryEntry> TreeRegistry::matchingServices(const QVariantMap &match) const
{
    QList<RegistryEntry> result;
    for (int i = 0; i < int(_tree->nodes.size()); ++i) {
        const QVariantMap &props = _tree->nodes[size_t(i)].properties;
        bool all = true;
        for (auto it = match.cbegin(); it != match.cend() && all; ++it) {
            const auto found = props.constFind(it.key());
            all = found != props.cend() && found.value() == it.value();
        }
        if (all)
            result.append(entry(i));
    }
    return result;
}

RegistryEntry TreeRegistry::parentEntry(const RegistryEntry &e) const
{
    const RegistryNode *n = node(e);
    return n && n->parent >= 0 ? entry(n->parent) : RegistryEntry();
}

QVariantMap TreeRegistry::properties(const RegistryEntry &e) const
{
    const RegistryNode *n = node(e);
    return n ? n->properties : QVariantMap();
}

QString TreeRegistry::name(const RegistryEntry &e) const
{
    const RegistryNode *n = node(e);
    return n ? n->name : QString();
}

QList<RegistryEntry> TreeRegistry::descendants(const RegistryEntry &e) const
{
    QList<RegistryEntry> result;
    if (!node(e))
        return result;
    // Explicit stack: depth first, children in their stored order.
    std::vector<int> stack(_tree->children[size_t(e.index())].rbegin(), _tree->children[size_t(e.index())].rend());
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        result.append(entry(i));
        const auto &kids = _tree->children[size_t(i)];
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    return result;
}

RegistryEntry TreeRegistry::serviceNamed(const QString &name) const
{
    for (int i = 0; i < int(_tree->nodes.size()); ++i) {
        if (_tree->nodes[size_t(i)].name == name)
            return entry(i);
    }
    return {};
}

std::optional<QVariantMap> TreeRegistry::diskDescription(const RegistryEntry &e) const
{
    const RegistryNode *n = node(e);
    return n ? n->description : std::nullopt;
}

} // namespace corvane
