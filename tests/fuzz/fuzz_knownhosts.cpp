// known_hosts lines as the service reads them, and the JSON form that carries them to the
// application: what one side writes, the other reads back the same.
#include "fuzzing.h"
#include "knownhostentry.h"

VELL_FUZZ_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzzInput(data, size);
    QList<KnownHostEntry> entries;
    for (const QByteArray &line : input.split('\n'))
        entries.append(KnownHostEntry::fromLine(QString::fromUtf8(line)));
    const auto back = knownHostsFromJSON(knownHostsJSON(entries));
    FUZZ_CHECK(back.ok() && *back == entries);
    [[maybe_unused]] const auto fromJSON = knownHostsFromJSON(input);
    return 0;
}
