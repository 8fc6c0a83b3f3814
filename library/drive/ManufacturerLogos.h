// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <functional>

namespace corvane {

// Called with the image name when a model maps to no catalogue image; each
// front end decides how to tell the user (the CLI prints a line).
using InvalidManufacturerHandler = std::function<void(const QString &imageName)>;
void setInvalidManufacturerHandler(InvalidManufacturerHandler handler);

// Catalogue image name for a drive model ("seagate", "transcend", …); empty for
// an empty model, "NSCaution" when the catalogue has no image of that name.
QString mfgLogoForDriveModel(const QString &model);

// Path of the maker's PNG logo among the installed logo files; empty for an
// empty model or when no file exists.
QString mfgLogoPathForDriveModel(const QString &model);

} // namespace corvane
