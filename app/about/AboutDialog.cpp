// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/AboutDialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#ifndef CORVANE_GIT_REVISION
#define CORVANE_GIT_REVISION "unknown"
#endif

namespace corvane::app {

QString versionBuildText()
{
    return QStringLiteral("Version %1 (Build %2)").arg(QStringLiteral(CORVANE_VERSION)).arg(CORVANE_BUILD_NUMBER);
}

QString aboutBuildText()
{
    return QStringLiteral("Build %1-%2").arg(CORVANE_BUILD_NUMBER).arg(QStringLiteral(CORVANE_GIT_REVISION));
}

QString copyrightNotice()
{
    return QStringLiteral("Copyright © 2026 the Corvane authors. Free software under the GNU GPL, version 3 or later.");
}

QDialog *createAboutDialog(QWidget *parent)
{
    auto *dialog = new QDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("About Corvane"));
    auto *layout = new QVBoxLayout(dialog);

    if (!QApplication::windowIcon().isNull()) {
        auto *icon = new QLabel;
        icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
        icon->setAlignment(Qt::AlignCenter);
        layout->addWidget(icon);
    }

    auto *text = new QLabel;
    text->setTextFormat(Qt::RichText);
    text->setOpenExternalLinks(true);
    text->setAlignment(Qt::AlignCenter);
    text->setTextInteractionFlags(Qt::TextBrowserInteraction);
    QString copyright = copyrightNotice().toHtmlEscaped();
    copyright.replace(QStringLiteral(". "), QStringLiteral(".<br>"));
    text->setText(QStringLiteral("<p><b style='font-size:large'>Corvane</b></p>"
                                 "<p>Version %1<br>%2</p><p>%3</p>"
                                 "<p><small>Drive database provided by<br>"
                                 "<a href='https://www.smartmontools.org/'>smartmontools</a><br><br>"
                                 "Vendor database provided by<br>"
                                 "<a href='https://pci-ids.ucw.cz/'>The PCI ID Repository</a></small></p>")
                      .arg(QStringLiteral(CORVANE_VERSION), aboutBuildText(), copyright));
    layout->addWidget(text);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    return dialog;
}

} // namespace corvane::app
