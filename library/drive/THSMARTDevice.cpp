// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/THSMARTDevice.h"

#include <QMetaObject>
#include <QTimer>

namespace corvane {

THSMARTDevice::THSMARTDevice(const QVariantMap &setting, QObject *parent)
    : QObject(parent), _driveProperties(setting)
{
}

THSMARTDevice::~THSMARTDevice()
{
    // A drive dropped while a test is followed must not leave a session open.
    delete timer;
    timer = nullptr;
    closeSMARTInterface();
}

std::unique_ptr<THSMARTDevice> THSMARTDevice::deviceWithSetting(const QVariantMap &setting)
{
    return std::make_unique<THSMARTDevice>(setting);
}

void THSMARTDevice::mergeProperties(const QVariantMap &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        _driveProperties.insert(it.key(), it.value());
}

void THSMARTDevice::notifyEndOfTest()
{
    const QString what = QStringLiteral("endoftest");
    Q_EMIT endOfTest(what);
    if (QObject *d = _delegate.data()) {
        if (d->metaObject()->indexOfMethod("endOfTest(QString)") >= 0)
            QMetaObject::invokeMethod(d, "endOfTest", Q_ARG(QString, what));
    }
}

} // namespace corvane
