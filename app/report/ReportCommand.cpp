// SPDX-License-Identifier: GPL-3.0-or-later
// Placeholder until the report lands.
#include "report/ReportCommand.h"

#include <cstdio>

namespace corvane::app {

int exportReportCommand(const DrivePlatform &, const QString &, const QString &)
{
    std::fputs("corvane: --export-pdf is not available in this build\n", stderr);
    return 1;
}

} // namespace corvane::app
