// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two page sets in tab order: "sata" for ATA drives, "nvme" for NVMe
// drives. A page's tag is its position from 1 and the tag of the menu item
// that selects it.
#include "pages/PageKit.h"

namespace corvane::app {

class SelfTestPanel;

// `panel` null makes the Self-Tests pages without controls (the report).
// Both sets may share one panel: the page that shows a drive takes it.
QList<DrivePage *> makeAtaPages(SelfTestPanel *panel);
QList<DrivePage *> makeNvmePages(SelfTestPanel *panel);
QList<DrivePage *> makePages(bool nvme, SelfTestPanel *panel);

} // namespace corvane::app
