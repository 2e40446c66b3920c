#include "benchlibrary.h"

#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "tag.h"

#include <QTemporaryDir>

using namespace Qt::StringLiterals;

void fillBenchLibrary(ObjectContext &context)
{
    context.setUndoEnabled(false);
    QList<Tag *> tags;
    for (int t = 0; t < 50; ++t) {
        tags.append(context.insertTag());
        tags.last()->setName(u"tag %1"_s.arg(t));
    }
    for (int i = 0; i < benchProfileCount; ++i) {
        Profile *profile = context.insertProfile();
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
            Forwarding *forwarding = context.insertForwarding();
            forwarding->edit([&](ForwardingData &d) {
                d.bindPort = 10000 + f;
                d.targetAddress = u"10.%1.%2.%3"_s.arg(f).arg(i / 250).arg(i % 250);
                d.targetPort = 5432 + f;
                d.priority = qint16(f);
            });
            forwarding->setProfile(profile);
        }
    }
    if (auto error = context.save())
        qFatal("%s", qPrintable(error->message));
}

QString benchLibraryPath()
{
    static QTemporaryDir dir;
    static const QString path = dir.path() + u"/VellSSH.sqlite"_s;
    static bool made = false;
    if (made)
        return path;
    made = true;
    auto store = std::move(PersistenceController::open(StoreLocation::file(path))).value();
    fillBenchLibrary(*store->mainContext());
    return path;
}
