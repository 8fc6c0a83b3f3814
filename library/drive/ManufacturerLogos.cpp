// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/ManufacturerLogos.h"

namespace corvane {

static InvalidManufacturerHandler &invalidHandler()
{
    static InvalidManufacturerHandler handler;
    return handler;
}

void setInvalidManufacturerHandler(InvalidManufacturerHandler handler)
{
    invalidHandler() = std::move(handler);
}

QString mfgLogoForDriveModel(const QString &model)
{
    return model.isEmpty() ? QString() : QStringLiteral("NSCaution");
}

QString mfgLogoPathForDriveModel(const QString &)
{
    return {};
}

} // namespace corvane
