// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive report: every detail page of the drive in tab order, landscape,
// the Information page in light colours. A page longer than a sheet goes on
// over further sheets, each headed by the page's title, breaking between
// table rows, so no row is lost.
#include "browser/DriveEntry.h"

#include <QPalette>
#include <QString>

class QPagedPaintDevice;

namespace corvane::app {

// Paints the report on a PDF writer or printer set up by the caller (the
// orientation is set here). Returns the number of sheets, 0 with *error set
// when nothing could be painted.
int paintReport(const DriveEntry &entry, QPagedPaintDevice &device, const QPalette &palette, QString *error);

// Writes the report to a PDF file through QSaveFile: a failed write leaves
// whatever was at `path` untouched. False with *error set on failure.
bool writeReportPdf(const DriveEntry &entry, const QString &path, const QPalette &palette, QString *error);

// "Corvane-sdb.pdf"
QString suggestedReportName(const QString &bsdName);

} // namespace corvane::app
