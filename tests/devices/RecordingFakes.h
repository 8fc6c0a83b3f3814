// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Transports that record the exact bytes the seams send to a drive and answer from a script.
#include "platform/AtaPassThrough.h"
#include "platform/NvmeInterface.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace corvane::test {

struct ScriptedScsiAnswer
{
    int32_t transportStatus = 0;
    uint8_t scsiStatus = 0;
    std::vector<uint8_t> sense, data; // data is copied into the data-in buffer
    size_t residual = 0;
};

inline ScriptedScsiAnswer answer(int32_t transportStatus, uint8_t scsiStatus = 0, std::vector<uint8_t> sense = {},
                                 std::vector<uint8_t> data = {}, size_t residual = 0)
{
    return {transportStatus, scsiStatus, std::move(sense), std::move(data), residual};
}

struct ScsiLog
{
    std::vector<ScsiRequest> requests;
    std::vector<std::vector<uint8_t>> cdbs;
    std::deque<ScriptedScsiAnswer> answers;
};

class RecordingScsiTransport : public ScsiTransport
{
public:
    explicit RecordingScsiTransport(ScsiLog &log) : m_log(log) {}
    int32_t execute(const ScsiRequest &request, ScsiReply &reply) override
    {
        m_log.requests.push_back(request);
        m_log.cdbs.emplace_back(request.cdb.begin(), request.cdb.end());
        const ScriptedScsiAnswer a = m_log.answers.empty() ? ScriptedScsiAnswer() : m_log.answers.front();
        if (!m_log.answers.empty())
            m_log.answers.pop_front();
        if (a.transportStatus)
            return a.transportStatus;
        std::copy_n(a.data.begin(), std::min(a.data.size(), request.data.size()), request.data.begin());
        reply.scsiStatus = a.scsiStatus;
        std::copy_n(a.sense.begin(), std::min(a.sense.size(), reply.sense.size()), reply.sense.begin());
        reply.senseLength = a.sense.size();
        reply.residual = a.residual;
        return 0;
    }

private:
    ScsiLog &m_log;
};

struct NvmeLog
{
    std::vector<NvmeAdminCommand> commands;
    std::function<int32_t(const NvmeAdminCommand &, std::span<uint8_t>)> answer;
};

class RecordingNvmeTransport : public NvmeAdminTransport
{
public:
    explicit RecordingNvmeTransport(NvmeLog &log) : m_log(log) {}
    int32_t submit(const NvmeAdminCommand &command, std::span<uint8_t> data) override
    {
        m_log.commands.push_back(command);
        if (data.size() != command.dataLength)
            return -1;
        return m_log.answer ? m_log.answer(command, data) : 0;
    }

private:
    NvmeLog &m_log;
};

} // namespace corvane::test
