// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>
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

// The names of the logo catalogue's images, sorted. Known without the image files.
const QStringList &logoCatalogueNames();
bool logoCatalogueContains(const QString &imageName);

// Corvane's data folders (generated logos, the manual), in search order: the
// build tree's data folder when this program runs from the build tree, the
// installed data folder, then the user's data folder.
QStringList dataDirs();
// Sub-folders of those: catalogue images and the PNG logos of the path lookup.
inline constexpr char kLogoCatalogueFolder[] = "logo-catalogue";
inline constexpr char kDriveLogoFolder[] = "drive-logos";

// File of a catalogue image (for front ends that draw it); empty when missing.
QString logoCatalogueImagePath(const QString &imageName);

} // namespace corvane
