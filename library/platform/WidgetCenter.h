// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The widget's reload request on the session bus. After every write of data.json
// the agent broadcasts, from its own object,
//
//   signal path      /agent
//   interface        com.tarnholm.Corvane_HelperProtocol
//   member           reloadTimelines
//   argument         one string, the widget kind: "Corvane_Widget"
//
// The widget listens to any sender. Plain C++, shared by the agent and the widget.
namespace corvane {

inline constexpr char kWidgetKind[] = "Corvane_Widget";
inline constexpr char kWidgetCenterPath[] = "/agent";
inline constexpr char kWidgetCenterInterface[] = "com.tarnholm.Corvane_HelperProtocol";
inline constexpr char kReloadTimelinesMember[] = "reloadTimelines";

// What a click on a row hands to the main application.
inline constexpr char kWidgetDeepLink[] = "widget-deeplink://";

inline constexpr char kWidgetDisplayName[] = "Corvane Health Status";
inline constexpr char kWidgetDescription[] = "Shows SMART drive health.";

} // namespace corvane
