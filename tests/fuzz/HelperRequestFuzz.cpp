// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-helper's request decoding: whatever a caller sends, only a request
// within the fixed limits comes out. Input: control byte (member: one of the
// operations or an unknown one), signature length, signature, name length,
// name bytes, then the numeric arguments (1 + 1 + 4 bytes).
#include "FuzzSupport.h"
#include "HelperProtocol.h"

#include <cstdlib>

void corvane::fuzz::testOne(std::span<const uint8_t> in)
{
    using namespace corvane::helper;
    const auto take = [&in](size_t n) {
        const auto [head, tail] = split(in, n);
        in = tail;
        return head;
    };
    const auto byte = [&take] {
        const auto b = take(1);
        return b.empty() ? uint8_t(0) : b[0];
    };
    const uint8_t control = byte();
    const int pick = control % (kOperationCount + 1);
    const QString member = pick == kOperationCount ? QStringLiteral("SendRawCommand") : methodName(Operation(pick));
    const QString signature = QString::fromLatin1(text(take(byte() % 8)));
    const QByteArray nameBytes = text(take(byte()));
    const uint8_t a = byte(), b = byte();
    const auto word = take(4);
    uint32_t count = 0;
    for (uint8_t w : word)
        count = count << 8 | w;

    QVariantList args{QString::fromUtf8(nameBytes)};
    // The bus delivers arguments matching the signature; the fuzzer may also break that.
    if (control & 0x80)
        args = {QVariant(int(a)), QVariant(nameBytes)};
    args << QVariant::fromValue(a) << (control & 0x40 ? QVariant::fromValue(b) : QVariant::fromValue(count));

    Refusal refusal;
    const std::optional<Request> request = decodeRequest(member, signature, args.mid(0, qsizetype(signature.size())), refusal);
    if (!request && refusal.reason.isEmpty())
        std::abort();
    if (!request)
        return;
    // What a request may make the helper do, whatever came in.
    const bool nameOk = request->isAta() ? isAtaDeviceName(request->device) : isNvmeDeviceName(request->device);
    if (!nameOk || request->device.toUtf8().size() > kMaxDeviceNameBytes || request->device.contains(QLatin1Char('/'))
        || replyBytes(*request) > 16384 || methodName(request->operation) != member)
        std::abort();
}
