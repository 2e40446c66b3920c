#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profilevalidationform.h"
#include "queries.h"
#include "tag.h"
#include "testenvironment.h"
#include "undostack.h"

using namespace Qt::StringLiterals;

class QueriesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PersistenceController> m_store;
    ObjectContext *ctx() { return m_store->mainContext(); }

    Profile *add(const QString &name, const QString &address = u"host"_s)
    {
        Profile *profile = ctx()->insertProfile();
        profile->setName(name);
        profile->setAddress(address);
        return profile;
    }

    static QStringList names(const QList<Profile *> &profiles)
    {
        QStringList result;
        for (const Profile *p : profiles)
            result.append(p->displayName());
        return result;
    }

private Q_SLOTS:
    void init() { m_store = std::move(PersistenceController::openInMemory()).value(); }
    void cleanup() { m_store.reset(); }

    void listingsSkipHiddenRecordsAndSortPinnedFirstThenNaturally()
    {
        add(u"db 10"_s);
        add(u"db 9"_s);
        add(u"Alpha"_s);
        add(u"alpha 2"_s);
        add(u"console"_s, u"/dev/tty"_s);
        add(u"no uuid"_s)->edit([](ProfileData &d) { d.uuid.reset(); });
        add(u"zulu"_s)->setPinned(true);
        add(u"Éclair"_s);
        QCOMPARE(names(validProfiles(*ctx())), (QStringList{u"zulu"_s, u"Alpha"_s, u"alpha 2"_s,
                                                            u"db 9"_s, u"db 10"_s, u"Éclair"_s}));
    }

    void sidebarSelections()
    {
        Tag *prod = ctx()->insertTag();
        prod->setName(u"prod"_s);
        Profile *tagged = add(u"tagged"_s);
        tagged->addTag(prod);
        add(u"plain"_s);
        Profile *trashed = add(u"trashed"_s);
        trashed->addTag(prod);
        moveToTrash({trashed});
        QCOMPARE(names(profilesIn(*ctx(), SidebarItem::all())),
                 (QStringList{u"plain"_s, u"tagged"_s}));
        QCOMPARE(names(profilesIn(*ctx(), SidebarItem::trash())), QStringList{u"trashed"_s});
        QCOMPARE(names(profilesIn(*ctx(), SidebarItem::untagged())), QStringList{u"plain"_s});
        QCOMPARE(names(profilesIn(*ctx(), SidebarItem::forTag(prod))), QStringList{u"tagged"_s});
    }

    void searchMatchesEveryTermSomewhere_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("empty") << u""_s << QStringList{u"api.v2 [eu]"_s, u"Postgres"_s};
        QTest::newRow("only spaces")
            << u"  \n\t "_s << QStringList{u"api.v2 [eu]"_s, u"Postgres"_s};
        QTest::newRow("terms in two places") << u"postgres replica"_s << QStringList{u"Postgres"_s};
        QTest::newRow("one term missing") << u"postgres nothing"_s << QStringList{};
        QTest::newRow("dot is literal") << u"i.v"_s << QStringList{u"api.v2 [eu]"_s};
        QTest::newRow("dot does not match any character") << u"api-v2"_s << QStringList{};
        QTest::newRow("bracket") << u"[eu]"_s << QStringList{u"api.v2 [eu]"_s};
        QTest::newRow("case and accents") << u"ZURICH"_s << QStringList{u"Postgres"_s};
        QTest::newRow("forwarding port") << u"5432"_s << QStringList{u"Postgres"_s};
        QTest::newRow("profile port") << u"2201"_s << QStringList{u"api.v2 [eu]"_s};
        QTest::newRow("tag name") << u"critical"_s << QStringList{u"Postgres"_s};
        QTest::newRow("user and target") << u"deploy internal.db"_s << QStringList{u"Postgres"_s};
        QTest::newRow("second line of a note") << u"paged"_s << QStringList{u"Postgres"_s};
        QTest::newRow("no-break space") << u"postgres\u00a0replica"_s << QStringList{u"Postgres"_s};
        QTest::newRow("ideographic space")
            << u"postgres\u3000replica"_s << QStringList{u"Postgres"_s};
        QTest::newRow("line separator") << u"postgres\u2028replica"_s << QStringList{u"Postgres"_s};
        QTest::newRow("next line") << u"postgres\u0085replica"_s << QStringList{u"Postgres"_s};
        QTest::newRow("only Unicode blanks")
            << u"\u2003\u00a0\u2029"_s << QStringList{u"api.v2 [eu]"_s, u"Postgres"_s};
    }
    void searchMatchesEveryTermSomewhere()
    {
        Profile *api = add(u"api.v2 [eu]"_s, u"api.example"_s);
        api->setPort(2201);
        Profile *db = add(u"Postgres"_s, u"db.example"_s);
        db->setUser(u"deploy"_s);
        db->setNote(u"owned by ops\npaged at night"_s);
        Forwarding *forwarding = ctx()->insertForwarding();
        forwarding->edit([](ForwardingData &d) {
            d.note = u"replica in Zürich"_s;
            d.bindPort = 5432;
            d.targetAddress = u"internal.db"_s;
            d.targetPort = 5433;
        });
        forwarding->setProfile(db);
        Tag *tag = ctx()->insertTag();
        tag->setName(u"Critical"_s);
        db->addTag(tag);

        ProfileSearch search(ctx());
        QFETCH(QString, text);
        QTEST(names(search.filter(validProfiles(*ctx()), text)), "found");
    }

    void searchFollowsEdits()
    {
        Profile *profile = add(u"web"_s);
        ProfileSearch search(ctx());
        QCOMPARE(search.filter({profile}, u"renamed"_s).size(), 0);
        profile->setName(u"renamed"_s);
        ctx()->processPendingChanges();
        QCOMPARE(search.filter({profile}, u"renamed"_s).size(), 1);
        Tag *tag = ctx()->insertTag();
        tag->setName(u"fresh"_s);
        profile->addTag(tag);
        ctx()->processPendingChanges();
        QCOMPARE(search.filter({profile}, u"fresh"_s).size(), 1);
    }

    void recoverNamesItsUndoAction()
    {
        Profile *db = add(u"db"_s);
        Profile *web = add(u"web"_s);
        Profile *unnamed = add(u"x"_s);
        unnamed->setName(std::nullopt);
        moveToTrash({db, web, unnamed});
        QVERIFY(!ctx()->save());
        UndoStack *undo = ctx()->undoStack();

        recover({db, web}, *ctx());
        QCOMPARE(undo->undoActionName(), u"Recover Profiles"_s);
        QVERIFY(!ctx()->hasChanges());
        ctx()->undo();
        QVERIFY(db->isInTrash() && web->isInTrash());
        recover({db}, *ctx());
        QCOMPARE(undo->undoActionName(), u"Recover “db”"_s);
        recover({unnamed}, *ctx());
        QCOMPARE(undo->undoActionName(), u"Recover Profile"_s);
        QVERIFY(!unnamed->isInTrash());
    }

    void recoverLeavesEveryProfileEditable()
    {
        // Names are unique among live profiles only, so the trash may hold taken ones.
        Profile *old = add(u"db"_s);
        Profile *older = add(u"DB"_s);
        moveToTrash({old});
        QVERIFY(!ctx()->save());
        moveToTrash({older});
        Profile *live = add(u"db"_s);
        add(u"db 2"_s);
        QVERIFY(!ctx()->save());

        recover({old, older}, *ctx());
        QCOMPARE(names(ctx()->profiles()), (QStringList{u"db 3"_s, u"DB 4"_s, u"db"_s, u"db 2"_s}));
        for (Profile *profile : ctx()->profiles())
            QVERIFY(!ProfileValidationForm::checkNameAvailable(*profile->name(), profile, *ctx()));
        QCOMPARE(live->name(), u"db"_s);
        ctx()->undo();
        QCOMPARE(old->name(), u"db"_s);
        QVERIFY(old->isInTrash());
    }

    void deletePermanentlyIsNotUndoable()
    {
        Profile *db = add(u"db"_s);
        QVERIFY(!ctx()->save());
        ctx()->undoStack()->removeAllActions();
        moveToTrash({db});
        ctx()->processPendingChanges();
        QVERIFY(ctx()->undoStack()->canUndo());
        QVERIFY(!deletePermanently({db}, *ctx()));
        QVERIFY(db->isDeleted());
        // Undoing the move to the trash would have brought the deleted record back.
        QVERIFY(!ctx()->undoStack()->canUndo());
        ctx()->undo();
        QVERIFY(db->isDeleted());
    }

    void copyNames_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("copy");
        QTest::newRow("first") << QStringList{u"A"_s} << u"A"_s << u"A Copy"_s;
        QTest::newRow("second") << QStringList{u"A"_s, u"A Copy"_s} << u"A"_s << u"A Copy 1"_s;
        QTest::newRow("from a copy")
            << QStringList{u"A Copy 7"_s} << u"A Copy 7"_s << u"A Copy 8"_s;
        QTest::newRow("gaps") << QStringList{u"Web"_s, u"Web Copy"_s, u"Web Copy 1"_s,
                                             u"Web Copy 2"_s}
                              << u"Web Copy 2"_s << u"Web Copy 3"_s;
        QTest::newRow("dot is not a space")
            << QStringList{u"A.Copy"_s} << u"A.Copy"_s << u"A.Copy Copy"_s;
        QTest::newRow("regex characters in the base")
            << QStringList{u"a+b"_s, u"a+b Copy"_s} << u"a+b"_s << u"a+b Copy 1"_s;
    }
    void copyNames()
    {
        QFETCH(QStringList, existing);
        for (const QString &name : existing)
            add(name);
        QFETCH(QString, source);
        QTEST(copyName(source, *ctx()), "copy");
    }

    void trashedCopiesCountForCopyNames()
    {
        add(u"A"_s);
        moveToTrash({add(u"A Copy"_s)});
        QCOMPARE(copyName(u"A"_s, *ctx()), u"A Copy 1"_s);
    }

    void duplicateCopiesEverythingButIdentity()
    {
        Profile *source = add(u"Web"_s);
        source->setPinned(true);
        source->setNote(u"note"_s);
        Tag *tag = ctx()->insertTag();
        source->addTag(tag);
        for (qint16 priority : {qint16(5), qint16(1)}) {
            Forwarding *forwarding = ctx()->insertForwarding();
            forwarding->edit([&](ForwardingData &d) {
                d.priority = priority;
                d.bindPort = 1000 + priority;
            });
            forwarding->setProfile(source);
        }
        Profile *copy = duplicateProfile(source, *ctx());
        Profile *second = duplicateProfile(source, *ctx());
        QCOMPARE(copy->name(), u"Web Copy"_s);
        QCOMPARE(second->name(), u"Web Copy 1"_s);
        QVERIFY(copy->uuid() != source->uuid());
        QVERIFY(copy->pinned());
        QCOMPARE(copy->note(), u"note"_s);
        QCOMPARE(copy->tags(), QList<Tag *>{tag});
        QCOMPARE(tag->profiles().size(), 3);
        const QList<Forwarding *> forwardings = copy->sortedForwardings();
        QCOMPARE(forwardings.size(), 2);
        QCOMPARE(forwardings[0]->bindPort(), 1001);
        QCOMPARE(forwardings[1]->priority(), 5);
        for (const Forwarding *f : forwardings) {
            for (const Forwarding *original : source->forwardings())
                QVERIFY(f->uuid() != original->uuid());
        }
        QVERIFY(!ctx()->save());
    }

    void tagNamesAndValidation()
    {
        QCOMPARE(newTagName(*ctx()), u"unnamed-tag"_s);
        Tag *first = ctx()->insertTag();
        first->setName(newTagName(*ctx()));
        QCOMPARE(newTagName(*ctx()), u"unnamed-tag 1"_s);

        Tag *prod = ctx()->insertTag();
        prod->setName(u"prod"_s);
        QVERIFY(!validateTagName(u"prod"_s, prod, *ctx()));
        QVERIFY(!validateTagName(u"Prod"_s, nullptr, *ctx()));
        const Status conflict = validateTagName(u"prod"_s, first, *ctx());
        QVERIFY(conflict);
        QCOMPARE(conflict->message, u"Tag name conflict"_s);
        QCOMPARE(conflict->recoverySuggestion, u"Please choose a different name."_s);
        QCOMPARE(conflict->code, 1550);
        const Status blank = validateTagName(u""_s, nullptr, *ctx());
        QVERIFY(blank);
        QCOMPARE(blank->message, u"Tag names can't be blank."_s);
        QCOMPARE(blank->code, 1550);
    }

    void profilesAreResolvedByUuidOrTrimmedName()
    {
        Profile *web = add(u"web"_s);
        Profile *spaced = add(u" db "_s);
        Profile *trashed = add(u"web"_s);
        moveToTrash({trashed});
        add(u"console"_s, u"/dev/tty"_s);

        QCOMPARE(*resolveProfile(*ctx(), u" web\t"_s), web);
        QCOMPARE(*resolveProfile(*ctx(), u"db"_s), spaced);
        QCOMPARE(*resolveProfile(*ctx(), web->scriptUUID()->toLower()), web);
        QCOMPARE(*resolveProfile(*ctx(), web->uuid()->toString()), web);
        QCOMPARE(*resolveProfile(*ctx(), u"web"_s, ProfileScope::trash), trashed);
        QVERIFY(!resolveProfile(*ctx(), web->scriptUUID().value(), ProfileScope::trash));

        const auto missing = resolveProfile(*ctx(), u"console"_s);
        QCOMPARE(missing.error().message, u"No profile “console”."_s);
        QCOMPARE(missing.error().code, profileNotFoundCode);
        const auto twice = resolveProfile(*ctx(), u"web"_s, ProfileScope::all);
        QCOMPARE(twice.error().code, ambiguousProfileCode);
        QCOMPARE(twice.error().message,
                 u"“web” names 2 profiles; use a uuid:\n  %1  web\n  %2  web"_s.arg(
                     *web->scriptUUID(), *trashed->scriptUUID()));

        const auto both = resolveProfiles(*ctx(), {u"db"_s, u"web"_s, *spaced->scriptUUID()});
        QCOMPARE(*both, (QList<Profile *>{spaced, web}));
        const auto failed = resolveProfiles(*ctx(), {u"db"_s, u"nothing"_s, u"web"_s});
        QCOMPARE(failed.error().message, u"No profile “nothing”."_s);
    }

    void startUpCleanUpPurgesExpiredTrashAndTagsWithoutUuid()
    {
        const QDateTime now = QDateTime::currentDateTime();
        add(u"29 days"_s)->setDeletedOn(now.addDays(-29));
        add(u"31 days"_s)->setDeletedOn(now.addDays(-31));
        add(u"live"_s);
        add(u"console"_s, u"/dev/tty"_s);
        add(u"no uuid"_s)->edit([](ProfileData &d) { d.uuid.reset(); });
        Tag *orphan = ctx()->insertTag();
        orphan->edit([](TagData &d) { d.uuid.reset(); });
        Tag *kept = ctx()->insertTag();
        QVERIFY(!ctx()->save());
        QVERIFY(!PersistenceController::purgeExpiredTrash(*ctx()));
        QVERIFY(!PersistenceController::purgeTagsWithoutUUID(*ctx()));
        // Only expired trash goes; records that no listing shows are kept.
        QCOMPARE(names(ctx()->profiles()),
                 (QStringList{u"29 days"_s, u"live"_s, u"console"_s, u"no uuid"_s}));
        QCOMPARE(ctx()->tags(), QList<Tag *>{kept});
        QVERIFY(!ctx()->hasChanges());
    }
};

VELL_TEST_MAIN(QueriesTest)
#include "tst_queries.moc"
