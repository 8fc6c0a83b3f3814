// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ReportWriter.h"

#include "pages/PageSets.h"

#include <QApplication>
#include <QLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStyle>

#include <algorithm>
#include <memory>

namespace corvane::app {

namespace {

constexpr int kResolution = 96; // the pages are laid out in screen pixels

} // namespace

QString suggestedReportName(const QString &bsdName)
{
    return QStringLiteral("Corvane-%1.pdf").arg(bsdName);
}

int paintReport(const DriveEntry &entry, QPagedPaintDevice &device, const QPalette &palette, QString *error)
{
    device.setPageOrientation(QPageLayout::Landscape);
    device.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    const QRect paint = device.pageLayout().paintRectPixels(kResolution);
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error)
            *error = QStringLiteral("the output can't be painted on");
        return 0;
    }
    // Device units may be finer than the layout's pixels.
    const qreal scale = qreal(device.logicalDpiX()) / kResolution;
    painter.scale(scale, scale);

    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    // In pixels: the painter's scale already maps layout pixels to the device.
    titleFont.setPixelSize(qRound(QFontInfo(QApplication::font()).pixelSize() * 1.3));
    const int titleHeight = QFontMetrics(titleFont).height() + 10;
    const int available = paint.height() - titleHeight;
    const QString driveName = QStringLiteral("/dev/%1 %2")
                                  .arg(entry.bsdName(), entry.properties().value(QStringLiteral("Device Model")).toString());

    // Laid out off screen, at the sheet's width.
    QWidget host;
    host.setAttribute(Qt::WA_DontShowOnScreen);
    const QList<DrivePage *> pages = makePages(entry.isNVMe(), nullptr);
    int sheets = 0;
    for (DrivePage *page : pages) {
        std::unique_ptr<DrivePage> owned(page);
        const bool information = page->title() == QLatin1String("Information");
        page->setPalette(information ? QApplication::style()->standardPalette() : palette);
        page->setAutoFillBackground(true);
        page->setParent(&host);
        page->setDrive(entry);
        page->resize(paint.width(), available);
        host.show();
        page->show();
        page->setPrintLayout(true);
        page->layout()->activate();
        const int height = std::max({page->sizeHint().height(), page->minimumSizeHint().height(), 1});
        page->resize(paint.width(), height);
        page->layout()->activate();
        const QList<int> breaks = page->breakPoints();

        for (int top = 0, part = 0; top < height; ++part) {
            int bottom = std::min(height, top + available);
            if (bottom < height) {
                // End the sheet before the last row that doesn't fit whole.
                int best = -1;
                for (int b : breaks)
                    if (b > top && b <= bottom)
                        best = b;
                if (best > 0)
                    bottom = best;
            }
            if (sheets > 0)
                device.newPage();
            painter.save();
            painter.setFont(titleFont);
            painter.setPen(Qt::black); // on the sheet's white margin
            painter.drawText(QRect(0, 0, paint.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                             QStringLiteral("%1%2 — %3")
                                 .arg(page->title(), part ? QStringLiteral(" (continued)") : QString(), driveName));
            painter.restore();
            page->render(&painter, QPoint(0, titleHeight), QRegion(0, top, paint.width(), bottom - top),
                         QWidget::DrawWindowBackground | QWidget::DrawChildren);
            ++sheets;
            top = bottom;
        }
    }
    if (!painter.end() && error)
        *error = QStringLiteral("the output could not be finished");
    return sheets;
}

bool writeReportPdf(const DriveEntry &entry, const QString &path, const QPalette &palette, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    int sheets = 0;
    {
        QPdfWriter writer(&file);
        writer.setResolution(kResolution);
        writer.setCreator(QStringLiteral("Corvane"));
        writer.setTitle(QStringLiteral("Corvane report for /dev/%1").arg(entry.bsdName()));
        writer.setPageSize(QPageSize(QPageSize::A4));
        sheets = paintReport(entry, writer, palette, error);
    }
    if (sheets == 0 || file.error() != QFileDevice::NoError) {
        if (error && error->isEmpty())
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace corvane::app
