// SPDX-License-Identifier: GPL-3.0-or-later
// Fault injection at the NVMe and registry seams (the ATA one is the scripted drive's): each
// wrapper counts its calls on a shared FaultPlan and only the call the plan names misbehaves.
#pragma once
#include "support/ScriptedAta.h"
#include "platform/NvmeInterface.h"
#include "platform/Registry.h"

#include <QString>
#include <memory>

namespace corvane::test {

class FaultyNvme : public NvmeInterface
{
public:
    FaultyNvme(std::unique_ptr<NvmeInterface> inner, FaultPlan &plan) : _inner(std::move(inner)), _plan(plan) { ++_plan.openSessions; }
    ~FaultyNvme() override { --_plan.openSessions; }

    int32_t identifyController(std::span<uint8_t> buffer) override
    {
        return read(buffer, [&](std::span<uint8_t> b) { return _inner->identifyController(b); });
    }
    int32_t getLogPage(uint8_t logId, std::span<uint8_t> buffer, uint32_t dwords) override
    {
        return read(buffer, [&](std::span<uint8_t> b) { return _inner->getLogPage(logId, b, dwords); });
    }
    uint16_t interfaceVersion() const override { return _inner->interfaceVersion(); }
    uint16_t interfaceRevision() const override { return _inner->interfaceRevision(); }

private:
    int32_t read(std::span<uint8_t> buffer, auto &&inner) { return faultyRead(_plan, _plan.next(Seam::Nvme), buffer, inner); }
    std::unique_ptr<NvmeInterface> _inner;
    FaultPlan &_plan;
};

// Opening counts as a call of its seam, as it does for the scripted drive.
inline NvmeOpener faultyNvmeOpener(NvmeOpener inner, FaultPlan &plan)
{
    return [inner = std::move(inner), &plan](const QString &bsd, int32_t &status) -> std::unique_ptr<NvmeInterface> {
        if ((status = plan.statusOf(plan.next(Seam::Nvme))))
            return nullptr;
        auto opened = inner(bsd, status);
        return opened ? std::make_unique<FaultyNvme>(std::move(opened), plan) : nullptr;
    };
}

// No status codes here: a failed call answers "nothing there", a short one half of the answer,
// a garbage one values of the wrong type.
class FaultyRegistry : public Registry
{
public:
    FaultyRegistry(std::shared_ptr<const Registry> inner, FaultPlan &plan) : _inner(std::move(inner)), _plan(plan) {}

    QList<RegistryEntry> matchingServices(const QVariantMap &match) const override { return list(_inner->matchingServices(match)); }
    QList<RegistryEntry> descendants(const RegistryEntry &entry) const override { return list(_inner->descendants(entry)); }
    // A garbage parent is a loop: the entry is its own parent.
    RegistryEntry parentEntry(const RegistryEntry &entry) const override
    {
        const RegistryEntry parent = _inner->parentEntry(entry);
        return pick(parent, [] { return RegistryEntry(); }, [&] { return entry; });
    }
    QVariantMap properties(const RegistryEntry &entry) const override
    {
        const QVariantMap m = _inner->properties(entry);
        return pick(m, [&] { return mangle(m, Fault::Short); }, [&] { return mangle(m, Fault::Garbage); });
    }
    QString name(const RegistryEntry &entry) const override
    {
        const QString n = _inner->name(entry);
        return pick(n, [&] { return n.left(n.size() / 2); }, [] { return QStringLiteral("../\x01\xff"); });
    }
    RegistryEntry serviceNamed(const QString &name) const override
    {
        return pick(_inner->serviceNamed(name), [] { return RegistryEntry(); }, [] { return RegistryEntry(); });
    }
    std::optional<QVariantMap> diskDescription(const RegistryEntry &entry) const override
    {
        using Description = std::optional<QVariantMap>;
        const Description d = _inner->diskDescription(entry);
        return pick(d, [&] { return d ? Description(mangle(*d, Fault::Short)) : d; },
                    [&] { return d ? Description(mangle(*d, Fault::Garbage)) : d; });
    }

private:
    // Failed or vanished: nothing.
    template <typename T, typename Short, typename Garbage>
    T pick(const T &ok, Short &&shortened, Garbage &&garbage) const
    {
        switch (_plan.next(Seam::Registry)) {
        case Fault::None: return ok;
        case Fault::Short: return shortened();
        case Fault::Garbage: return garbage();
        default: return T();
        }
    }
    QList<RegistryEntry> list(const QList<RegistryEntry> &l) const
    {
        // Garbage: foreign and null handles among the real ones.
        return pick(l, [&] { return l.mid(0, l.size() / 2); }, [&] {
            return l + QList{RegistryEntry(), RegistryEntry(std::make_shared<int>(0), 3), l.value(0)};
        });
    }
    // Short: every other key dropped. Garbage: every value of another type.
    static QVariantMap mangle(const QVariantMap &m, Fault f)
    {
        QVariantMap out;
        int i = 0;
        for (auto it = m.begin(); it != m.end(); ++it, ++i) {
            if (f == Fault::Short && i % 2 == 0)
                out.insert(it.key(), it.value());
            else if (f == Fault::Garbage)
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
