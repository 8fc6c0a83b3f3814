// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Status codes of the device seams. 0 is success; everything else is a
// negative 32-bit code that keeps enough of the cause (errno, ATA registers,
// NVMe status, SCSI sense) for a message, without anything thrown.
//
//   0xE00002C0   no such drive
//   0xE0C0'nnnn  errno nnnn from a system call
//   0xE0C1'SSEE  ATA command ended with ERR: status SS, error EE
//   0xE0C2'nnnn  NVMe completion status nnnn (as the admin ioctl returns it)
//   0xE0C3'00nn  transfer problems, see below
//   0xE0Dk'aaqq  SCSI CHECK CONDITION: sense key k, ASC aa, ASCQ qq
#include <QString>
#include <QStringView>
#include <cstdint>

namespace corvane {

inline constexpr int32_t kStatusSuccess = 0;
inline constexpr int32_t kStatusNoDevice = int32_t(0xE00002C0);
inline constexpr int32_t kStatusShortTransfer = int32_t(0xE0C30001);
inline constexpr int32_t kStatusNoAtaRegisters = int32_t(0xE0C30002);
inline constexpr int32_t kStatusBadChecksum = int32_t(0xE0C30003);
inline constexpr int32_t kStatusUnexpectedAnswer = int32_t(0xE0C30004);
inline constexpr int32_t kStatusBadArgument = int32_t(0xE0C30005);
inline constexpr int32_t kStatusTimeout = int32_t(0xE0C30006);
inline constexpr int32_t kStatusTransportError = int32_t(0xE0C30007);
// The privileged helper (corvane-helper) that reads drives for a normal user.
inline constexpr int32_t kStatusHelperMissing = int32_t(0xE0C30008);
inline constexpr int32_t kStatusHelperNotAuthorized = int32_t(0xE0C30009);
inline constexpr int32_t kStatusHelperNotRunning = int32_t(0xE0C3000A);

int32_t statusFromErrno(int error);
int32_t statusFromAtaRegisters(uint8_t status, uint8_t error);
int32_t statusFromNvme(uint32_t nvmeStatus);
int32_t statusFromSense(uint8_t senseKey, uint8_t asc, uint8_t ascq);

// The errno behind a status, or 0 when the status is not one.
int errnoOfStatus(int32_t status);
// EACCES or EPERM: the program lacks the rights to talk to the drive.
bool isPrivilegeStatus(int32_t status);
// The drive is gone or never was (ENODEV, ENXIO, ENOENT, no device).
bool isNoDeviceStatus(int32_t status);

// "EACCES" -> EACCES; also takes a plain number. 0 for an unknown name.
int errnoFromName(QStringView name);
QString errnoName(int error);

// Technical text, e.g. "Permission denied (EACCES)" or
// "ATA command aborted (status 0x51, error 0x04)".
QString statusText(int32_t status);
// What a user reads: one sentence, saying what to do where there is something
// to do (privileges), otherwise the technical text.
QString statusUserMessage(int32_t status);

} // namespace corvane
