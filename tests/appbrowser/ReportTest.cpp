// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserTestSupport.h"
#include "support/Corvanectl.h"

#include "display/DisplayFormats.h"
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
    const QVariantList attributes = sdb.properties().value(QStringLiteral("vendorspecificAttributes")).toList();
    ASSERT_GT(attributes.size(), 10);

    const QString a4 = dir.filePath(QStringLiteral("sdb.pdf"));
    QString error;
    ASSERT_TRUE(writeReportPdf(sdb, a4, QApplication::palette(), &error)) << error.toStdString();
    const QString info = run(QStringLiteral("pdfinfo"), {a4});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+5\\n")))) << info.toStdString();
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("Page size:\\s+(\\d+)[.\\d]* x (\\d+)")).match(info);
    ASSERT_TRUE(size.hasMatch()) << info.toStdString();
    EXPECT_GT(size.captured(1).toInt(), size.captured(2).toInt()); // landscape
    const QString text = run(QStringLiteral("pdftotext"), {a4, QStringLiteral("-")});
    qsizetype at = 0;
    for (const char *tab : {"Information", "Attributes", "Capabilities", "Error Log", "Self-Tests"}) {
        const qsizetype found = text.indexOf(QLatin1String(tab) + QStringLiteral(" — /dev/sdb"), at);
        EXPECT_GT(found, at - 1) << tab << " missing or out of tab order";
        at = found;
    }

    // Small sheets: the attribute table runs over several, each headed again,
    // and every attribute is there.
    const QString a6 = dir.filePath(QStringLiteral("small.pdf"));
    {
        QPdfWriter writer(a6);
        writer.setPageSize(QPageSize(QPageSize::A6));
        ASSERT_GT(paintReport(sdb, writer, QApplication::palette(), &error), 5);
    }
    const QString small = run(QStringLiteral("pdftotext"), {a6, QStringLiteral("-")});
    EXPECT_GE(small.count(QStringLiteral("Attributes (continued)")), 1);
    for (const QVariant &a : attributes) {
        const QString hex = display::hexXfmr(a.toMap().value(QStringLiteral("ID")).toLongLong());
        EXPECT_TRUE(small.contains(hex)) << "attribute " << hex.toStdString() << " lost";
    }

    // A failed write is reported and leaves nothing behind.
    EXPECT_FALSE(writeReportPdf(sdb, dir.filePath(QStringLiteral("missing/x.pdf")), QApplication::palette(), &error));
    EXPECT_FALSE(error.isEmpty());

    // The command line writes the same report; an unknown drive is refused.
    const QString out = dir.filePath(QStringLiteral("cli.pdf"));
    EXPECT_EQ(exportReportCommand(*demo.platform, QStringLiteral("/dev/nvme1n1"), out), 0);
    EXPECT_TRUE(run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")}).contains(QStringLiteral("Power States")));
    EXPECT_EQ(exportReportCommand(*demo.platform, QStringLiteral("sdz"), dir.filePath(QStringLiteral("no.pdf"))), 2);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("no.pdf"))));
}
