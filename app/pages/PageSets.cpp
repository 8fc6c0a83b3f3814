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

QList<DrivePage *> makeNvmePages()
{
    return {new NvmeInformationPage, new NvmeHealthPage, new NvmePowerStatesPage, new NvmeFirmwareSlotsPage,
            new NvmeErrorLogPage};
}

QList<DrivePage *> makePages(bool nvme, SelfTestPanel *panel)
{
    return nvme ? makeNvmePages() : makeAtaPages(panel);
}

} // namespace corvane::app
