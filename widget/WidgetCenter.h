// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The widget's reload request on the session bus. After every write of data.json
// the agent broadcasts
//
//   signal path      /com/tarnholm/Corvane/WidgetCenter
//   interface        com.tarnholm.Corvane.WidgetCenter
//   member           reloadTimelines
//   argument         one string, the widget kind: "Corvane_Widget"
//
// e.g. QDBusMessage::createSignal(kWidgetCenterPath, kWidgetCenterInterface,
//                                 kReloadTimelinesMember) << QString(kWidgetKind)
// No bus name needs to be owned; the widget listens to any sender. The header is
// plain C++ so the agent can include it without the widget's Qt modules.
namespace corvane {

inline constexpr char kWidgetKind[] = "Corvane_Widget";
inline constexpr char kWidgetCenterPath[] = "/com/tarnholm/Corvane/WidgetCenter";
inline constexpr char kWidgetCenterInterface[] = "com.tarnholm.Corvane.WidgetCenter";
inline constexpr char kReloadTimelinesMember[] = "reloadTimelines";

// What a click on a row hands to the main application.
inline constexpr char kWidgetDeepLink[] = "widget-deeplink://";

inline constexpr char kWidgetDisplayName[] = "Corvane Health Status";
inline constexpr char kWidgetDescription[] = "Shows SMART drive health.";

} // namespace corvane
