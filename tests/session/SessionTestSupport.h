// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "support/EventLoop.h"
#include "support/ScriptedAta.h"
#include "drive/THSMARTDevice.h"

#include <QObject>
#include <QStringList>

namespace corvane::test {

// Counts endOfTest from the delegate call and the signal.
class EndOfTestDelegate : public QObject
{
    Q_OBJECT
public:
    int calls = 0;
    QStringList received;
    Q_INVOKABLE void endOfTest(const QString &what)
    {
        ++calls;
        received << what;
    }
};

} // namespace corvane::test
