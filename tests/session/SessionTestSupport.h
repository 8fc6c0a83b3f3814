// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scriptable ATA SMART seam for session tests: pages to answer with,
// operations that fail, a drive that disappears after a number of commands,
// and a self-test whose status byte follows a script.
#include "TestData.h"
#include "support/EventLoop.h"
#include "drive/THSMARTDevice.h"
#include "platform/AtaSmartInterface.h"
#include "platform/DeviceStatus.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace corvane::test {

inline Page pageOf(const QByteArray &bytes)
{
    Page p{};
    std::copy_n(reinterpret_cast<const uint8_t *>(bytes.constData()),
                std::min<size_t>(p.size(), size_t(bytes.size())), p.begin());
    return p;
}

struct DriveScript
{
    // "identify", "smart", "thresholds", "log0", "log1", "log6"; a missing page aborts the command.
    std::map<std::string, Page> pages;
    // Operation name -> status it fails with.
    std::map<std::string, int32_t> failing;
    bool exceeded = false;
    // From this command on (1-based), every command fails with ENODEV; 0: never.
    int vanishAt = 0;
    // Self-test status byte (SMART data byte 363) of successive reads after the test starts;
    // the last one stays.
    std::deque<uint8_t> selfTestStatus;
    bool testStarted = false;

    std::vector<std::string> calls;
    int commands = 0;
    int openSessions = 0;
    int opened = 0;

    int32_t enter(const std::string &op)
    {
        calls.push_back(op);
        ++commands;
        if (vanishAt > 0 && commands >= vanishAt)
            return statusFromErrno(ENODEV);
        const auto f = failing.find(op);
        return f == failing.end() ? 0 : f->second;
    }
    int count(const std::string &op) const { return int(std::count(calls.begin(), calls.end(), op)); }
};

class ScriptedAta : public AtaSmartInterface
{
public:
    explicit ScriptedAta(std::shared_ptr<DriveScript> s) : m_s(std::move(s)) { ++m_s->openSessions; }
    ~ScriptedAta() override { --m_s->openSessions; }

    int32_t enableDisableOperations(bool enable) override
    {
        return m_s->enter(enable ? "enable" : "disable");
    }
    int32_t returnStatus(bool &thresholdExceeded) override
    {
        if (const int32_t st = m_s->enter("status"))
            return st;
        thresholdExceeded = m_s->exceeded;
        return 0;
    }
    int32_t executeOffLineImmediate(bool extendedTest) override
    {
        if (const int32_t st = m_s->enter(extendedTest ? "extended" : "short"))
            return st;
        m_s->testStarted = true;
        return 0;
    }
    int32_t readData(std::span<uint8_t, kAtaPageSize> buffer) override
    {
        if (const int32_t st = m_s->enter("smart"))
            return st;
        if (!copy("smart", buffer))
            return statusFromAtaRegisters(0x51, 0x04);
        if (m_s->testStarted && !m_s->selfTestStatus.empty()) {
            const uint8_t status = m_s->selfTestStatus.front();
            if (m_s->selfTestStatus.size() > 1)
                m_s->selfTestStatus.pop_front();
            buffer[511] = uint8_t(buffer[511] + buffer[363] - status);
            buffer[363] = status;
        }
        return 0;
    }
    int32_t validateReadData(std::span<const uint8_t, kAtaPageSize> buffer) override
    {
        if (const int32_t st = m_s->enter("validate"))
            return st;
        return ataChecksumValid(buffer) ? 0 : kStatusBadChecksum;
    }
    int32_t readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer) override
    {
        return read("thresholds", buffer);
    }
    int32_t readLogAtAddress(uint8_t address, std::span<uint8_t> buffer) override
    {
        return read("log" + std::to_string(address), buffer);
    }
    int32_t getIdentifyData(std::span<uint8_t> buffer) override { return read("identify", buffer); }

private:
    bool copy(const std::string &name, std::span<uint8_t> buffer) const
    {
        const auto p = m_s->pages.find(name);
        if (p == m_s->pages.end())
            return false;
        std::copy_n(p->second.begin(), std::min(buffer.size(), p->second.size()), buffer.begin());
        return true;
    }
    int32_t read(const std::string &name, std::span<uint8_t> buffer)
    {
        if (const int32_t st = m_s->enter(name))
            return st;
        return copy(name, buffer) ? 0 : statusFromAtaRegisters(0x51, 0x04);
    }

    std::shared_ptr<DriveScript> m_s;
};

inline AtaSmartOpener scriptedOpener(const std::shared_ptr<DriveScript> &script)
{
    return [script](const QString &, int32_t &status) -> std::unique_ptr<AtaSmartInterface> {
        ++script->opened;
        if (const auto f = script->failing.find("open"); f != script->failing.end()) {
            status = f->second;
            return nullptr;
        }
        status = 0;
        return std::make_unique<ScriptedAta>(script);
    };
}

// The pages of a real drive under tests/data/ata-pages.
inline std::shared_ptr<DriveScript> realDrive(const QString &folder)
{
    auto s = std::make_shared<DriveScript>();
    const QString base = QStringLiteral("ata-pages/") + folder + QLatin1Char('/');
    // The script's names for the pages, in the order of AtaPages::Kind.
    static const char *const names[] = {"identify", "smart", "thresholds", "log0", "log1", "log6"};
    static_assert(std::size(names) == kAtaPageFiles.size());
    for (const AtaPageFile &file : kAtaPageFiles) {
        const QByteArray bytes = readData(base + QLatin1String(file.fileName));
        if (!bytes.isEmpty())
            s->pages[names[file.kind]] = pageOf(bytes);
    }
    s->exceeded = readData(base + QLatin1String(kAtaStatusFileName)).startsWith('0');
    return s;
}

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
