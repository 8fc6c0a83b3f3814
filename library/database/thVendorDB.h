// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArrayView>
#include <QStringList>
#include <QVariantMap>
#include <optional>

namespace corvane {

// Vendor names from the PCI ID repository's pci.ids:
// { "version": text, "<vendor id>": { "name": vendor, "<device id>": device, ... } }
// IDs are kept exactly as written (lower-case hex in the repository's file).
class thVendorDB
{
public:
    // The parsed dictionary, parsing on first use; nothing when no copy is readable.
    static std::optional<QVariantMap> vendorDatabase();
    // Parses the downloaded copy when it is readable, else the shipped one.
    static std::optional<QVariantMap> unpackDB_PCIIDS();
    // Drops the cached dictionary and parses again (after a download).
    static void databaseDidUpdate();

    // The pure parser, over the file's bytes.
    static QVariantMap parse(QByteArrayView text);

    // Where a download goes: <program data>/vendorDatabase/pci.ids.
    static QString downloadedPath();
    // The system's copies (pci.ids package, hwdata); tests replace the list.
    static QStringList shippedPaths();
    static void setShippedPaths(const QStringList &paths);
};

} // namespace corvane
