// Interchange figures on a library of 10,000 profiles with 5 forwardings and 2 tags each:
// exporting it, importing the file into an empty store, importing it again with every
// profile skipped, and pasting 1,000 of its profiles copied in the same run.
#include "benchlibrary.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileimport.h"
#include "transferableprofile.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<PersistenceController> openLibrary()
{
    return std::move(PersistenceController::open(StoreLocation::file(benchLibraryPath()))).value();
}

QList<const Profile *> allProfiles(const ObjectContext &context)
{
    const QList<Profile *> profiles = context.profiles();
    return {profiles.cbegin(), profiles.cend()};
}

// The library's export file, written once.
QString exportFile()
{
    static QTemporaryDir dir;
    static const QString path = dir.path() + u"/library.velltunnel"_s;
    if (!QFile::exists(path)) {
        auto store = openLibrary();
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(exportDocument(allProfiles(*store->mainContext())));
    }
    return path;
}

void ExportLibrary(benchmark::State &state)
{
    auto store = openLibrary();
    for (auto _ : state)
        benchmark::DoNotOptimize(exportDocument(allProfiles(*store->mainContext())).size());
}
BENCHMARK(ExportLibrary)->Unit(benchmark::kMillisecond);

void ImportIntoEmptyStore(benchmark::State &state)
{
    const QString path = exportFile();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto store = std::move(PersistenceController::open(
                                   StoreLocation::file(dir.path() + u"/VellSSH.sqlite"_s)))
                         .value();
        state.ResumeTiming();
        const auto result = importProfiles(path, *store->mainContext(), ConflictPolicy::skipAll);
        if (!result || result->added != benchProfileCount)
            state.SkipWithError("import failed");
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ImportIntoEmptyStore)->Unit(benchmark::kMillisecond)->Iterations(3);

void ReimportSkippingAll(benchmark::State &state)
{
    const QString path = exportFile();
    auto store = openLibrary();
    for (auto _ : state) {
        const auto result = importProfiles(path, *store->mainContext(), ConflictPolicy::skipAll);
        if (!result || result->skipped != benchProfileCount)
            state.SkipWithError("re-import failed");
    }
}
BENCHMARK(ReimportSkippingAll)->Unit(benchmark::kMillisecond);

void PasteThousandCopies(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.path() + u"/VellSSH.sqlite"_s;
        QFile::copy(benchLibraryPath(), path);
        auto store = std::move(PersistenceController::open(StoreLocation::file(path))).value();
        ObjectContext &context = *store->mainContext();
        QList<TransferableProfile> copied;
        for (const Profile *profile : context.profiles().mid(0, 1000))
            copied.append(TransferableProfile::from(*profile, {}));
        state.ResumeTiming();
        if (Status error = importTransferables(copied, context))
            state.SkipWithError(qPrintable(error->message));
        state.PauseTiming();
        if (context.profiles().size() != benchProfileCount + 1000)
            state.SkipWithError("the copies are missing");
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(PasteThousandCopies)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

VELL_BENCHMARK_MAIN()
