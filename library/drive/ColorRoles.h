// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The library links no GUI: values that must stand out carry the name of a
// colour role, and each front end paints it.
namespace corvane {

inline constexpr char kFailureColor[] = "FailureColor";
inline constexpr char kControlTextColor[] = "controlTextColor";

} // namespace corvane
