// Forwarding specs as typed on the command line: whatever is accepted has ports in range and
// addresses the client takes as one word.
#include "forwardingspec.h"
#include "fuzzing.h"

VELL_FUZZ_APPLICATION

namespace {

bool cleanWord(const QString &word)
{
    for (QChar c : word) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const auto type = ForwardingType(data[0] % 4);
    const QString spec = QString::fromUtf8(fuzzInput(data + 1, size - 1));
    const auto parsed = parseForwardingSpec(type, spec);
    if (!parsed) {
        FUZZ_CHECK(!parsed.error().message.isEmpty());
        return 0;
    }
    const ForwardingData &d = *parsed;
    FUZZ_CHECK(d.bindPort >= 0 && d.bindPort <= 65535 && d.targetPort >= 0 &&
               d.targetPort <= 65535);
    for (const std::optional<QString> &address : {d.bindAddress, d.targetAddress}) {
        FUZZ_CHECK(!address ||
                   (cleanWord(*address) && !address->contains(u'[') && !address->contains(u']')));
    }
    return 0;
}
