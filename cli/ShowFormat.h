// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain-text rendering of a drive properties dictionary for corvanectl.
#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace corvane::cli {

// Every key of the dictionary, in the groups of the main window: ATA
// (identity, health, capabilities, attributes, logs, self-tests) or NVMe
// (identity, health, power states, firmware slots, error log, self-tests); keys no group
// names come last under "Other", so nothing read is left out.
QString formatDrive(const QVariantMap &properties);

// The attribute table (one "vendorspecificAttributes" record per row); rows
// whose "bad" is true are marked with "!" and their condition.
QString formatAttributeTable(const QVariantList &records, const QString &indent);

// One summary error log entry ("errorLog") on one line.
QString formatErrorLogEntry(const QVariantMap &entry);

// One self-test log entry ("selftestResults") on one line.
QString formatSelfTestEntry(const QVariantMap &entry);

// One NVMe self-test result ("nvmeSelfTestResults") on one line.
QString formatNvmeSelfTestEntry(const QVariantMap &entry);

// Columns padded to their widest cell, two blanks apart.
QString formatTable(const QList<QStringList> &rows, const QString &indent);

} // namespace corvane::cli
