// Store figures on a library of 10,000 profiles with 5 forwardings and 2 tags each:
// open and load, a two-term search, saving one edit, duplicating a profile, and merging
// 1,000 changes written by another connection.
#include "benchlibrary.h"
#include "forwarding.h"
#include "historytokenstore.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "persistenthistorykit.h"
#include "profile.h"
#include "queries.h"
#include "tag.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<PersistenceController> open(const QString &author = u"app"_s)
{
    return std::move(PersistenceController::open(StoreLocation::file(benchLibraryPath()), author))
        .value();
}

void OpenAndLoad(benchmark::State &state)
{
    benchLibraryPath();
    for (auto _ : state) {
        auto store = open();
        benchmark::DoNotOptimize(store->mainContext()->profiles().size());
    }
}
BENCHMARK(OpenAndLoad)->Unit(benchmark::kMillisecond);

void SearchTwoTermsWarm(benchmark::State &state)
{
    auto store = open();
    ProfileSearch search(store->mainContext());
    const QList<Profile *> profiles = validProfiles(*store->mainContext());
    search.filter(profiles, u"warm"_s);
    for (auto _ : state)
        benchmark::DoNotOptimize(search.filter(profiles, u"database 10.3"_s).size());
}
BENCHMARK(SearchTwoTermsWarm)->Unit(benchmark::kMillisecond);

void SearchTwoTermsCold(benchmark::State &state)
{
    auto store = open();
    const QList<Profile *> profiles = validProfiles(*store->mainContext());
    for (auto _ : state) {
        ProfileSearch search(store->mainContext());
        benchmark::DoNotOptimize(search.filter(profiles, u"database 10.3"_s).size());
    }
}
BENCHMARK(SearchTwoTermsCold)->Unit(benchmark::kMillisecond);

void SortDefaultOrder(benchmark::State &state)
{
    auto store = open();
    for (auto _ : state)
        benchmark::DoNotOptimize(validProfiles(*store->mainContext(), true).size());
}
BENCHMARK(SortDefaultOrder)->Unit(benchmark::kMillisecond);

void SaveOneEdit(benchmark::State &state)
{
    auto store = open();
    Profile *profile = store->mainContext()->profiles().first();
    int n = 0;
    for (auto _ : state) {
        profile->setNote(u"edit %1"_s.arg(++n));
        if (store->mainContext()->save())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(SaveOneEdit)->Unit(benchmark::kMillisecond);

void DuplicateProfile(benchmark::State &state)
{
    auto store = open();
    ObjectContext *ctx = store->mainContext();
    Profile *source = ctx->profiles().first();
    for (auto _ : state) {
        Profile *copy = duplicateProfile(source, *ctx);
        if (ctx->save())
            state.SkipWithError("save failed");
        state.PauseTiming();
        ctx->deleteObject(copy);
        (void)ctx->save();
        state.ResumeTiming();
    }
}
BENCHMARK(DuplicateProfile)->Unit(benchmark::kMillisecond);

class MemoryTokens : public HistoryTokenStore
{
public:
    std::optional<qint64> lastToken() const override { return token; }
    void setLastToken(qint64 value) override { token = value; }
    std::optional<qint64> token;
};

void MergeThousandOutsideChanges(benchmark::State &state)
{
    auto app = open();
    MemoryTokens tokens;
    app->startHistoryTracking(&tokens, 3600 * 1000);
    auto other = open(u"cli"_s);
    const QList<Profile *> theirs = other->mainContext()->profiles();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        for (int i = 0; i < 1000; ++i)
            theirs[i]->setNote(u"outside %1 %2"_s.arg(round).arg(i));
        if (other->mainContext()->save())
            state.SkipWithError("save failed");
        state.ResumeTiming();
        app->historyKit()->processNewTransactions();
    }
    if (app->mainContext()->profiles().first()->note() != theirs.first()->note())
        state.SkipWithError("merge did not arrive");
}
BENCHMARK(MergeThousandOutsideChanges)->Unit(benchmark::kMillisecond);

// Inserts go through the de-duplicator as well.
void MergeThousandOutsideInserts(benchmark::State &state)
{
    auto app = open();
    MemoryTokens tokens;
    app->startHistoryTracking(&tokens, 3600 * 1000);
    auto other = open(u"cli"_s);
    ObjectContext *ctx = other->mainContext();
    for (auto _ : state) {
        state.PauseTiming();
        QList<Profile *> made;
        for (int i = 0; i < 1000; ++i) {
            made.append(ctx->insertProfile());
            ctx->insertForwarding()->setProfile(made.last());
        }
        if (ctx->save())
            state.SkipWithError("save failed");
        state.ResumeTiming();
        app->historyKit()->processNewTransactions();
        state.PauseTiming();
        for (Profile *profile : std::as_const(made))
            ctx->deleteObject(profile);
        (void)ctx->save();
        app->historyKit()->processNewTransactions();
        state.ResumeTiming();
    }
}
BENCHMARK(MergeThousandOutsideInserts)->Unit(benchmark::kMillisecond);

} // namespace

VELL_BENCHMARK_MAIN()
