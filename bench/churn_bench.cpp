// The heap a long-running application keeps after a library of 10,000 profiles (5 forwardings
// and 2 tags each) comes in and goes for good, cycle after cycle: imported and deleted in the
// application itself; imported and deleted by another writer (the command line) whose changes
// the application merges; and imported in the application (an undo step) and deleted by the
// other writer. A fair result stays flat after the first cycle.
//   bench_churn [cycles]
#include "benchlibrary.h"
#include "historytokenstore.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "persistenthistorykit.h"
#include "profile.h"
#include "profileimport.h"
#include "queries.h"

#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

using namespace Qt::StringLiterals;

namespace {

class MemoryTokens : public HistoryTokenStore
{
public:
    std::optional<qint64> lastToken() const override { return token; }
    void setLastToken(qint64 value) override { token = value; }
    std::optional<qint64> token;
};

double heapMiB()
{
    return double(mallinfo2().uordblks) / (1024 * 1024);
}

std::unique_ptr<PersistenceController> open(const QString &path, const QString &author)
{
    return std::move(PersistenceController::open(StoreLocation::file(path), author)).value();
}

QString exportFile(const QString &folder)
{
    const QString path = folder + u"/library.velltunnel"_s;
    auto library = open(benchLibraryPath(), u"app"_s);
    const QList<Profile *> profiles = library->mainContext()->profiles();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(exportDocument({profiles.cbegin(), profiles.cend()})) < 0)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void import(ObjectContext &context, const QString &file)
{
    const auto imported = importProfiles(file, context, ConflictPolicy::skipAll);
    if (!imported || imported->added != benchProfileCount)
        qFatal("the import failed");
}

void deleteAll(ObjectContext &context)
{
    if (Status error = deletePermanently(context.profiles(), context))
        qFatal("%s", qPrintable(error->message));
}

void report(const char *label, const QList<double> &heap)
{
    printf("%s: heap in use after each cycle (MiB):", label);
    for (double mib : heap)
        printf(" %.1f", mib);
    const double perCycle = heap.size() > 1 ? (heap.last() - heap.first()) / (heap.size() - 1) : 0;
    printf("; growth per cycle after the first %.1f MiB\n", perCycle);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int cycles = argc > 1 ? std::clamp(atoi(argv[1]), 2, 50) : 5;
    QTemporaryDir dir;
    const QString file = exportFile(dir.path());
    const QString store = dir.path() + u"/VellSSH.sqlite"_s;
    auto app = open(store, u"app"_s);
    MemoryTokens tokens;
    app->startHistoryTracking(&tokens, 3600 * 1000);
    ObjectContext &context = *app->mainContext();

    QList<double> inApp;
    for (int i = 0; i < cycles; ++i) {
        import(context, file);
        deleteAll(context);
        QCoreApplication::processEvents();
        inApp.append(heapMiB());
    }
    report("imported and deleted in the application", inApp);

    QList<double> outside;
    for (int i = 0; i < cycles; ++i) {
        import(*open(store, u"cli"_s)->mainContext(), file);
        app->historyKit()->processNewTransactions();
        deleteAll(*open(store, u"cli"_s)->mainContext());
        app->historyKit()->processNewTransactions();
        QCoreApplication::processEvents();
        outside.append(heapMiB());
    }
    report("imported and deleted by another writer", outside);

    QList<double> mixed;
    for (int i = 0; i < cycles; ++i) {
        import(context, file);
        deleteAll(*open(store, u"cli"_s)->mainContext());
        app->historyKit()->processNewTransactions();
        QCoreApplication::processEvents();
        mixed.append(heapMiB());
    }
    report("imported here, deleted by another writer", mixed);
    return context.profiles().isEmpty() ? 0 : 1;
}
