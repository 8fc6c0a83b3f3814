// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One scripted ATA drive for the tests of every area: it answers from a real seam (by default
// the script's recorded drive) and fails where told; commands are logged, sessions counted.
#include "devices/RecordedSet.h"
#include "platform/DeviceStatus.h"
#include "platform/recorded/RecordedAtaSmart.h"

#include <array>
#include <cerrno>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace corvane::test {

enum class Fault {
    None,
    Status,  // the call fails with FaultPlan::status
    Short,   // succeeds with part of the answer (half a buffer, half a list, half a map)
    Garbage, // succeeds with random bytes, or values of the wrong type
    Vanish,  // from this call on every drive is gone (ENODEV, empty registry)
};

inline const char *faultName(Fault f) { return std::array{"none", "status", "short", "garbage", "vanish"}[size_t(f)]; }

enum class Seam { Registry, Ata, Nvme };

// Which call of which seam fails, and the bookkeeping the checks read.
struct FaultPlan
{
    Seam seam = Seam::Ata;
    Fault fault = Fault::None;
    int failAt = 0; // 1-based call number on `seam`; 0 never
    int32_t status = statusFromErrno(EIO);
    int calls[3] = {0, 0, 0};
    bool fired = false, vanished = false;
    int openSessions = 0;
    std::mt19937 random{12345};

    Fault next(Seam s)
    {
        const int n = ++calls[int(s)];
        if (s == seam && n == failAt && fault != Fault::None) {
            fired = true;
            vanished = vanished || fault == Fault::Vanish;
            return fault;
        }
        return vanished ? Fault::Vanish : Fault::None;
    }
    int32_t statusOf(Fault f) const
    {
        return f == Fault::Status ? status : f == Fault::Vanish ? statusFromErrno(ENODEV) : 0;
    }
};

template <typename Read>
int32_t faultyRead(FaultPlan &plan, Fault fault, std::span<uint8_t> buffer, Read &&read)
{
    if (fault == Fault::Garbage) {
        for (uint8_t &b : buffer)
            b = uint8_t(plan.random());
        return 0;
    }
    if (fault != Fault::Short)
        return fault == Fault::None ? read(buffer) : plan.statusOf(fault);
    // The drive answered, but only the first part of the transfer arrived.
    std::vector<uint8_t> full(buffer.size());
    const int32_t status = read(std::span<uint8_t>(full));
    if (status == 0)
        std::copy_n(full.begin(), full.size() / 2, buffer.begin());
    return status;
}

struct DriveScript
{
    RecordedSet set; // the pages, as drive "sda"
    FaultPlan noFaults;
    FaultPlan *plan = &noFaults; // a shared one for a sweep over many seams
    // Operation name ("open", "enable", "identify", "smart", "validate", "status",
    // "thresholds", "log<address>", "short", "extended", "abort") -> status it fails with.
    std::map<std::string, int32_t> failing;
    // From this command on (1-based), every command fails with ENODEV; 0: never.
    int vanishAt = 0;
    // Self-test status byte (363) of successive reads once a test starts, the last one
    // staying; a scripted test never reaches the drive.
    std::deque<uint8_t> selfTestStatus;
    bool testStarted = false;

    std::vector<std::string> calls;
    int commands = 0, openSessions = 0, opened = 0;

    static QString fileOf(const std::string &name)
    {
        static const std::array<std::string, kAtaPageFiles.size()> names{"identify", "smart", "thresholds", "log0", "log1", "log6"};
        const auto at = std::find(names.begin(), names.end(), name);
        return at == names.end() ? QString() : QLatin1String(kAtaPageFiles[size_t(at - names.begin())].fileName);
    }
    Page page(const std::string &name) const
    {
        Page p{};
        const QByteArray bytes = set.file(QStringLiteral("sda"), fileOf(name));
        std::copy_n(bytes.constData(), std::min<size_t>(p.size(), size_t(bytes.size())), p.begin());
        return p;
    }
    void setPage(const std::string &name, const Page &p) const
    {
        set.put(QStringLiteral("sda"), fileOf(name), QByteArray(reinterpret_cast<const char *>(p.data()), p.size()));
    }
    int count(const std::string &op) const { return int(std::count(calls.begin(), calls.end(), op)); }

    // Logs a command; the status it fails with before reaching the drive, and in `fault` the plan's.
    int32_t enter(const std::string &op, Fault &fault)
    {
        calls.push_back(op);
        ++commands;
        fault = Fault::None;
        if (vanishAt > 0 && commands >= vanishAt)
            return statusFromErrno(ENODEV);
        if (const auto f = failing.find(op); f != failing.end())
            return f->second;
        fault = plan->next(Seam::Ata);
        return plan->statusOf(fault);
    }
};

class ScriptedAta : public AtaSmartInterface
{
public:
    ScriptedAta(std::unique_ptr<AtaSmartInterface> inner, std::shared_ptr<DriveScript> s)
        : m_inner(std::move(inner)), m_s(std::move(s)) { countSession(1); }
    ~ScriptedAta() override { countSession(-1); }

    int32_t enableDisableOperations(bool enable) override
    {
        return command(enable ? "enable" : "disable", [&] { return m_inner->enableDisableOperations(enable); });
    }
    int32_t returnStatus(bool &thresholdExceeded) override
    {
        return command("status", [&] { return m_inner->returnStatus(thresholdExceeded); },
                       [&] { thresholdExceeded = m_s->plan->random() & 1; });
    }
    int32_t executeOffLineImmediate(bool extendedTest) override
    {
        return command(extendedTest ? "extended" : "short", [&] {
            m_s->testStarted = true;
            return m_s->selfTestStatus.empty() ? m_inner->executeOffLineImmediate(extendedTest) : 0;
        });
    }
    int32_t abortSelfTest() override { return command("abort", [&] { return m_inner->abortSelfTest(); }); }
    int32_t readData(std::span<uint8_t, kAtaPageSize> buffer) override
    {
        const int32_t st = read("smart", buffer, [&](std::span<uint8_t> b) {
            return m_inner->readData(b.first<kAtaPageSize>());
        });
        if (st == 0 && m_s->testStarted && !m_s->selfTestStatus.empty()) {
            const uint8_t status = m_s->selfTestStatus.front();
            if (m_s->selfTestStatus.size() > 1)
                m_s->selfTestStatus.pop_front();
            buffer[511] = uint8_t(buffer[511] + buffer[363] - status);
            buffer[363] = status;
        }
        return st;
    }
    int32_t validateReadData(std::span<const uint8_t, kAtaPageSize> buffer) override
    {
        return command("validate", [&] { return m_inner->validateReadData(buffer); });
    }
    int32_t readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer) override
    {
        return read("thresholds", buffer, [&](std::span<uint8_t> b) {
            return m_inner->readDataThresholds(b.first<kAtaPageSize>());
        });
    }
    int32_t readLogAtAddress(uint8_t address, std::span<uint8_t> buffer) override
    {
        return read("log" + std::to_string(address), buffer,
                    [&](std::span<uint8_t> b) { return m_inner->readLogAtAddress(address, b); });
    }
    int32_t getIdentifyData(std::span<uint8_t> buffer) override
    {
        return read("identify", buffer, [&](std::span<uint8_t> b) { return m_inner->getIdentifyData(b); });
    }

private:
    void countSession(int n)
    {
        m_s->openSessions += n;
        m_s->plan->openSessions += n;
    }
    // Without a data buffer, a short or garbage answer is a success that wasn't.
    template <typename Call, typename Garbage = void (*)()>
    int32_t command(const std::string &op, Call &&call, Garbage &&garbage = [] {})
    {
        Fault f;
        if (const int32_t st = m_s->enter(op, f))
            return st;
        if (f == Fault::Garbage)
            garbage();
        return f == Fault::None ? call() : 0;
    }
    template <typename Read>
    int32_t read(const std::string &op, std::span<uint8_t> buffer, Read &&inner)
    {
        Fault f;
        if (const int32_t st = m_s->enter(op, f))
            return st;
        return faultyRead(*m_s->plan, f, buffer, inner);
    }

    std::unique_ptr<AtaSmartInterface> m_inner;
    std::shared_ptr<DriveScript> m_s;
};

// Opens the drives of `inner` (the script's recorded drive when none) behind the script.
// Opening counts as a call of the plan's seam: a failing open is the commonest fault.
inline AtaSmartOpener scriptedOpener(const std::shared_ptr<DriveScript> &script, AtaSmartOpener inner = {})
{
    if (!inner)
        inner = recordedAtaSmartOpener(script->set.path());
    return [script, inner](const QString &bsd, int32_t &status) -> std::unique_ptr<AtaSmartInterface> {
        ++script->opened;
        if (const auto f = script->failing.find("open"); f != script->failing.end()) {
            status = f->second;
            return nullptr;
        }
        if ((status = script->plan->statusOf(script->plan->next(Seam::Ata))))
            return nullptr;
        auto opened = inner(bsd, status);
        return opened ? std::make_unique<ScriptedAta>(std::move(opened), script) : nullptr;
    };
}

// A real drive of tests/data/ata-pages; without a recorded return status it says "not exceeded".
inline std::shared_ptr<DriveScript> realDrive(const QString &folder)
{
    auto s = std::make_shared<DriveScript>();
    s->set.copyAtaPages(QStringLiteral("sda"), QStringLiteral("ata-pages/") + folder);
    if (s->set.file(QStringLiteral("sda"), QLatin1String(kAtaStatusFileName)).isEmpty())
        s->set.put(QStringLiteral("sda"), QLatin1String(kAtaStatusFileName), "1\n");
    return s;
}

} // namespace corvane::test
