// Store figures on a library of 10,000 profiles with 5 forwardings and 2 tags each:
// open and load, a two-term search, saving one edit, duplicating a profile, and merging
// 1,000 changes written by another connection.
#include "forwarding.h"
#include "historytokenstore.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "persistenthistorykit.h"
#include "profile.h"
#include "queries.h"
#include "tag.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int profileCount = 10000;

QString libraryPath()
{
    static QTemporaryDir dir;
    static const QString path = dir.path() + u"/VellSSH.sqlite"_s;
    static bool made = false;
    if (made)
        return path;
    made = true;
    auto store = std::move(PersistenceController::open(StoreLocation::file(path))).value();
    ObjectContext *ctx = store->mainContext();
    ctx->setUndoEnabled(false);
    QList<Tag *> tags;
    for (int t = 0; t < 50; ++t) {
        tags.append(ctx->insertTag());
        tags.last()->setName(u"tag %1"_s.arg(t));
    }
    for (int i = 0; i < profileCount; ++i) {
        Profile *profile = ctx->insertProfile();
        profile->edit([i](ProfileData &d) {
            d.name = u"server %1 %2"_s.arg(i).arg(i % 7 ? u"api"_s : u"database"_s);
            d.address = u"host-%1.example.net"_s.arg(i);
            d.user = u"deploy"_s;
            d.port = 22 + i % 100;
            d.note = u"rack %1, owned by team %2"_s.arg(i % 40).arg(i % 13);
        });
        profile->addTag(tags[i % 50]);
        profile->addTag(tags[(i + 7) % 50]);
        for (int f = 0; f < 5; ++f) {
            Forwarding *forwarding = ctx->insertForwarding();
            forwarding->edit([&](ForwardingData &d) {
                d.bindPort = 10000 + f;
                d.targetAddress = u"10.%1.%2.%3"_s.arg(f).arg(i / 250).arg(i % 250);
                d.targetPort = 5432 + f;
                d.priority = qint16(f);
            });
            forwarding->setProfile(profile);
        }
    }
    if (auto error = ctx->save())
        qFatal("%s", qPrintable(error->message));
    return path;
}

std::unique_ptr<PersistenceController> open(const QString &author = u"app"_s)
{
    return std::move(PersistenceController::open(StoreLocation::file(libraryPath()), author))
        .value();
}

void OpenAndLoad(benchmark::State &state)
{
    libraryPath();
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

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
