// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device registry as enumeration sees it: a tree of entries, each with a
// property table (nested dictionaries allowed) and, for media, a disk
// description under the DA key names. The Linux side builds the tree from
// udev; recorded sets load it from JSON. Both end up in a TreeRegistry.
#include <QList>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <vector>

namespace corvane {

// A handle on one entry. Copies share the entry; the last copy to go releases
// it. A handle keeps its tree alive, so it stays usable after the Registry that
// handed it out is gone.
class RegistryEntry
{
public:
    RegistryEntry() = default;
    RegistryEntry(std::shared_ptr<const void> owner, int index) : _owner(std::move(owner)), _index(index) {}

    bool isNull() const { return !_owner || _index < 0; }
    explicit operator bool() const { return !isNull(); }
    int index() const { return _index; }
    const void *owner() const { return _owner.get(); }
    void release() { _owner.reset(); _index = -1; }

    friend bool operator==(const RegistryEntry &a, const RegistryEntry &b)
    {
        return a._owner == b._owner && a._index == b._index;
    }

private:
    std::shared_ptr<const void> _owner;
    int _index = -1;
};

class Registry
{
public:
    virtual ~Registry() = default;

    // Every entry whose properties hold all keys of `match` with equal values,
    // in tree order ({"Whole": true} gives every whole medium).
    virtual QList<RegistryEntry> matchingServices(const QVariantMap &match) const = 0;
    // The parent; a null handle at the root or for a foreign/null handle.
    virtual RegistryEntry parentEntry(const RegistryEntry &entry) const = 0;
    // All properties of the entry; empty for a null handle.
    virtual QVariantMap properties(const RegistryEntry &entry) const = 0;
    // The entry's registry name ("SoftRAID_Media", a kernel name, ...).
    virtual QString name(const RegistryEntry &entry) const = 0;
    // Every descendant, depth first, children in order.
    virtual QList<RegistryEntry> descendants(const RegistryEntry &entry) const = 0;
    // The first entry with this name; null when there is none.
    virtual RegistryEntry serviceNamed(const QString &name) const = 0;
    // The disk description of a medium; nullopt when the entry has none.
    virtual std::optional<QVariantMap> diskDescription(const RegistryEntry &entry) const = 0;

    // The value of `key` on the entry or its nearest ancestor that has it;
    // invalid when none has. Bounded, so a broken implementation can't hang it.
    virtual QVariant searchProperty(const RegistryEntry &entry, const QString &key) const;
};

// The ancestor of the medium named `bsdName` (at most five steps up) whose
// properties carry `capability` ("SMART Capable", "NVMe SMART Capable"): the
// entry a SMART session opens. Null when there is none.
RegistryEntry capableAncestor(const Registry &registry, const QString &bsdName, const QString &capability);

// One entry of a TreeRegistry while it is being built.
struct RegistryNode
{
    QString id;   // unique within the tree
    QString name; // registry name; may repeat
    int parent = -1;
    QVariantMap properties;
    std::optional<QVariantMap> description;
};

// The one concrete registry: an immutable tree of nodes.
class TreeRegistry : public Registry
{
public:
    // Fails (returns null, sets *error) on a parent index out of range, a
    // cycle or a duplicate id.
    static std::unique_ptr<TreeRegistry> create(std::vector<RegistryNode> nodes, QString *error = nullptr);

    QList<RegistryEntry> matchingServices(const QVariantMap &match) const override;
    RegistryEntry parentEntry(const RegistryEntry &entry) const override;
    QVariantMap properties(const RegistryEntry &entry) const override;
    QString name(const RegistryEntry &entry) const override;
    QList<RegistryEntry> descendants(const RegistryEntry &entry) const override;
    RegistryEntry serviceNamed(const QString &name) const override;
    std::optional<QVariantMap> diskDescription(const RegistryEntry &entry) const override;

    const std::vector<RegistryNode> &nodes() const;
    RegistryEntry entryForId(const QString &id) const;

private:
    struct Tree;
    explicit TreeRegistry(std::shared_ptr<const Tree> tree);
    const RegistryNode *node(const RegistryEntry &entry) const;
    RegistryEntry entry(int index) const;

    std::shared_ptr<const Tree> _tree;
};

} // namespace corvane
