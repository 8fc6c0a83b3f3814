// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An icon drawn by code: subclasses paint into any rectangle; pixmaps of any
// size and device pixel ratio are made from that, on a cleared background
// (QIconEngine's own pixmap() paints onto uninitialised memory).
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace corvane::gui {

class VectorIconEngine : public QIconEngine
{
public:
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pm(size * scale);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }
};

} // namespace corvane::gui
