// SPDX-License-Identifier: GPL-3.0-or-later
#include "HealthStyle.h"

#include <QGuiApplication>
#include "VectorIconEngine.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace corvane::gui {

Appearance systemAppearance()
{
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128 ? Appearance::Dark : Appearance::Light;
}

HealthSymbol statusImage(const QString &driveHealth)
{
    if (driveHealth == QLatin1String("Passed"))
        return HealthSymbol::CheckmarkCircle;
    if (driveHealth == QLatin1String("Warning"))
        return HealthSymbol::ExclamationmarkTriangle;
    if (driveHealth == QLatin1String("Failed"))
        return HealthSymbol::XmarkCircle;
    return HealthSymbol::Circle;
}

QString statusImageName(HealthSymbol symbol)
{
    switch (symbol) {
    case HealthSymbol::CheckmarkCircle:
        return QStringLiteral("checkmark.circle");
    case HealthSymbol::ExclamationmarkTriangle:
        return QStringLiteral("exclamationmark.triangle");
    case HealthSymbol::XmarkCircle:
        return QStringLiteral("xmark.circle");
    case HealthSymbol::Circle:
        break;
    }
    return QStringLiteral("circle");
}

QColor statusColor(const QString &driveHealth, Appearance appearance)
{
    const bool dark = appearance == Appearance::Dark;
    switch (statusImage(driveHealth)) {
    case HealthSymbol::CheckmarkCircle:
        return dark ? QColor(48, 209, 88) : QColor(40, 167, 69);
    case HealthSymbol::ExclamationmarkTriangle:
        return dark ? QColor(255, 159, 10) : QColor(242, 135, 5);
    case HealthSymbol::XmarkCircle:
        return dark ? QColor(255, 69, 58) : QColor(224, 36, 36);
    case HealthSymbol::Circle:
        break;
    }
    return dark ? QColor(152, 152, 157) : QColor(128, 128, 133);
}

void paintHealthSymbol(QPainter &p, const QPointF &centre, HealthSymbol symbol, const QColor &color,
                       qreal scale)
{
    p.save();
    p.translate(centre);
    p.scale(scale, scale);
    const QPointF c(0, 0);
    // Line drawings on a 15 px body, the size of a symbol beside body text.
    QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const qreal r = 6.6;
    switch (symbol) {
    case HealthSymbol::CheckmarkCircle: {
        p.drawEllipse(c, r, r);
        QPainterPath tick;
        tick.moveTo(c + QPointF(-3.1, 0.2));
        tick.lineTo(c + QPointF(-0.9, 2.6));
        tick.lineTo(c + QPointF(3.2, -2.6));
        p.drawPath(tick);
        break;
    }
    case HealthSymbol::ExclamationmarkTriangle: {
        QPainterPath triangle;
        triangle.moveTo(c + QPointF(0, -6.6));
        triangle.lineTo(c + QPointF(7.2, 5.8));
        triangle.lineTo(c + QPointF(-7.2, 5.8));
        triangle.closeSubpath();
        p.drawPath(triangle);
        p.drawLine(c + QPointF(0, -2.4), c + QPointF(0, 1.4));
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(c + QPointF(0, 3.6), 1.0, 1.0);
        break;
    }
    case HealthSymbol::XmarkCircle:
        p.drawEllipse(c, r, r);
        p.drawLine(c + QPointF(-2.5, -2.5), c + QPointF(2.5, 2.5));
        p.drawLine(c + QPointF(-2.5, 2.5), c + QPointF(2.5, -2.5));
        break;
    case HealthSymbol::Circle:
        p.drawEllipse(c, r, r);
        break;
    }
    p.restore();
}

QColor statusBackground(Appearance appearance)
{
    return appearance == Appearance::Dark ? QColor(0x3a, 0x3a, 0x3c) : QColor(0xff, 0xff, 0xff);
}

void paintHealthBadge(QPainter &p, const QRectF &rect, const QString &driveHealth, const QColor &background,
                      qreal opacity, qreal symbolSize, Appearance appearance)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QColor fill = background;
    fill.setAlphaF(fill.alphaF() * opacity);
    p.setBrush(fill);
    p.drawEllipse(rect);
    // The symbol's body is 15 px with its stroke.
    paintHealthSymbol(p, rect.center(), statusImage(driveHealth), statusColor(driveHealth, appearance),
                      symbolSize / 15.0);
    p.restore();
}

namespace {

// Draws the symbol at whatever size and ratio a view asks for.
class HealthIconEngine final : public VectorIconEngine
{
public:
    HealthIconEngine(QString health, Appearance appearance)
        : m_health(std::move(health)), m_appearance(appearance) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QColor color = statusColor(m_health, m_appearance);
        if (mode == QIcon::Disabled)
            color.setAlphaF(0.4);
        // The symbol's body is 15 px with its stroke; scale to the smaller side.
        const qreal scale = qMin(rect.width(), rect.height()) / 16.0;
        paintHealthSymbol(*painter, QRectF(rect).center(), statusImage(m_health), color, scale);
        painter->restore();
    }
    QIconEngine *clone() const override { return new HealthIconEngine(m_health, m_appearance); }
    QString iconName() override { return statusImageName(statusImage(m_health)); }

private:
    QString m_health;
    Appearance m_appearance;
};

} // namespace

QIcon healthIcon(const QString &driveHealth, Appearance appearance)
{
    return QIcon(new HealthIconEngine(driveHealth, appearance));
}

} // namespace corvane::gui
