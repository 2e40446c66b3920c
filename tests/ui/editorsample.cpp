#include "editorsample.h"

#include "forwarding.h"
#include "objectcontext.h"
#include "profile.h"
#include "quickoptions.h"
#include "tag.h"

#include <QDir>
#include <QUuid>

using namespace Qt::StringLiterals;

SampleStore::SampleStore()
    : path(QDir::tempPath() + u"/store-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces) +
           u".sqlite"_s)
{
    app = std::move(PersistenceController::open(StoreLocation::file(path))).value();
    app->startHistoryTracking(&tokens, 20);
    cli = std::move(PersistenceController::open(StoreLocation::file(path),
                                                PersistenceController::cliAuthor))
              .value();
}

SampleStore::~SampleStore() = default;

ObjectContext &SampleStore::main() const
{
    return *app->mainContext();
}

ObjectContext &SampleStore::other() const
{
    return *cli->mainContext();
}

Profile *insertSampleProfile(ObjectContext &context, const QString &name)
{
    Profile *profile = context.insertProfile();
    profile->setName(name);
    profile->setAddress(u"db.staging.example.org"_s);
    profile->setPort(2222);
    profile->setUser(u"deploy"_s);
    profile->setNote(u"Reach the staging database and its admin pages."_s);
    setCompression(*profile, true);
    setJumpHosts(*profile, u"bastion.example.org"_s);
    setUserNotification(*profile, true);
    profile->setStringOption(u"10"_s, u"ConnectTimeout"_s);
    Tag *tag = context.insertTag();
    tag->setName(u"staging"_s);
    profile->addTag(tag);
    const ForwardingData forwardings[] = {
        {{}, 0, true, {}, 5432, u"localhost"_s, 5432, u"PostgreSQL"_s, 0},
        {{}, 1, true, {}, 9000, u"localhost"_s, 3000, u"Webhook receiver"_s, 1},
        {{}, 2, true, u"127.0.0.1"_s, 1080, {}, 0, u"Browse the private network"_s, 2},
        {{}, 3, false, {}, 1081, {}, 0, {}, 3},
    };
    for (ForwardingData data : forwardings) {
        data.uuid = QUuid::createUuid();
        context.insertForwarding(data)->setProfile(profile);
    }
    context.processPendingChanges();
    (void)context.save();
    return profile;
}

Profile *profileNamed(const ObjectContext &context, const QString &name)
{
    for (Profile *profile : context.profiles()) {
        if (profile->name() == name)
            return profile;
    }
    return nullptr;
}
