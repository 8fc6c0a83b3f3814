// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-render-manual IN.md OUT.pdf: sets a Markdown manual as an A4 PDF.
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: corvane-render-manual IN.md OUT.pdf\n", stderr);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "corvane-render-manual: %s: %s\n", argv[1], qPrintable(in.errorString()));
        return 1;
    }
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setDocumentMargin(0);
    document.setMarkdown(QString::fromUtf8(in.readAll()));

    // Written beside the target and renamed, so an interrupted build never
    // leaves half a manual that looks finished.
    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "corvane-render-manual: %s: %s\n", argv[2], qPrintable(out.errorString()));
        return 1;
    }
    {
        QPdfWriter pdf(&out);
        pdf.setTitle(QStringLiteral("Corvane Manual"));
        pdf.setCreator(QStringLiteral("Corvane"));
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                      QPageLayout::Millimeter));
        document.print(&pdf);
    }
    if (!out.commit()) {
        std::fprintf(stderr, "corvane-render-manual: %s: %s\n", argv[2], qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
