// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QImage>
#include <QString>

namespace corvane::gui {

// Writes `image` as a PNG beside `path` and moves it into place, so a failed
// render never leaves a broken picture where a good one was. Returns the
// reason on failure, an empty text on success.
QString writePngFile(const QImage &image, const QString &path);

} // namespace corvane::gui
