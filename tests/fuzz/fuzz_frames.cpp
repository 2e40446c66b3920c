// The body of one service-protocol frame, as MessageChannel decodes it, and the lookups that
// the service, the ask-pass socket and the session's reading of reports make in what it decoded.
#include "fuzzing.h"
#include "messagechannel.h"
#include "reportmessages.h"
#include "sshprotocol.h"

VELL_FUZZ_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<MessageChannel::Frame> frame =
        MessageChannel::parseFrame(fuzzInput(data, size));
    if (!frame)
        return 0;
    FUZZ_CHECK(frame->descriptors >= 0 && frame->descriptors <= MessageChannel::maxDescriptors);
    const QCborMap &args = frame->message.args;
    for (const QString &key : {QStringLiteral("prompt"), QStringLiteral("path"),
                               QStringLiteral("json"), QStringLiteral("status")})
        args.value(key).toString();
    SSHProtocol::decodeRunRequest(args);
    // A report read back is one that can be sent again as it came.
    if (const auto report = reportFromMessage(frame->message.op, args))
        FUZZ_CHECK(reportMessage(*report).first == frame->message.op);
    return 0;
}
