// An interchange document as an import reads it: the list of profiles, each imported into a
// store of its own in memory, and the store saved.
#include "fuzzing.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profileimport.h"
#include "profileimporter.h"

#include <QJsonObject>

VELL_FUZZ_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto profiles = importableProfiles(fuzzInput(data, size));
    if (!profiles)
        return 0;
    auto store = PersistenceController::openInMemory();
    FUZZ_CHECK(store.ok());
    ObjectContext &context = *(*store)->mainContext();
    ProfileImporter importer(context, ConflictPolicy::replaceAll, {}, profiles->size());
    for (const QJsonValue &value : *profiles)
        importer.importProfile(value.toObject());
    context.processPendingChanges();
    context.saveIfChanged();
    return 0;
}
