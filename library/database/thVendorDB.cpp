// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/thVendorDB.h"

#include "platform/Paths.h"

#include <QFile>
#include <QMutex>
#include <QStringDecoder>
#include <cstring>
#include <tuple>

namespace corvane {

namespace {

QMutex &lock()
{
    static QMutex m;
    return m;
}

std::shared_ptr<const VendorIndex> &indexCache()
{
    static std::shared_ptr<const VendorIndex> index;
    return index;
}

QStringList &shipped()
{
    static QStringList paths{QStringLiteral("/usr/share/misc/pci.ids"), QStringLiteral("/usr/share/hwdata/pci.ids")};
    return paths;
}

std::optional<QByteArray> readUtf8(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = f.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes); // decoding happens on conversion
    if (decoder.hasError() || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

} // namespace

QString thVendorDB::downloadedPath()
{
    return programDataDir() + QStringLiteral("vendorDatabase/pci.ids");
}

QStringList thVendorDB::shippedPaths()
{
    QMutexLocker l(&lock());
    return shipped();
}

void thVendorDB::setShippedPaths(const QStringList &paths)
{
    QMutexLocker l(&lock());
    shipped() = paths;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Four hex digits, then nothing or a blank: anything else is not an ID line.
bool isIdField(const char *s, qsizetype n)
{
    if (n < 4 || (n > 4 && s[4] != ' ' && s[4] != '\t' && s[4] != '\r'))
        return false;
    for (int i = 0; i < 4; ++i)
        if (!isxdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

quint32 idOf(const char *s)
{
    quint32 v = 0;
    std::memcpy(&v, s, 4);
    return v;
}

// Text from `from` on, trimmed of blanks and tabs (and a carriage return at the end).
std::pair<qsizetype, qsizetype> trimmed(const char *s, qsizetype from, qsizetype end)
{
    while (from < end && isBlank(s[from]))
        ++from;
    while (end > from && (isBlank(s[end - 1]) || s[end - 1] == '\r'))
        --end;
    return {from, end - from};
}

} // namespace

VendorIndex::VendorIndex(QByteArray text) : _text(std::move(text))
{
    const char *s = _text.constData();
    qsizetype n = _text.size();
    qsizetype at = 0;
    if (n >= 3 && std::memcmp(s, "\xEF\xBB\xBF", 3) == 0)
        at = 3; // as QString::fromUtf8() does
    // Class, subclass and interface lines follow this marker; none is a vendor.
    const qsizetype classes = QByteArrayView(_text).indexOf("List of known device classes", at);
    if (classes >= 0)
        n = classes;
    const QByteArrayView all(s, n);
    const qsizetype version = all.indexOf("Version:", at);
    if (version >= 0) {
        qsizetype eol = all.indexOf('\n', version);
        if (eol < 0)
            eol = n;
        std::tie(_version, _versionLength) = trimmed(s, version + 8, eol);
    }

    _byId.reserve(4096);
    _vendors.reserve(4096);
    Vendor *current = nullptr;
    for (qsizetype line = at; line < n;) {
        const char *nl = static_cast<const char *>(std::memchr(s + line, '\n', size_t(n - line)));
        const qsizetype eol = nl ? nl - s : n;
        const char c = s[line];
        if (eol > line && c != '#' && c != ' ' && c != '\t') {
            // A top-level line ends the device lines of the vendor before it.
            if (current)
                current->blockEnd = line;
            current = nullptr;
            if (isIdField(s + line, eol - line)) {
                const auto [name, length] = trimmed(s, std::min(line + 5, eol), eol);
                const quint32 id = idOf(s + line);
                // A repeated vendor replaces the earlier record, devices included.
                auto known = _byId.find(id);
                if (known != _byId.end()) {
                    _vendors[size_t(*known)] = {id, name, length, eol + 1, n};
                    current = &_vendors[size_t(*known)];
                } else {
                    _byId.insert(id, int(_vendors.size()));
                    _vendors.push_back({id, name, length, eol + 1, n});
                    current = &_vendors.back();
                }
            }
        }
        line = eol + 1;
    }
    if (current)
        current->blockEnd = n;
}

QString VendorIndex::textAt(qsizetype from, qsizetype length) const
{
    return QString::fromUtf8(_text.constData() + from, length);
}

QString VendorIndex::version() const
{
    return _version < 0 ? QString() : textAt(_version, _versionLength);
}

const VendorIndex::Vendor *VendorIndex::find(QStringView id) const
{
    if (id.size() != 4)
        return nullptr;
    char bytes[4];
    for (int i = 0; i < 4; ++i) {
        if (id[i].unicode() > 0x7F)
            return nullptr;
        bytes[i] = char(id[i].unicode());
    }
    const auto it = _byId.constFind(idOf(bytes));
    return it == _byId.cend() ? nullptr : &_vendors[size_t(*it)];
}

bool VendorIndex::contains(QStringView id) const { return find(id) != nullptr; }

QString VendorIndex::vendorName(QStringView id) const
{
    const Vendor *v = find(id);
    return v ? textAt(v->name, v->nameLength) : QString();
}

QVariantMap VendorIndex::record(const Vendor &v) const
{
    QVariantMap r{{QStringLiteral("name"), textAt(v.name, v.nameLength)}};
    const char *s = _text.constData();
    for (qsizetype line = v.block; line < v.blockEnd;) {
        const char *nl = static_cast<const char *>(std::memchr(s + line, '\n', size_t(v.blockEnd - line)));
        const qsizetype eol = nl ? nl - s : v.blockEnd;
        // A tab, then a device; two tabs are a subsystem line.
        if (eol - line > 1 && s[line] == '\t' && s[line + 1] != '\t' && isIdField(s + line + 1, eol - line - 1)) {
            const auto [name, length] = trimmed(s, std::min(line + 6, eol), eol);
            r.insert(QString::fromLatin1(s + line + 1, 4), textAt(name, length));
        }
        line = eol + 1;
    }
    return r;
}

QVariantMap VendorIndex::vendor(QStringView id) const
{
    const Vendor *v = find(id);
    return v ? record(*v) : QVariantMap();
}

QVariantMap VendorIndex::toMap() const
{
    QVariantMap result{{QStringLiteral("version"), version()}};
    for (const Vendor &v : _vendors)
        result.insert(QString::fromLatin1(reinterpret_cast<const char *>(&v.id), 4), record(v));
    return result;
}

QVariantMap thVendorDB::parse(QByteArrayView bytes)
{
    return VendorIndex(bytes.toByteArray()).toMap();
}

namespace {

std::optional<QByteArray> sourceBytes()
{
    // The downloaded copy wins when readable; parsing only the shipped one
    // would make a refresh have no effect.
    std::optional<QByteArray> bytes = readUtf8(thVendorDB::downloadedPath());
    for (const QString &path : thVendorDB::shippedPaths()) {
        if (bytes)
            break;
        bytes = readUtf8(path);
    }
    return bytes;
}

std::shared_ptr<const VendorIndex> buildIndex()
{
    std::optional<QByteArray> bytes = sourceBytes();
    return bytes ? std::make_shared<const VendorIndex>(std::move(*bytes)) : nullptr;
}

} // namespace

std::optional<QVariantMap> thVendorDB::unpackDB_PCIIDS()
{
    const std::shared_ptr<const VendorIndex> index = buildIndex();
    return index ? std::optional<QVariantMap>(index->toMap()) : std::nullopt;
}

// The index is the one parsed form; the dictionary is read out of it.
std::optional<QVariantMap> thVendorDB::vendorDatabase()
{
    const std::shared_ptr<const VendorIndex> index = vendorIndex();
    return index ? std::optional<QVariantMap>(index->toMap()) : std::nullopt;
}

std::shared_ptr<const VendorIndex> thVendorDB::vendorIndex()
{
    {
        QMutexLocker l(&lock());
        if (indexCache())
            return indexCache();
    }
    std::shared_ptr<const VendorIndex> built = buildIndex();
    QMutexLocker l(&lock());
    if (!indexCache())
        indexCache() = built;
    return indexCache();
}

void thVendorDB::databaseDidUpdate()
{
    std::shared_ptr<const VendorIndex> index = buildIndex();
    QMutexLocker l(&lock());
    indexCache() = index;
}

} // namespace corvane
