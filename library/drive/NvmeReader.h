// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads the health data of one NVMe drive through the NVMe seam and returns it
// as one flat dictionary for the drive properties.
#include "platform/NvmeInterface.h"

#include <QVariantMap>
#include <functional>

namespace corvane {

class thNVMe
{
public:
    // The registry properties of the drive's controller ("NVMe SMART Capable",
    // "Logical Block Size", "Physical Block Size", "Device Characteristics",
    // "Protocol Characteristics"); an empty map for a drive that isn't there.
    using ControllerProperties = std::function<QVariantMap(const QString &bsdName)>;

    // Without a properties lookup the drive is taken as NVMe SMART capable and
    // no registry values are copied.
    explicit thNVMe(NvmeOpener opener, ControllerProperties properties = {});

    // Never fails outright: a drive that can't be read yields the registry
    // values only (and a log line); `status`, when given, receives the status
    // of the first failed step of opening, Identify and SMART data (0 if none).
    QVariantMap readNVMe_bsd(const QString &bsdName, int32_t *status = nullptr) const;

    // Appends "<local time>  <entry>" to <logDir>/<name>.log ("corvane" for
    // an empty name). Failures to write are not reported.
    static void log(const QString &name, const QString &entry);

private:
    NvmeOpener m_opener;
    ControllerProperties m_properties;
};

} // namespace corvane
