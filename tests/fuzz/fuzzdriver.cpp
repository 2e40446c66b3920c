// Runs a fuzz target without libFuzzer, as a test of the normal build: every seed of the
// corpus folder, then a bounded number of mutations of them (flipped bits, changed, inserted
// and deleted bytes, pieces of two seeds joined) from a fixed random seed, so that every run
// tries the same inputs.
//   fuzz_NAME CORPUS-FOLDER [mutations]
#include "fuzzing.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

QByteArray mutated(QByteArray input, const QList<QByteArray> &seeds, QRandomGenerator &random)
{
    const int changes = 1 + int(random.bounded(4));
    for (int i = 0; i < changes; ++i) {
        const qsizetype at = input.isEmpty() ? 0 : qsizetype(random.bounded(int(input.size())));
        switch (random.bounded(6)) {
        case 0:
            if (!input.isEmpty())
                input[at] = char(input[at] ^ (1 << random.bounded(8)));
            break;
        case 1:
            if (!input.isEmpty())
                input[at] = char(random.bounded(256));
            break;
        case 2:
            input.insert(at, char(random.bounded(256)));
            break;
        case 3:
            input.remove(at, 1 + random.bounded(8));
            break;
        case 4: {
            const QByteArray &other = seeds[random.bounded(int(seeds.size()))];
            const qsizetype from = other.isEmpty() ? 0 : random.bounded(int(other.size()));
            input = input.left(at) + other.mid(from);
            break;
        }
        default: {
            // Interesting bytes for text parsers: separators, brackets, controls, non-UTF-8.
            static const char special[] = "\n\r\t :[]{}\"\\\x00\x7f\xff\xc3";
            input.insert(at, special[random.bounded(int(sizeof special - 1))]);
            break;
        }
        }
    }
    return input;
}

} // namespace

int main(int argc, char *argv[])
{
    LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2) {
        fprintf(stderr, "usage: %s CORPUS-FOLDER [mutations]\n", argv[0]);
        return 2;
    }
    const QDir corpus(QFile::decodeName(argv[1]));
    const int mutations = argc > 2 ? atoi(argv[2]) : 2000;
    QList<QByteArray> seeds;
    for (const QString &name : corpus.entryList(QDir::Files, QDir::Name)) {
        QFile file(corpus.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            fprintf(stderr, "%s: cannot be read\n", qPrintable(file.fileName()));
            return 1;
        }
        seeds.append(file.readAll());
    }
    if (seeds.isEmpty()) {
        fprintf(stderr, "%s: no seeds\n", argv[1]);
        return 1;
    }
    for (const QByteArray &seed : std::as_const(seeds))
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(seed.constData()),
                               size_t(seed.size()));
    QRandomGenerator random(20240601);
    for (int i = 0; i < mutations; ++i) {
        const QByteArray input = mutated(seeds[random.bounded(int(seeds.size()))], seeds, random);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()),
                               size_t(input.size()));
    }
    printf("%lld seeds and %d mutations ran\n", qint64(seeds.size()), mutations);
    return 0;
}
