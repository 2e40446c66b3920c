// The client's log as the service reads it from its pipe, cut into reads at places the input
// chooses, and the line splitter with a small limit so that cut lines come often.
#include "clientlogparser.h"
#include "fuzzing.h"
#include "linesplitter.h"

VELL_FUZZ_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte says where reads end.
    const qsizetype step = 1 + data[0] % 64;
    const QByteArray log = fuzzInput(data + 1, size - 1);
    ClientLogParser parser;
    LineSplitter whole;
    LineSplitter cut(16);
    qsizetype kept = 0;
    for (qsizetype at = 0; at < log.size(); at += step) {
        const QByteArray read = log.mid(at, step);
        parser.feed(read);
        for (const LineSplitter::Line &line : whole.feed(read))
            kept += line.bytes.size() + line.dropped;
        for (const LineSplitter::Line &line : cut.feed(read))
            FUZZ_CHECK(line.bytes.size() <= 16 && !line.bytes.contains('\n'));
    }
    parser.finish();
    if (const auto rest = whole.finish())
        kept += rest->bytes.size();
    cut.finish();
    // Only line feeds and the carriage returns of line endings are not part of a line.
    FUZZ_CHECK(kept <= log.size() && kept >= log.size() - 2 * log.count('\n') - log.count('\r'));
    return 0;
}
