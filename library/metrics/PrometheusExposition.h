// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drive properties as Prometheus metrics (text exposition format 0.0.4), for
// `corvanectl metrics` and the agent's node_exporter textfile alike.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>

namespace corvane {

// Drive properties key: the non-zero status of a read that failed (int32),
// put there by the front end that read the drive.
inline constexpr char kReadStatusKey[] = "readStatus";

// File name node_exporter's textfile collector picks up (it reads *.prom).
inline constexpr char kTextfileName[] = "corvane.prom";

struct ReadErrorCount
{
    QString device;
    QString reason;
    quint64 count = 0;
};

// A short, stable label text for why a drive could not be read:
// "permission_denied", "no_device", "timeout", "ata_error", ...
QString readErrorReason(int32_t status);

// One error per drive whose properties carry a non-zero kReadStatusKey.
QList<ReadErrorCount> readErrorsOf(const QList<QVariantMap> &drives);

// The model family of a drive (model, firmware), empty when unknown.
using ModelFamilyLookup = std::function<QString(const QString &model, const QString &firmware)>;
// The drive database's family (drivedb.h), as the process has it loaded.
QString driveDatabaseFamily(const QString &model, const QString &firmware);

// `drives` are drive properties dictionaries in any order (series come out in
// the kernel's drive order); `readErrors` become corvane_drive_read_errors_total.
QByteArray prometheusExposition(const QList<QVariantMap> &drives, double scrapeTimestampSeconds,
                                const QList<ReadErrorCount> &readErrors,
                                const ModelFamilyLookup &family = {});

// A label value with backslash, double quote and line feed escaped, UTF-8.
QByteArray escapeLabelValue(const QString &value);

} // namespace corvane
