// SPDX-License-Identifier: GPL-3.0-or-later
#include "PngFile.h"

#include <QSaveFile>

namespace corvane::gui {

QString writePngFile(const QImage &image, const QString &path)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit())
        return QString();
    return file.errorString().isEmpty() ? QStringLiteral("the picture could not be encoded") : file.errorString();
}

} // namespace corvane::gui
