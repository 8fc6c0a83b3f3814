// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/AtaTables.h"

#include <algorithm>
#include <iterator>

namespace corvane::ata {

namespace {

struct CodeText
{
    int code;
    const char *text;
};

// Sorted by code so lookups can use binary search.
constexpr CodeText kCommands[] = {
    {0x00, "NOP [Abort queued commands]"},
    {0x03, "CFA REQUEST EXTENDED ERROR"},
    {0x06, "DATA SET MANAGEMENT"},
    {0x08, "ATAPI Soft Reset / DEVICE RESET"},
    {0x0B, "REQUEST SENSE DATA EXT"},
    {0x20, "READ SECTORS"},
    {0x24, "READ SECTORS EXT"},
    {0x25, "READ DMA EXT"},
    {0x26, "READ DMA QUEUED EXT"},
    {0x29, "READ MULTIPLE EXT"},
    {0x2A, "READ STREAM DMA"},
    {0x2B, "READ STREAM"},
    {0x2F, "READ LOG EXT"},
    {0x30, "WRITE SECTORS"},
    {0x34, "WRITE SECTORS EXT"},
    {0x35, "WRITE DMA EXT"},
    {0x36, "WRITE DMA QUEUED EXT"},
    {0x38, "CFA WRITE SECTORS WITHOUT ERASE"},
    {0x39, "WRITE MULTIPLE EXT"},
    {0x3A, "WRITE STREAM DMA"},
    {0x3B, "WRITE STREAM"},
    {0x3D, "WRITE DMA FUA EXT"},
    {0x3F, "WRITE LOG EXT"},
    {0x40, "READ VERIFY SECTORS"},
    {0x42, "READ VERIFY SECTORS EXT"},
    {0x45, "WRITE UNCORRECTABLE EXT"},
    {0x47, "READ LOG DMA EXT"},
    {0x51, "CONFIGURE STREAM"},
    {0x57, "WRITE LOG DMA EXT"},
    {0x5B, "TRUSTED NON-DATA"},
    {0x5C, "TRUSTED RECEIVE"},
    {0x5D, "TRUSTED RECEIVE DMA"},
    {0x5E, "TRUSTED SEND"},
    {0x5F, "TRUSTED SEND DMA"},
    {0x60, "READ FPDMA QUEUED"},
    {0x61, "WRITE FPDMA QUEUED"},
    {0x63, "NCQ QUEUE MANAGEMENT"},
    {0x64, "SEND FPDMA QUEUED"},
    {0x65, "RECEIVE FPDMA QUEUED"},
    {0x77, "SET DATE & TIME EXT"},
    {0x78, "ACCESSIBLE MAX ADDRESS CONFIGURATION"},
    {0x90, "EXECUTE DEVICE DIAGNOSTICS"},
    {0x92, "DOWNLOAD MICROCODE"},
    {0x93, "DOWNLOAD MICROCODE DMA"},
    {0xA0, "PACKET"},
    {0xA1, "IDENTIFY PACKET DEVICE"},
    {0xB0, "SMART"},
    {0xB4, "Sanitize Device"},
    {0xC4, "READ MULTIPLE"},
    {0xC5, "WRITE MULTIPLE"},
    {0xC6, "SET MULTIPLE MODE"},
    {0xC8, "READ DMA"},
    {0xCA, "WRITE DMA"},
    {0xCD, "CFA WRITE MULTIPLE WITHOUT ERASE"},
    {0xCE, "WRITE MULTIPLE FUA EXT"},
    {0xE0, "STANDBY IMMEDIATE"},
    {0xE1, "IDLE IMMEDIATE"},
    {0xE2, "STANDBY"},
    {0xE3, "IDLE"},
    {0xE4, "READ BUFFER"},
    {0xE5, "CHECK POWER MODE"},
    {0xE6, "SLEEP"},
    {0xE7, "FLUSH CACHE"},
    {0xE8, "WRITE BUFFER"},
    {0xE9, "(WRITE SAME) READ BUFFER DMA"},
    {0xEA, "FLUSH CACHE EXT"},
    {0xEB, "WRITE BUFFER DMA"},
    {0xEC, "IDENTIFY DEVICE"},
    {0xEF, "SET FEATURES"},
    {0xF1, "SECURITY SET PASSWORD"},
    {0xF2, "SECURITY UNLOCK"},
    {0xF3, "SECURITY ERASE PREPARE"},
    {0xF4, "SECURITY ERASE UNIT"},
    {0xF5, "SECURITY FREEZE LOCK"},
    {0xF6, "SECURITY DISABLE PASSWORD"},
};

bool isVendorSpecificCommand(int c)
{
    return (c >= 0x80 && c <= 0x8F) || c == 0x9A || (c >= 0xC0 && c <= 0xC3) || c == 0xF0
        || c == 0xF7 || (c >= 0xFA && c <= 0xFF);
}

template<size_t N>
const char *lookup(const CodeText (&table)[N], int code)
{
    const auto it = std::lower_bound(std::begin(table), std::end(table), code,
                                     [](const CodeText &e, int c) { return e.code < c; });
    return it != std::end(table) && it->code == code ? it->text : nullptr;
}

constexpr CodeText kMinorVersions[] = {
    {0x01, "ATA-1 X3T9.2/781D prior to rev 4"},
    {0x02, "ATA-1 published, ANSI X3.221-1994"},
    {0x03, "ATA-1 X3T9.2/781D rev 4"},
    {0x04, "ATA-2 published, ANSI X3.279-1996"},
    {0x05, "ATA-2 X3T10/948D prior to rev 2k"},
    {0x06, "ATA-3 X3T10/2008D rev 1"},
    {0x07, "ATA-2 X3T10/948D rev 2k"},
    {0x08, "ATA-3 X3T10/2008D rev 0"},
    {0x09, "ATA-2 X3T10/948D rev 3"},
    {0x0A, "ATA-3 published, ANSI X3.298-1997"},
    {0x0B, "ATA-3 X3T10/2008D rev 6"},
    {0x0C, "ATA-3 X3T13/2008D rev 7 and 7a"},
    {0x0D, "ATA/ATAPI-4 X3T13/1153D rev 6"},
    {0x0E, "ATA/ATAPI-4 T13/1153D rev 13"},
    {0x0F, "ATA/ATAPI-4 X3T13/1153D rev 7"},
    {0x10, "ATA/ATAPI-4 T13/1153D rev 18"},
    {0x11, "ATA/ATAPI-4 T13/1153D rev 15"},
    {0x12, "ATA/ATAPI-4 published, ANSI NCITS 317-1998"},
    {0x13, "ATA/ATAPI-5 T13/1321D rev 3"},
    {0x14, "ATA/ATAPI-4 T13/1153D rev 14"},
    {0x15, "ATA/ATAPI-5 T13/1321D rev 1"},
    {0x16, "ATA/ATAPI-5 published, ANSI NCITS 340-2000"},
    {0x17, "ATA/ATAPI-4 T13/1153D rev 17"},
    {0x18, "ATA/ATAPI-6 T13/1410D rev 0"},
    {0x19, "ATA/ATAPI-6 T13/1410D rev 3a"},
    {0x1A, "ATA/ATAPI-7 T13/1532D rev 1"},
    {0x1B, "ATA/ATAPI-6 T13/1410D rev 2"},
    {0x1C, "ATA/ATAPI-6 T13/1410D rev 1"},
    {0x1D, "ATA/ATAPI-7 published, ANSI INCITS 397-2005"},
    {0x1E, "ATA/ATAPI-7 T13/1532D rev 0"},
    {0x1F, "ACS-3 T13/2161-D rev 3b"},
    {0x21, "ATA/ATAPI-7 T13/1532D rev 4a"},
    {0x22, "ATA/ATAPI-6 published, ANSI INCITS 361-2002"},
    {0x27, "ATA8-ACS T13/1699-D rev 3c"},
    {0x28, "ATA8-ACS T13/1699-D rev 6"},
    {0x29, "ATA8-ACS T13/1699-D rev 4"},
    {0x31, "ACS-2 T13/2015-D rev 2"},
    {0x33, "ATA8-ACS T13/1699-D rev 3e"},
    {0x39, "ATA8-ACS T13/1699-D rev 4c"},
    {0x42, "ATA8-ACS T13/1699-D rev 3f"},
    {0x52, "ATA8-ACS T13/1699-D rev 3b"},
    {0x5E, "ACS-4 T13/BSR INCITS 529 rev 5"},
    {0x6D, "ACS-3 T13/2161-D rev 5"},
    {0x82, "ACS-2 published, ANSI INCITS 482-2012"},
    {0x107, "ATA8-ACS T13/1699-D rev 2d"},
    {0x10A, "ACS-3 published, ANSI INCITS 522-2014"},
    {0x110, "ACS-2 T13/2015-D rev 3"},
    {0x11B, "ACS-3 T13/2161-D rev 4"},
};

QString hex2(int value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString commandName(int command)
{
    if (command >= 0 && command <= 0xFF) {
        if (const char *text = lookup(kCommands, command))
            return QString::fromLatin1(text);
        if (isVendorSpecificCommand(command))
            return QStringLiteral("(vendor specific)");
    }
    // Negative values cannot come from a byte; print them as the unsigned byte pattern.
    return QStringLiteral("undefined ") + hex2(command < 0 ? command & 0xFF : command);
}

QString command(int command, int feature)
{
    const char *text = nullptr;
    switch (command) {
    case 0x5C: case 0x5D: case 0x5E: case 0x5F:
        if (feature == 0x00)
            text = "Return security protocol information";
        else if (feature >= 0x01 && feature <= 0x06)
            text = "Reserved for TCG";
        else if (feature == 0x20 || feature == 0xEF)
            text = "Reserved for T10";
        else if (feature == 0xEC)
            text = "JEDEC UFS RPMB";
        else if (feature == 0xED)
            text = "Defined by SDCard TrustedFlash Security Systems Specification 1.1.3";
        else if (feature == 0xEE)
            text = "Defined by IEEE 1667";
        else if (feature >= 0xF0 && feature <= 0xFF)
            text = "Vendor Specific";
        break;
    case 0x63:
        if (feature == 0x00)
            text = "ABORT NCQ QUEUE";
        else if (feature == 0x01)
            text = "DEADLINE HANDLING";
        break;
    case 0x78: {
        static constexpr CodeText t[] = {{0x00, "GET NATIVE MAX ADDRESS EXT"},
                                         {0x01, "SET ACCESSIBLE MAX ADDRESS EXT"},
                                         {0x02, "FREEZE ACCESSIBLE MAX ADDRESS EXT"}};
        text = lookup(t, feature);
        break;
    }
    case 0x92: case 0x93: {
        static constexpr CodeText t[] = {{0x03, "Save with offsets and activate"},
                                         {0x07, "Save and activate"},
                                         {0x0E, "Save with offsets"},
                                         {0x0F, "activate"}};
        text = lookup(t, feature);
        break;
    }
    case 0xB0: {
        static constexpr CodeText t[] = {{0xD0, "SMART READ DATA"},
                                         {0xD2, "SMART ENABLE/DISABLE ATTRIBUTE AUTOSAVE"},
                                         {0xD4, "SMART EXECUTE OFF-LINE IMMEDIATE"},
                                         {0xD5, "SMART READ LOG"},
                                         {0xD6, "SMART WRITE LOG"},
                                         {0xD8, "SMART ENABLE OPERATIONS"},
                                         {0xD9, "SMART DISABLE OPERATIONS"},
                                         {0xDA, "SMART RETURN STATUS"}};
        text = lookup(t, feature);
        if (!text && feature >= 0xE0 && feature <= 0xFF)
            text = "vendor specific";
        break;
    }
    case 0xB4: {
        static constexpr CodeText t[] = {{0x00, "SANITIZE STATUS EXT"},
                                         {0x11, "CRYPTO SCRAMBLE EXT"},
                                         {0x12, "BLOCK ERASE EXT"},
                                         {0x14, "OVERWRITE EXT "},
                                         {0x20, "SANITIZE FREEZE LOCK EXT"}};
        text = lookup(t, feature);
        break;
    }
    case 0xEF: {
        static constexpr const char *cfa =
            "If the device implements the CFA feature set, then this subcommand is reserved "
            "for CFA; otherwise, this subcommand is obsolete. ";
        static constexpr CodeText t[] = {
            {0x02, "Enable volatile write cache"},
            {0x03, "Set transfer mode"},
            {0x05, "Enable the APM feature set"},
            {0x06, "Enable the PUIS feature set"},
            {0x07, "PUIS feature set device spin-up"},
            {0x09, cfa},
            {0x0B, "Enable Write-Read-Verify feature set"},
            {0x10, "Enable use of SATA feature"},
            {0x41, "Enable the Free-fall Control feature set"},
            {0x43, "Set Maximum Host Interface Sector Times"},
            {0x4A, "Extended Power conditions"},
            {0x55, "Disable read look-ahead feature"},
            {0x62, "Long Physical Sector Alignment Error Reporting Control"},
            {0x63, "Enable/Disable the DSN feature set"},
            {0x66, "Disable reverting to power-on defaults"},
            {0x82, "Disable volatile write cache"},
            {0x85, "Disable the APM feature set"},
            {0x86, "Disable the PUIS feature set"},
            {0x89, cfa},
            {0x8B, "Disable Write-Read-Verify feature set"},
            {0x90, "Disable use of SATA feature"},
            {0xAA, "Enable read look-ahead feature"},
            {0xC1, "Disable the Free-fall Control feature set"},
            {0xC3, "Enable/Disable the Sense Data Reporting feature set"},
            {0xCC, "Enable reverting to power-on defaults"},
        };
        text = lookup(t, feature);
        break;
    }
    default:
        break;
    }
    return text ? QString::fromLatin1(text) : QString();
}

QString error(int errorRegister)
{
    static const char *const names[8] = {
        "ILI/CCTO/MEDIA", "END OF MEDIA", "ABORT", "obsolete 0x08",
        "ID NOT FOUND", "obsolete 0x20", "UNCORRECTABLE ERROR", "INTERFACE CRC",
    };
    QString text;
    for (int bit = 0; bit < 8; ++bit) {
        if (errorRegister & (1 << bit))
            text += QLatin1Char(' ') + QLatin1String(names[bit]);
    }
    return text.isEmpty() ? QStringLiteral("Unknown") : text;
}

QString status(int statusByte)
{
    return hex2(statusByte);
}

QString state(int stateByte)
{
    const int nibble = stateByte & 0x0F;
    switch (nibble) {
    case 0: return QStringLiteral("Unknown");
    case 1: return QStringLiteral("Sleep");
    case 2: return QStringLiteral("Standby");
    case 3: return QStringLiteral("Active/Idle");
    case 4: return QStringLiteral("Executing SMART off-line or self-test");
    default:
        return (nibble <= 10 ? QStringLiteral("Reserved ") : QStringLiteral("Vendor "))
            + hex2(stateByte);
    }
}

QString ataVersionMajor(int major, int minor)
{
    static const char *const majors[] = {
        "ATA-1", "ATA-2", "ATA-3", "ATA/ATAPI-4", "ATA/ATAPI-5",
        "ATA/ATAPI-6", "ATA/ATAPI-7", "ATA8-ACS", "ACS-2", "ACS-3",
    };
    const QString majorText = major >= 1 && major <= 10 ? QString::fromLatin1(majors[major - 1])
                                                         : QString();
    const char *minorRaw = lookup(kMinorVersions, minor);
    QString minorText = minorRaw ? QString::fromLatin1(minorRaw) : QString();
    minorText.replace(QStringLiteral("rev"), QStringLiteral("revision"));

    if (majorText.isEmpty() || minorText.contains(majorText))
        return minorText;
    if (minorText.isEmpty())
        return majorText;
    return majorText + QStringLiteral(", ") + minorText;
}

} // namespace corvane::ata
