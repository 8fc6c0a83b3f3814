// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <vector>

namespace corvane {

// The vendors of a pci.ids text, indexed in one pass over its bytes: each
// vendor's ID, name and where its device lines are. A vendor's devices are
// read only when its record is asked for, so building the index costs a
// fraction of building the whole dictionary. Same rules as
// thVendorDB::parse(), which is toMap() of this index.
class VendorIndex
{
public:
    VendorIndex() = default;
    explicit VendorIndex(QByteArray text);

    QString version() const;
    int size() const { return int(_byId.size()); }
    bool contains(QStringView id) const;
    // Empty when the ID is unknown (or its name is).
    QString vendorName(QStringView id) const;
    // { "name": vendor, "<device id>": device, ... }; empty when unknown.
    QVariantMap vendor(QStringView id) const;
    // The whole dictionary, as thVendorDB::parse() gives it.
    QVariantMap toMap() const;

private:
    struct Vendor
    {
        quint32 id;                  // the four ID bytes
        qsizetype name, nameLength;  // into _text
        qsizetype block, blockEnd;   // its device lines
    };
    QByteArray _text;
    qsizetype _version = -1, _versionLength = 0;
    std::vector<Vendor> _vendors; // last record of each ID, in file order
    QHash<quint32, int> _byId;

    const Vendor *find(QStringView id) const;
    QString textAt(qsizetype from, qsizetype length) const;
    QVariantMap record(const Vendor &v) const;
};

// Vendor names from the PCI ID repository's pci.ids:
// { "version": text, "<vendor id>": { "name": vendor, "<device id>": device, ... } }
// IDs are kept exactly as written (lower-case hex in the repository's file).
class thVendorDB
{
public:
    // The dictionary of the index below (parsed on first use); nothing when no
    // copy is readable. Built anew on each call: keep the result.
    static std::optional<QVariantMap> vendorDatabase();
    // Parses the downloaded copy when it is readable, else the shipped one.
    static std::optional<QVariantMap> unpackDB_PCIIDS();
    // Drops the cached dictionary and parses again (after a download).
    static void databaseDidUpdate();

    // The pure parser, over the file's bytes.
    static QVariantMap parse(QByteArrayView text);
    // The index of the same copy vendorDatabase() reads, built on first use
    // (for vendor names, it is all that is needed); null when no copy is readable.
    static std::shared_ptr<const VendorIndex> vendorIndex();

    // Where a download goes: <program data>/vendorDatabase/pci.ids.
    static QString downloadedPath();
    // The system's copies (pci.ids package, hwdata); tests replace the list.
    static QStringList shippedPaths();
    static void setShippedPaths(const QStringList &paths);
};

} // namespace corvane
