// Lines of a device's sync journal and their stamps: a line that reads as a record writes
// back as one that reads the same, and a stamp's text sorts as the stamp does.
#include "fuzzing.h"
#include "syncjournal.h"

VELL_FUZZ_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzzInput(data, size);
    if (const auto record = JournalRecord::fromLine(input)) {
        const auto again = JournalRecord::fromLine(record->line());
        FUZZ_CHECK(again && again->line() == record->line());
    }
    HybridLogicalClock clock(QStringLiteral("A"));
    for (const QByteArray &word : input.split(' ')) {
        const auto seen = HybridTimestamp::fromText(QString::fromUtf8(word));
        if (!seen)
            continue;
        const HybridTimestamp before = clock.last();
        clock.observe(*seen);
        const HybridTimestamp next = clock.now(seen->milliseconds);
        // The last stamp that sixteen digits hold is where the clock stops (year 318857).
        const bool atTheEnd = next.milliseconds == HybridTimestamp::maxMilliseconds &&
                              next.counter == HybridTimestamp::maxCounter;
        FUZZ_CHECK(HybridTimestamp::fromText(next.text()) == next);
        FUZZ_CHECK((before < next || atTheEnd) && next.counter >= 0 &&
                   next.counter <= HybridTimestamp::maxCounter);
        FUZZ_CHECK(seen->counter > HybridTimestamp::maxCounter || atTheEnd ||
                   seen->text() < next.text());
    }
    return 0;
}
