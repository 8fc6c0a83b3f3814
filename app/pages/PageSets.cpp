// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/PageSets.h"

#include "pages/AtaPages.h"
#include "pages/NvmePages.h"

namespace corvane::app {

QList<DrivePage *> makeAtaPages(SelfTestPanel *panel)
{
    return {new AtaInformationPage, new AtaAttributesPage, new AtaCapabilitiesPage, new AtaErrorLogPage,
            new AtaSelfTestPage(panel)};
}

QList<DrivePage *> makeNvmePages(SelfTestPanel *panel)
{
    return {new NvmeInformationPage, new NvmeHealthPage, new NvmePowerStatesPage, new NvmeFirmwareSlotsPage,
            new NvmeErrorLogPage, new NvmeSelfTestsPage(panel)};
}

QList<DrivePage *> makePages(bool nvme, SelfTestPanel *panel)
{
    return nvme ? makeNvmePages(panel) : makeAtaPages(panel);
}

} // namespace corvane::app
