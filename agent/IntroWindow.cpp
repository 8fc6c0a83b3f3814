// SPDX-License-Identifier: GPL-3.0-or-later
#include "IntroWindow.h"

#include "DriveIcons.h"
#include "HealthStyle.h"
#include "Provider.h"
#include "WidgetPainter.h"
#include "platform/SharedDefaults.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {

namespace {

QPixmap logo(qreal ratio, const QColor &color)
{
    QPixmap pm(QSize(128, 128) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    gui::drawMenuIcon(p, QRectF(8, 8, 112, 112), color);
    return pm;
}

} // namespace

QString IntroWindow::explanation()
{
    return QStringLiteral(
        "With monitoring enabled, the Corvane widget is available on your desktop: start "
        "Corvane Health Status (corvane-widget) from your applications menu, then right-click it "
        "to choose the desired widget size and drag it where you want it. Alerts about failing "
        "drives appear in your desktop's notification area, and the Corvane icon in the system "
        "tray lists your drives.");
}

IntroWindow::IntroWindow(SharedDefaults &defaults, QWidget *parent)
    : QWidget(parent), _defaults(defaults)
{
    setWindowTitle(QStringLiteral("Welcome to Corvane"));
    setObjectName(QStringLiteral("Intro"));
    setFixedSize(750, 650);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 16);
    layout->setSpacing(12);

    auto *image = new QLabel(this);
    image->setPixmap(logo(devicePixelRatioF(), palette().color(QPalette::Highlight)));
    image->setFixedSize(128, 128);
    image->setAccessibleName(QStringLiteral("Corvane"));
    layout->addWidget(image, 0, Qt::AlignHCenter);

    auto *heading = new QLabel(title(), this);
    QFont large = heading->font();
    large.setPointSizeF(large.pointSizeF() * 2.1);
    large.setBold(true);
    heading->setFont(large);
    layout->addWidget(heading, 0, Qt::AlignHCenter);

    auto *text = new QLabel(explanation(), this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignHCenter);
    text->setContentsMargins(16, 8, 16, 8);
    layout->addWidget(text);

    // The medium widget on a few sample drives, drawn by the widget's own
    // painter from the data file's own form.
    widget::DriveEntry sample;
    sample.drives = widget::decodeAppData(R"([
        {"id": "1", "bsdName": "nvme0n1", "hwName": "SSD", "volName": "Home", "location": "Internal", "health": "Passed"},
        {"id": "2", "bsdName": "sda", "hwName": "HDD", "volName": "Media", "location": "Internal", "health": "Warning"},
        {"id": "3", "bsdName": "sdb", "hwName": "USB", "volName": "Backup", "location": "External", "health": "Passed"}])")
                        .value_or(widget::Provider().placeholder().drives);
    const QImage preview = widget::renderEntry(sample, widget::WidgetFamily::Medium, gui::systemAppearance(),
                                               devicePixelRatioF());
    auto *previewLabel = new QLabel(this);
    QPixmap pm = QPixmap::fromImage(preview);
    pm.setDevicePixelRatio(devicePixelRatioF());
    previewLabel->setPixmap(pm);
    previewLabel->setAccessibleName(QStringLiteral("Preview of the Corvane widget"));
    layout->addWidget(previewLabel, 1, Qt::AlignCenter);

    _start = new QPushButton(QStringLiteral("Start Using Corvane"), this);
    _start->setDefault(true);
    _start->setAutoDefault(true);
    connect(_start, &QPushButton::clicked, this, &IntroWindow::startUsing);
    layout->addWidget(_start, 0, Qt::AlignHCenter);
}

void IntroWindow::keyPressEvent(QKeyEvent *event)
{
    // Return acts on the default button wherever the focus is.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        _start->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void IntroWindow::startUsing()
{
    close();
    _defaults.setValue(QLatin1String(kIntroKey), true);
}

} // namespace corvane
