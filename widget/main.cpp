// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-widget: the drive-health desktop widget.
//   corvane-widget                                   show the widget
//   corvane-widget --render small|medium|large OUT.png [--appearance light|dark] [--scale N]
//   --data FILE                                      read FILE instead of data.json
#include "Provider.h"
#include "platform/WidgetCenter.h"
#include "WidgetFamily.h"
#include "WidgetPainter.h"
#include "WidgetWindow.h"

#include "PngFile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstring>

using namespace corvane::widget;

namespace {

int render(const QString &familyText, const QString &out, const QString &appearanceText,
           const QString &scaleText)
{
    const std::optional<WidgetFamily> family = familyFromName(familyText);
    if (!family) {
        std::fprintf(stderr, "corvane-widget: unknown size \"%s\" (small, medium or large)\n",
                     qPrintable(familyText));
        return 2;
    }
    Appearance appearance = systemAppearance();
    if (appearanceText == QLatin1String("light"))
        appearance = Appearance::Light;
    else if (appearanceText == QLatin1String("dark"))
        appearance = Appearance::Dark;
    else if (!appearanceText.isEmpty()) {
        std::fprintf(stderr, "corvane-widget: unknown appearance \"%s\" (light or dark)\n",
                     qPrintable(appearanceText));
        return 2;
    }
    bool scaleOk = true;
    const double scale = scaleText.isEmpty() ? 1.0 : scaleText.toDouble(&scaleOk);
    if (!scaleOk || scale < 0.5 || scale > 8) {
        std::fprintf(stderr, "corvane-widget: scale must be a number from 0.5 to 8\n");
        return 2;
    }

    DriveEntry entry;
    Provider().getSnapshot([&entry](const DriveEntry &snapshot) { entry = snapshot; });
    if (!entry.notice.isEmpty())
        std::fprintf(stderr, "corvane-widget: no drive data in %s yet; rendering the empty widget\n",
                     qPrintable(dataFilePath()));
    const QImage image = renderEntry(entry, *family, appearance, scale);

    if (const QString why = corvane::gui::writePngFile(image, out); !why.isEmpty()) {
        std::fprintf(stderr, "corvane-widget: cannot write %s: %s\n", qPrintable(out), qPrintable(why));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Rendering needs no display: use the offscreen platform when there is none.
    bool rendering = false;
    for (int i = 1; i < argc; ++i)
        rendering = rendering || std::strcmp(argv[i], "--render") == 0;
    if (rendering && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-widget"));
    QApplication::setApplicationDisplayName(QLatin1String(corvane::kWidgetDisplayName));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("corvane-widget"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(corvane::kWidgetDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption renderOption(
        QStringLiteral("render"), QStringLiteral("Render SIZE (small, medium, large) into the PNG file given after it and exit."),
        QStringLiteral("SIZE"));
    const QCommandLineOption dataOption(QStringLiteral("data"),
                                        QStringLiteral("Read FILE instead of the agent's data.json."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption appearanceOption(QStringLiteral("appearance"),
                                              QStringLiteral("Render light or dark (default: follow the desktop)."),
                                              QStringLiteral("light|dark"));
    const QCommandLineOption scaleOption(QStringLiteral("scale"),
                                         QStringLiteral("Pixels per point of the rendered PNG (default 1)."),
                                         QStringLiteral("N"));
    parser.addOptions({renderOption, dataOption, appearanceOption, scaleOption});
    parser.addPositionalArgument(QStringLiteral("OUT.png"), QStringLiteral("Where --render writes."));
    parser.process(app);

    if (parser.isSet(dataOption))
        setDataFilePathOverride(parser.value(dataOption));

    if (parser.isSet(renderOption)) {
        if (parser.positionalArguments().size() != 1) {
            std::fprintf(stderr, "usage: corvane-widget --render small|medium|large OUT.png\n");
            return 2;
        }
        return render(parser.value(renderOption), parser.positionalArguments().first(),
                      parser.value(appearanceOption), parser.value(scaleOption));
    }

    WidgetWindow window;
    if (!window.isListeningForReloads())
        std::printf("No session bus: only changes of %s reload the widget\n", qPrintable(dataFilePath()));
    window.show();
    return app.exec();
}
