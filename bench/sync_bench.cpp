// Sync folder figures on a library of 10,000 profiles with 5 forwardings and 2 tags each: the
// first pass that journals it, the pass of an empty second store that takes it all in, and the
// time from one journal line landing until a running application's main context holds the
// change (the folder shared directly, no sync engine in between).
#include "benchlibrary.h"
#include "foldersync.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "settings.h"
#include "syncmirror.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<PersistenceController> openStore(const QString &path)
{
    return std::move(PersistenceController::open(StoreLocation::file(path))).value();
}

// The library's store copied, with its own sync state: the first device.
struct FirstDevice
{
    explicit FirstDevice(const QString &folder)
    {
        QFile::copy(benchLibraryPath(), dir.path() + u"/VellSSH.sqlite"_s);
        store = openStore(dir.path() + u"/VellSSH.sqlite"_s);
        mirror =
            std::make_unique<SyncMirror>(folder, dir.path() + u"/sync-state.json"_s, u"FIRST"_s);
    }
    SyncReport pass()
    {
        auto report = mirror->pass(*store->mainContext());
        if (!report)
            qFatal("%s", qPrintable(report.error().message));
        return *report;
    }

    QTemporaryDir dir;
    std::unique_ptr<PersistenceController> store;
    std::unique_ptr<SyncMirror> mirror;
};

void JournalTheLibrary(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir folder;
        FirstDevice first(folder.path());
        state.ResumeTiming();
        if (first.pass().written != benchProfileCount + 50)
            state.SkipWithError("not everything was journaled");
    }
}
BENCHMARK(JournalTheLibrary)->Unit(benchmark::kMillisecond)->Iterations(3);

void InitialSyncToAnEmptyStore(benchmark::State &state)
{
    QTemporaryDir folder;
    FirstDevice(folder.path()).pass();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto store = openStore(dir.path() + u"/VellSSH.sqlite"_s);
        SyncMirror mirror(folder.path(), dir.path() + u"/sync-state.json"_s, u"SECOND"_s);
        state.ResumeTiming();
        const auto report = mirror.pass(*store->mainContext());
        if (!report || report->applied != benchProfileCount + 50 ||
            store->mainContext()->profiles().size() != benchProfileCount)
            state.SkipWithError("the second store did not get everything");
    }
}
BENCHMARK(InitialSyncToAnEmptyStore)->Unit(benchmark::kMillisecond)->Iterations(3);

// The second device is a running application: its store with the history service, its
// settings, and the folder sync watching the folder.
void OneChangeReachesARunningApplication(benchmark::State &state)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8() + "/data");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8() + "/config");
    QTemporaryDir folder;
    FirstDevice first(folder.path());
    first.pass();

    Settings settings(Settings::defaultFilePath());
    if (turnSyncOn(settings, folder.path()))
        return state.SkipWithError("the folder is not usable");
    auto store = openStore(PersistenceController::defaultStorePath());
    SettingsHistoryTokenStore tokens(settings, PersistenceController::appAuthor);
    store->startHistoryTracking(&tokens);
    FolderSync sync(settings, *store);
    ObjectContext &second = *store->mainContext();
    QElapsedTimer waited;
    waited.start();
    while (second.profiles().size() < benchProfileCount && waited.elapsed() < 120'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (second.profiles().size() < benchProfileCount)
        return state.SkipWithError("the initial sync did not arrive");
    state.counters["initial_sync_ms"] = double(waited.elapsed());

    Profile *edited = first.store->mainContext()->profiles().first();
    const QUuid uuid = *edited->uuid();
    Profile *arriving = nullptr;
    for (Profile *profile : second.profiles()) {
        if (profile->uuid() == uuid)
            arriving = profile;
    }
    int round = 0;
    for (auto _ : state) {
        const QString note = u"edit %1"_s.arg(++round);
        edited->setNote(note);
        if (first.store->mainContext()->save() || first.pass().written != 1)
            return state.SkipWithError("the edit was not journaled");
        QElapsedTimer latency;
        latency.start();
        while (arriving->note() != note && latency.elapsed() < 30'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        if (arriving->note() != note)
            return state.SkipWithError("the edit did not arrive");
        state.SetIterationTime(double(latency.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(OneChangeReachesARunningApplication)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);

} // namespace

VELL_BENCHMARK_MAIN()
