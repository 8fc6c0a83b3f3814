// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The display forms of drive property values, one function per form, named
// after the value transformers the pages bind through. Every page, the tray
// and the PDF report show values through these, so a drive reads the same
// everywhere. Images are returned by reference (a file path, an icon name);
// front ends turn them into pixels.
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>

namespace corvane {
class VendorIndex;
}

namespace corvane::display {

// The value's text, or "-" for none and for text that is blank.
QString blankLineXfmr(const QVariant &value);
// Decimal units: 999 B , 1 KB, 1.5 MB, 2.000 GB, 2.000 TB; 0 gives "-".
QString memUnitXfmr(double bytes);
QString boolXfmr(bool value);
// "FFh"; takes 64 bits so a 48-bit raw attribute value keeps every digit.
QString hexXfmr(qint64 value);
// "10,000 (1 year, 1 month, 20 days, 23 hours)"; 0 gives "-".
QString hoursXfmr(qint64 hours);
// "35 ℃ / 95.0 ℉"; 0 and below give "-" (no reading). Hot readings are
// shown: a drive above 100 ℃ is the one a health monitor must not hide.
QString temperatureXfmr(qint64 celsius);
QString minutesXfmr(const QVariant &value);
QString pagesXfmr(const QVariant &value);
QString percentXfmr(const QVariant &value);
// "Intel Corporation (8086)", or "(8086)" when the vendor is unknown.
QString vid2vXfmr(const QString &vendorId);
// Where vid2vXfmr() finds names: the index of the PCI ID database, which
// reads a vendor's name when asked.
void setVendorIndex(std::shared_ptr<const VendorIndex> vendors);
// The path when it names a readable file, else empty (no image).
QString mfgLogoXfmr(const QString &path);
// "%c%02d:%02d:%02d": " 01:02:05", "-00:00:59".
QString todXfmr(qint64 seconds);
// Health word to the status image name; anything but the three exact words
// gives "NSStatusNone".
QString pfw_iconXfmr(const QString &health);

} // namespace corvane::display
