// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drive/ColorRoles.h"
// Decoders of the SMART log pages: log directory (address 0), summary error log
// (address 1) and self-test log (address 6). Pure functions of their bytes.
#include "drive/Bytes.h"

#include <QString>
#include <QVariantMap>

namespace corvane {

// {"logDirVersion", "isEnabledLogDir", "logs", "logDir"}; a log record is
// {"logAddress", "pages", "name"}. Only version 1 directories list logs.
QVariantMap smartLogs(Bytes logDirectory);

// {"errorLog", "isEnabledErrorLog", "errorLogVersion", "errorLogIndex",
// "lifetimeErrors", "lifetimeErrorsColor"}; empty unless the version byte is 1.
// The colour is a role name: "FailureColor" when errors were counted, else
// "controlTextColor".
QVariantMap errorLog(Bytes errorLogPage);

// {"isEnabledSelftestResults", "selftestResults", "selftestLogStructRev"}; records
// {"Num", "Type", "Status", "LifetimeHours", "LBAFirstError"}, most recent first.
QVariantMap selftestLog(Bytes testLog);

// "dd:hh:mm:ss.sss" of a power-on timestamp in milliseconds.
QString msToTime(uint32_t ms);

// Text of the self-test log's test type byte (status texts: AtaPages.h).
QString selftestTypeText(unsigned type);


} // namespace corvane
