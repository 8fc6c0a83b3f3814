// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The contract between corvane-helper and its clients: bus names, the fixed
// set of operations, what each may ask for, and the decoding of one request.
// QtCore only, so the helper, the client and the fuzz target share it.
#include <QString>
#include <QVariantList>
#include <cstdint>
#include <optional>

namespace corvane::helper {

inline constexpr char kService[] = "com.tarnholm.Corvane.Helper";
inline constexpr char kPath[] = "/com/tarnholm/Corvane/Helper";
inline constexpr char kInterface[] = "com.tarnholm.Corvane.Helper";

// D-Bus errors the helper answers with; the message names the reason.
inline constexpr char kErrorInvalidDevice[] = "com.tarnholm.Corvane.Helper.Error.InvalidDevice";
inline constexpr char kErrorInvalidRequest[] = "com.tarnholm.Corvane.Helper.Error.InvalidRequest";
inline constexpr char kErrorNotAuthorized[] = "com.tarnholm.Corvane.Helper.Error.NotAuthorized";

// polkit actions (helper/com.tarnholm.corvane.policy).
inline constexpr char kActionRead[] = "com.tarnholm.corvane.read-smart";
inline constexpr char kActionSelfTest[] = "com.tarnholm.corvane.self-test";

// Kernel names are short; anything longer is refused before it is looked at.
inline constexpr int kMaxDeviceNameBytes = 32;

enum class Operation {
    AtaIdentify,       // (s device) -> (i status, ay 512 bytes)
    AtaSmartData,      // (s) -> (i, ay 512)
    AtaThresholds,     // (s) -> (i, ay 512)
    AtaReturnStatus,   // (s) -> (i status, b thresholdExceeded)
    AtaReadLog,        // (s, y address, y sectors) -> (i, ay sectors*512)
    AtaEnable,         // (s) -> (i)
    AtaSelfTest,       // (s, y subcommand 1/2/3/0x7F) -> (i)
    AtaCheckPowerMode, // (s) -> (i status, y count register)
    NvmeIdentify,      // (s) -> (i, ay 4096)
    NvmeGetLogPage,    // (s, y logId, u dwords) -> (i, ay dwords*4)
    NvmeSelfTest,      // (s, y code 1/2/0xF) -> (i)
};

// Operations there are (the last one's value plus one).
inline constexpr int kOperationCount = int(Operation::NvmeSelfTest) + 1;

struct Request
{
    Operation operation = Operation::AtaIdentify;
    QString device;        // a plain kernel name, checked against its kind
    uint8_t byteArg = 0;   // log address, self-test subcommand, NVMe log id or self-test code
    uint32_t count = 0;    // ATA log sectors, NVMe dwords
    bool isAta() const { return operation < Operation::NvmeIdentify; }
};

struct Refusal
{
    const char *errorName = kErrorInvalidRequest;
    QString reason;
};

// The method names, in Operation order.
QString methodName(Operation operation);
const char *signatureOf(Operation operation);
const char *actionOf(Operation operation);

// "sda" .. "sdzzz" for ATA; "nvme0", "nvme0n1", "nvme0c1n2" for NVMe. No
// partitions, paths, "..", or other device types.
bool isAtaDeviceName(const QString &name);
bool isNvmeDeviceName(const QString &name);

// One call as the bus delivers it: the member, the signature and the
// arguments. Either a request within the fixed limits or why not.
std::optional<Request> decodeRequest(const QString &member, const QString &signature,
                                     const QVariantList &arguments, Refusal &refusal);

// Bytes a successful answer carries (0: no byte array).
size_t replyBytes(const Request &request);

// CAP_SYS_RAWIO and CAP_SYS_ADMIN in this process's effective set.
struct DriveCapabilities
{
    bool rawio = false;
    bool admin = false;
};
DriveCapabilities effectiveDriveCapabilities();

} // namespace corvane::helper
