// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserTestSupport.h"
#include "support/Corvanectl.h"
#include "support/Golden.h"

#include "report/ReportCommand.h"
#include "report/ReportWriter.h"

#include <QApplication>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace corvane;
using namespace corvane::app;
using namespace corvane::app::test;

namespace {

QString run(const QString &program, const QStringList &args)
{
    return QString::fromUtf8(corvane::test::runProcess(program, args, QProcessEnvironment::systemEnvironment()).out);
}

} // namespace

TEST(Report, EveryTabInLandscapeLongTablesContinueNothingLost)
{
    Demo demo;
    QTemporaryDir dir;
    const DriveEntry sdb = readEntry(demo, QStringLiteral("sdb"));

    const QString a4 = dir.filePath(QStringLiteral("sdb.pdf"));
    QString error;
    ASSERT_TRUE(writeReportPdf(sdb, a4, QApplication::palette(), &error)) << error.toStdString();
    const QString info = run(QStringLiteral("pdfinfo"), {a4});
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("Page size:\\s+(\\d+)[.\\d]* x (\\d+)")).match(info);
    ASSERT_TRUE(size.hasMatch()) << info.toStdString();
    EXPECT_GT(size.captured(1).toInt(), size.captured(2).toInt()); // landscape
    // Every tab in order on its own page (pdftotext ends each with a form feed), every value as shown.
    corvane::test::expectGolden(QStringLiteral("report-sdb.txt"), run(QStringLiteral("pdftotext"), {a4, QStringLiteral("-")}).toUtf8());

    // Small sheets: the attribute table runs over several, each headed again.
    const QString a6 = dir.filePath(QStringLiteral("small.pdf"));
    {
        QPdfWriter writer(a6);
        writer.setPageSize(QPageSize(QPageSize::A6));
        ASSERT_GT(paintReport(sdb, writer, QApplication::palette(), &error), 5);
    }
    corvane::test::expectGolden(QStringLiteral("report-sdb-a6.txt"), run(QStringLiteral("pdftotext"), {a6, QStringLiteral("-")}).toUtf8());

    EXPECT_FALSE(writeReportPdf(sdb, dir.filePath(QStringLiteral("missing/x.pdf")), QApplication::palette(), &error));
    EXPECT_FALSE(error.isEmpty());

    const QString out = dir.filePath(QStringLiteral("cli.pdf"));
    EXPECT_EQ(exportReportCommand(*demo.platform, QStringLiteral("/dev/nvme1n1"), out), 0);
    corvane::test::expectGolden(QStringLiteral("report-nvme1n1.txt"), run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")}).toUtf8());
    EXPECT_EQ(exportReportCommand(*demo.platform, QStringLiteral("sdz"), dir.filePath(QStringLiteral("no.pdf"))), 2);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("no.pdf"))));
}
