// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveIcons.h"


#include <QDir>
#include <QFile>
#include <QFileInfo>
#include "VectorIconEngine.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace corvane::gui {

namespace {

QByteArray readSmallFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(64).trimmed() : QByteArray();
}

// Whether the whole disk under "/" spins. No answer for overlay, network or
// container roots, which have no block device in sysfs.
std::optional<bool> startupDriveRotational()
{
    struct stat st {};
    if (::stat("/", &st) != 0)
        return std::nullopt;
    const QString node = QStringLiteral("/sys/dev/block/%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev));
    QString device = QFileInfo(node).canonicalFilePath();
    if (device.isEmpty())
        return std::nullopt;
    if (QFileInfo::exists(device + QStringLiteral("/partition")))
        device = QFileInfo(device).path();
    const QByteArray rotational = readSmallFile(device + QStringLiteral("/queue/rotational"));
    if (rotational.isEmpty())
        return std::nullopt;
    return rotational != "0";
}


void drawInternal(QPainter &p, qreal s)
{
    // A bare 3.5" drive from above: metal case, platter, hub and head arm.
    const QRectF body(s * 0.17, s * 0.06, s * 0.66, s * 0.88);
    QLinearGradient metal(body.topLeft(), body.bottomRight());
    metal.setColorAt(0, QColor(0xe4, 0xe7, 0xeb));
    metal.setColorAt(1, QColor(0xa9, 0xaf, 0xb8));
    p.setPen(QPen(QColor(0x6b, 0x72, 0x7c), s * 0.02));
    p.setBrush(metal);
    p.drawRoundedRect(body, s * 0.06, s * 0.06);

    const QPointF centre(s * 0.5, s * 0.4);
    const qreal r = s * 0.26;
    QRadialGradient platter(centre, r, centre - QPointF(r * 0.4, r * 0.4));
    platter.setColorAt(0, QColor(0xf6, 0xf8, 0xfa));
    platter.setColorAt(1, QColor(0x8e, 0x96, 0xa2));
    p.setBrush(platter);
    p.setPen(QPen(QColor(0x5c, 0x63, 0x6d), s * 0.015));
    p.drawEllipse(centre, r, r);
    p.setBrush(QColor(0x5c, 0x63, 0x6d));
    p.setPen(Qt::NoPen);
    p.drawEllipse(centre, s * 0.045, s * 0.045);

    QPainterPath arm;
    arm.moveTo(s * 0.3, s * 0.8);
    arm.lineTo(s * 0.44, s * 0.5);
    p.setPen(QPen(QColor(0x3d, 0x43, 0x4b), s * 0.035, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arm);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3d, 0x43, 0x4b));
    p.drawEllipse(QPointF(s * 0.3, s * 0.8), s * 0.055, s * 0.055);

    p.setBrush(QColor(0x6b, 0x72, 0x7c));
    for (qreal x : {0.24, 0.76})
        for (qreal y : {0.12, 0.88})
            p.drawEllipse(QPointF(s * x, s * y), s * 0.018, s * 0.018);
}

void drawExternal(QPainter &p, qreal s)
{
    // A portable drive in its enclosure, lying flat, with an activity light.
    const QRectF body(s * 0.08, s * 0.26, s * 0.84, s * 0.5);
    QLinearGradient shell(body.topLeft(), body.bottomLeft());
    shell.setColorAt(0, QColor(0x5a, 0x65, 0x78));
    shell.setColorAt(1, QColor(0x2e, 0x35, 0x42));
    p.setPen(QPen(QColor(0x1f, 0x24, 0x2d), s * 0.02));
    p.setBrush(shell);
    p.drawRoundedRect(body, s * 0.09, s * 0.09);

    const QRectF top(body.left() + s * 0.05, body.top() + s * 0.05, body.width() - s * 0.1,
                     body.height() * 0.42);
    QLinearGradient sheen(top.topLeft(), top.bottomLeft());
    sheen.setColorAt(0, QColor(255, 255, 255, 90));
    sheen.setColorAt(1, QColor(255, 255, 255, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRoundedRect(top, s * 0.05, s * 0.05);

    p.setPen(QPen(QColor(0x1a, 0x1e, 0x25), s * 0.025, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(body.left() + s * 0.24, body.bottom() - s * 0.12),
               QPointF(body.left() + s * 0.56, body.bottom() - s * 0.12));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4a, 0x9e, 0xff));
    p.drawEllipse(QPointF(body.left() + s * 0.13, body.bottom() - s * 0.12), s * 0.035, s * 0.035);
}

void drawDrive(QPainter &p, DriveKind kind, qreal size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (kind == DriveKind::Internal)
        drawInternal(p, size);
    else
        drawExternal(p, size);
    p.restore();
}

// Draws at whatever size is asked, so the fallback stays sharp at any scale.
class FallbackDriveEngine final : public VectorIconEngine
{
public:
    explicit FallbackDriveEngine(DriveKind kind) : m_kind(kind) {}
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        const qreal side = std::min(rect.width(), rect.height());
        painter->save();
        painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
        drawDrive(*painter, m_kind, side);
        painter->restore();
    }
    QIconEngine *clone() const override { return new FallbackDriveEngine(m_kind); }

private:
    DriveKind m_kind;
};

} // namespace

QString startupDriveIconName()
{
    static const QString name = startupDriveRotational().value_or(true)
                                    ? QStringLiteral("drive-harddisk")
                                    : QStringLiteral("drive-harddisk-solidstate");
    return name;
}

QString driveIconName(DriveKind kind)
{
    return kind == DriveKind::Internal ? startupDriveIconName()
                                       : QStringLiteral("drive-removable-media");
}

QIcon driveIcon(DriveKind kind)
{
    const QIcon themed = QIcon::fromTheme(driveIconName(kind));
    return themed.isNull() ? fallbackDriveIcon(kind) : themed;
}

QIcon driveIcon(const QString &nameOrPath, DriveKind kind)
{
    if (QDir::isAbsolutePath(nameOrPath) && QFileInfo::exists(nameOrPath))
        return QIcon(nameOrPath);
    if (!nameOrPath.isEmpty() && QIcon::hasThemeIcon(nameOrPath))
        return QIcon::fromTheme(nameOrPath);
    return driveIcon(kind);
}

QIcon fallbackDriveIcon(DriveKind kind)
{
    return QIcon(new FallbackDriveEngine(kind));
}

QPixmap drawFallbackDrive(DriveKind kind, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    drawDrive(p, kind, size);
    p.end();
    return pixmap;
}

void drawMenuIcon(QPainter &p, const QRectF &rect, const QColor &color)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = std::min(rect.width(), rect.height());
    const QPointF c = rect.center();
    p.setPen(QPen(color, s * 0.09));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, s * 0.44, s * 0.44);
    QPainterPath pulse;
    pulse.moveTo(c.x() - s * 0.3, c.y());
    pulse.lineTo(c.x() - s * 0.12, c.y());
    pulse.lineTo(c.x() - s * 0.04, c.y() - s * 0.2);
    pulse.lineTo(c.x() + s * 0.06, c.y() + s * 0.2);
    pulse.lineTo(c.x() + s * 0.13, c.y());
    pulse.lineTo(c.x() + s * 0.3, c.y());
    p.setPen(QPen(color, s * 0.09, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(pulse);
    p.restore();
}

} // namespace corvane::gui
