// SPDX-License-Identifier: GPL-3.0-or-later
// Fault injection at the three device seams. Each wrapper forwards to a real
// seam and counts its calls on a shared FaultPlan; the call the plan names
// misbehaves in the planned way, every other call goes through untouched.
#pragma once
#include "platform/AtaSmartInterface.h"
#include "platform/DeviceStatus.h"
#include "platform/NvmeInterface.h"
#include "platform/Registry.h"

#include <QString>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <random>

namespace corvane::test {

enum class Fault {
    None,
    Status,   // the call fails with FaultPlan::status
    Short,    // succeeds with part of the answer (half a buffer, half a list, half a map)
    Garbage,  // succeeds with random bytes, or values of the wrong type
    Vanish,   // from this call on every drive is gone (ENODEV, empty registry)
};

inline const char *faultName(Fault f)
{
    switch (f) {
    case Fault::None: return "none";
    case Fault::Status: return "status";
    case Fault::Short: return "short";
    case Fault::Garbage: return "garbage";
    case Fault::Vanish: return "vanish";
    }
    return "?";
}

enum class Seam { Registry, Ata, Nvme };

// Which call of which seam fails, and the bookkeeping the checks read.
struct FaultPlan
{
    Seam seam = Seam::Ata;
    Fault fault = Fault::None;
    int failAt = 0; // 1-based call number on `seam`; 0 never
    int32_t status = statusFromErrno(EIO);

    int calls[3] = {0, 0, 0};
    bool fired = false;
    bool vanished = false;
    int openSessions = 0;
    std::mt19937 random{12345};

    // Counts one call on `s`; the fault this call must show, if any.
    Fault next(Seam s)
    {
        const int n = ++calls[int(s)];
        if (s == seam && n == failAt && fault != Fault::None) {
            fired = true;
            if (fault == Fault::Vanish)
                vanished = true;
            return fault;
        }
        return vanished ? Fault::Vanish : Fault::None;
    }
    int32_t goneStatus() const { return statusFromErrno(ENODEV); }
    void scribble(std::span<uint8_t> buffer)
    {
        for (uint8_t &b : buffer)
            b = uint8_t(random());
    }
};

// Runs a read under the plan: the fault decides what reaches the caller's buffer.
template <typename Read>
int32_t faultyRead(FaultPlan &plan, Seam seam, std::span<uint8_t> buffer, Read &&read)
{
    switch (plan.next(seam)) {
    case Fault::None:
        return read(buffer);
    case Fault::Status:
        return plan.status;
    case Fault::Vanish:
        return plan.goneStatus();
    case Fault::Short: {
        // The drive answered, but only the first part of the transfer arrived.
        std::vector<uint8_t> full(buffer.size());
        const int32_t status = read(std::span<uint8_t>(full));
        if (status != 0)
            return status;
        std::copy_n(full.begin(), full.size() / 2, buffer.begin());
        return 0;
    }
    case Fault::Garbage:
        plan.scribble(buffer);
        return 0;
    }
    return 0;
}

class FaultyAta : public AtaSmartInterface
{
public:
    FaultyAta(std::unique_ptr<AtaSmartInterface> inner, FaultPlan &plan) : _inner(std::move(inner)), _plan(plan)
    {
        ++_plan.openSessions;
    }
    ~FaultyAta() override { --_plan.openSessions; }

    int32_t enableDisableOperations(bool enable) override { return simple([&] { return _inner->enableDisableOperations(enable); }); }
    int32_t returnStatus(bool &thresholdExceeded) override
    {
        switch (_plan.next(Seam::Ata)) {
        case Fault::Status: return _plan.status;
        case Fault::Vanish: return _plan.goneStatus();
        case Fault::Garbage: thresholdExceeded = _plan.random() & 1; return 0;
        default: return _inner->returnStatus(thresholdExceeded);
        }
    }
    int32_t executeOffLineImmediate(bool extendedTest) override
    {
        return simple([&] { return _inner->executeOffLineImmediate(extendedTest); });
    }
    int32_t readData(std::span<uint8_t, kAtaPageSize> buffer) override
    {
        return faultyRead(_plan, Seam::Ata, buffer, [&](std::span<uint8_t> b) {
            return _inner->readData(b.first<kAtaPageSize>());
        });
    }
    int32_t validateReadData(std::span<const uint8_t, kAtaPageSize> buffer) override
    {
        return simple([&] { return _inner->validateReadData(buffer); });
    }
    int32_t readDataThresholds(std::span<uint8_t, kAtaPageSize> buffer) override
    {
        return faultyRead(_plan, Seam::Ata, buffer, [&](std::span<uint8_t> b) {
            return _inner->readDataThresholds(b.first<kAtaPageSize>());
        });
    }
    int32_t readLogAtAddress(uint8_t address, std::span<uint8_t> buffer) override
    {
        return faultyRead(_plan, Seam::Ata, buffer, [&](std::span<uint8_t> b) { return _inner->readLogAtAddress(address, b); });
    }
    int32_t getIdentifyData(std::span<uint8_t> buffer) override
    {
        return faultyRead(_plan, Seam::Ata, buffer, [&](std::span<uint8_t> b) { return _inner->getIdentifyData(b); });
    }

private:
    // Calls without a data buffer: short and garbage mean a success that wasn't.
    template <typename Call>
    int32_t simple(Call &&call)
    {
        switch (_plan.next(Seam::Ata)) {
        case Fault::Status: return _plan.status;
        case Fault::Vanish: return _plan.goneStatus();
        case Fault::Short:
        case Fault::Garbage: return 0;
        case Fault::None: break;
        }
        return call();
    }

    std::unique_ptr<AtaSmartInterface> _inner;
    FaultPlan &_plan;
};

class FaultyNvme : public NvmeInterface
{
public:
    FaultyNvme(std::unique_ptr<NvmeInterface> inner, FaultPlan &plan) : _inner(std::move(inner)), _plan(plan)
    {
        ++_plan.openSessions;
    }
    ~FaultyNvme() override { --_plan.openSessions; }

    int32_t identifyController(std::span<uint8_t> buffer) override
    {
        return faultyRead(_plan, Seam::Nvme, buffer, [&](std::span<uint8_t> b) { return _inner->identifyController(b); });
    }
    int32_t getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords) override
    {
        return faultyRead(_plan, Seam::Nvme, buffer,
                          [&](std::span<uint8_t> b) { return _inner->getLogPage(logId, b, dwords); });
    }
    uint16_t interfaceVersion() const override { return _inner->interfaceVersion(); }
    uint16_t interfaceRevision() const override { return _inner->interfaceRevision(); }

private:
    std::unique_ptr<NvmeInterface> _inner;
    FaultPlan &_plan;
};

// Opening counts as a call of its seam: a failing open is the commonest fault.
inline AtaSmartOpener faultyAtaOpener(AtaSmartOpener inner, FaultPlan &plan)
{
    return [inner = std::move(inner), &plan](const QString &bsd, int32_t &status) -> std::unique_ptr<AtaSmartInterface> {
        switch (plan.next(Seam::Ata)) {
        case Fault::Status: status = plan.status; return nullptr;
        case Fault::Vanish: status = plan.goneStatus(); return nullptr;
        default: break;
        }
        auto opened = inner(bsd, status);
        if (!opened)
            return nullptr;
        return std::make_unique<FaultyAta>(std::move(opened), plan);
    };
}

inline NvmeOpener faultyNvmeOpener(NvmeOpener inner, FaultPlan &plan)
{
    return [inner = std::move(inner), &plan](const QString &bsd, int32_t &status) -> std::unique_ptr<NvmeInterface> {
        switch (plan.next(Seam::Nvme)) {
        case Fault::Status: status = plan.status; return nullptr;
        case Fault::Vanish: status = plan.goneStatus(); return nullptr;
        default: break;
        }
        auto opened = inner(bsd, status);
        if (!opened)
            return nullptr;
        return std::make_unique<FaultyNvme>(std::move(opened), plan);
    };
}

// The registry has no status codes: a failed call answers "nothing there",
// a short one half of the answer, a garbage one values of the wrong type.
class FaultyRegistry : public Registry
{
public:
    FaultyRegistry(std::shared_ptr<const Registry> inner, FaultPlan &plan) : _inner(std::move(inner)), _plan(plan) {}

    QList<RegistryEntry> matchingServices(const QVariantMap &match) const override
    {
        return list(_inner->matchingServices(match));
    }
    RegistryEntry parentEntry(const RegistryEntry &entry) const override
    {
        const RegistryEntry parent = _inner->parentEntry(entry);
        switch (_plan.next(Seam::Registry)) {
        case Fault::None: return parent;
        case Fault::Garbage: return entry; // a loop: the entry is its own parent
        default: return {};
        }
    }
    QVariantMap properties(const RegistryEntry &entry) const override { return map(_inner->properties(entry)); }
    QString name(const RegistryEntry &entry) const override
    {
        const QString n = _inner->name(entry);
        switch (_plan.next(Seam::Registry)) {
        case Fault::None: return n;
        case Fault::Short: return n.left(n.size() / 2);
        case Fault::Garbage: return QStringLiteral("../\x01\xff");
        default: return {};
        }
    }
    QList<RegistryEntry> descendants(const RegistryEntry &entry) const override
    {
        return list(_inner->descendants(entry));
    }
    RegistryEntry serviceNamed(const QString &name) const override
    {
        const RegistryEntry e = _inner->serviceNamed(name);
        return _plan.next(Seam::Registry) == Fault::None ? e : RegistryEntry();
    }
    std::optional<QVariantMap> diskDescription(const RegistryEntry &entry) const override
    {
        const std::optional<QVariantMap> d = _inner->diskDescription(entry);
        switch (_plan.next(Seam::Registry)) {
        case Fault::None: return d;
        case Fault::Short:
        case Fault::Garbage: return d ? std::optional<QVariantMap>(mangle(*d, _plan.fault)) : d;
        default: return std::nullopt;
        }
    }

private:
    QList<RegistryEntry> list(QList<RegistryEntry> l) const
    {
        switch (_plan.next(Seam::Registry)) {
        case Fault::None: return l;
        case Fault::Short: return l.mid(0, l.size() / 2);
        case Fault::Garbage:
            // Foreign and null handles among the real ones.
            l.append(RegistryEntry());
            l.append(RegistryEntry(std::make_shared<int>(0), 3));
            if (!l.isEmpty())
                l.append(l.first());
            return l;
        default: return {};
        }
    }
    QVariantMap map(const QVariantMap &m) const
    {
        switch (const Fault f = _plan.next(Seam::Registry)) {
        case Fault::None: return m;
        case Fault::Short:
        case Fault::Garbage: return mangle(m, f);
        default: return {};
        }
    }
    // Short: every other key dropped. Garbage: every value of another type.
    QVariantMap mangle(const QVariantMap &m, Fault f) const
    {
        QVariantMap out;
        int i = 0;
        for (auto it = m.begin(); it != m.end(); ++it, ++i) {
            if (f == Fault::Short) {
                if (i % 2 == 0)
                    out.insert(it.key(), it.value());
                continue;
            }
            switch (it.value().typeId()) {
            case QMetaType::QString: out.insert(it.key(), QVariantList{1, 2}); break;
            case QMetaType::Bool: out.insert(it.key(), QStringLiteral("\xff")); break;
            case QMetaType::QVariantMap: out.insert(it.key(), -1); break;
            default: out.insert(it.key(), QVariantMap{{QStringLiteral("x"), QString()}}); break;
            }
        }
        return out;
    }

    std::shared_ptr<const Registry> _inner;
    FaultPlan &_plan;
};

} // namespace corvane::test
