// glib names a member "signals"; its headers come before any of Qt's.
#include <libsecret/secret.h>

#include "keychain.h"
#include "keychainpromptpresenter.h"
#include "testenvironment.h"

using namespace Qt::StringLiterals;

namespace {

PromptRequest request(AuthPromptType type, qint64 attempt, int port = 2222)
{
    PromptRequest r{std::move(type), {}, u"db"_s, {}, port, attempt, QUuid::createUuid(), {}};
    return r;
}

// What a person does when asked: answers with a text (or cancels), and ticks the box or not.
struct Person
{
    explicit Person(std::optional<PromptReply> reply) : reply(std::move(reply)) {}

    std::optional<PromptReply> reply;
    QList<PromptRequest> asked;

    PromptPresenter presenter()
    {
        return [this](const PromptRequest &request, PromptAnswer answer) {
            asked.append(request);
            answer(reply);
        };
    }
};

struct Outcome
{
    bool answered = false;
    std::optional<PromptReply> reply;
};

Outcome present(KeychainPromptPresenter &presenter, const PromptRequest &request)
{
    auto outcome = std::make_shared<Outcome>();
    presenter.present(request, [outcome](std::optional<PromptReply> reply) {
        outcome->answered = true;
        outcome->reply = std::move(reply);
    });
    if (!QTest::qWaitFor([&] { return outcome->answered; }, 30000))
        qFatal("the presenter never answered");
    return *outcome;
}

} // namespace

// Remembered answers in a real Secret Service (the private session's gnome-keyring).
class KeychainTest : public QObject
{
    Q_OBJECT

    std::shared_ptr<Keychain> m_keychain = std::make_shared<Keychain>();

private Q_SLOTS:
    void questionsMapToTheirItems()
    {
        QCOMPARE(keychainItem(request(AuthPrompt::Password{u"alice"_s, u"db.example"_s}, 1)),
                 (KeychainItem{KeychainItem::Kind::internet, u"db.example"_s, 2222, u"alice"_s,
                               u"db.example:2222 (alice)"_s, u"SSH password"_s}));
        QCOMPARE(keychainItem(request(AuthPrompt::PublicKey{u"/k/id_ed25519"_s}, 1)),
                 (KeychainItem{KeychainItem::Kind::generic, u"io.vellssh.identity.passphrase"_s, 0,
                               u"/k/id_ed25519"_s, u"VellSSH: /k/id_ed25519"_s,
                               u"SSH identity passhrase"_s}));
        QCOMPARE(keychainItem(request(AuthPrompt::Interactive{u"bob"_s, u"::"_s, u"Code:"_s}, 1)),
                 (KeychainItem{KeychainItem::Kind::internet, u"[::]"_s, 2222,
                               u"[Code:](io.vellssh.interactive)"_s,
                               u"[::]:2222 [Code:](io.vellssh.interactive)"_s,
                               u"SSH interactive information"_s}));
        QVERIFY(!keychainItem(request(AuthPrompt::Permission{u"(yes/no)?"_s}, 1)));
        QVERIFY(!keychainItem(request(AuthPrompt::Input{u"Token:"_s}, 1)));
        QVERIFY(!keychainItem(request(AuthPrompt::Pkcs11{u"Enter PIN for x"_s}, 1)));
    }

    void itemsAreStoredReplacedAndRemoved()
    {
        const KeychainItem password =
            *keychainItem(request(AuthPrompt::Password{u"u"_s, u"h"_s}, 1));
        const KeychainItem otherPort =
            *keychainItem(request(AuthPrompt::Password{u"u"_s, u"h"_s}, 1, 22));
        const KeychainItem passphrase = *keychainItem(request(AuthPrompt::PublicKey{u"/k"_s}, 1));
        QVERIFY(!m_keychain->find(password));
        QCOMPARE(m_keychain->store(password, u"first"_s), std::nullopt);
        QCOMPARE(m_keychain->store(password, u"sécond"_s), std::nullopt);
        QCOMPARE(m_keychain->store(passphrase, u"phrase"_s), std::nullopt);
        QCOMPARE(m_keychain->find(password), u"sécond"_s);
        QCOMPARE(m_keychain->find(passphrase), u"phrase"_s);
        QVERIFY(!m_keychain->find(otherPort));

        QCOMPARE(m_keychain->remove(password), std::nullopt);
        QVERIFY(!m_keychain->find(password));
        QCOMPARE(m_keychain->find(passphrase), u"phrase"_s);
    }

    void aPasswordKeptWithoutItsPortMovesToThePortsItem()
    {
        GError *error = nullptr;
        QVERIFY(secret_password_store_sync(SECRET_SCHEMA_COMPAT_NETWORK, SECRET_COLLECTION_DEFAULT,
                                           "old", "kept", nullptr, &error, "server", "old.host",
                                           "protocol", "ssh", "user", "carol", nullptr));
        const KeychainItem item =
            *keychainItem(request(AuthPrompt::Password{u"carol"_s, u"old.host"_s}, 1));
        QCOMPARE(m_keychain->find(item), u"kept"_s);
        // Moved, not copied: with the new item gone, nothing is left to find.
        QCOMPARE(m_keychain->remove(item), std::nullopt);
        QVERIFY(!m_keychain->find(item));
    }

    void storedAnswersAreUsedOnlyAtTheFirstAttempt()
    {
        Person person{PromptReply(u"typed"_s)};
        KeychainPromptPresenter presenter(m_keychain, person.presenter());
        const PromptRequest first = request(AuthPrompt::PublicKey{u"/keys/a"_s}, 1);
        QCOMPARE(m_keychain->store(*keychainItem(first), u"stored"_s), std::nullopt);

        QCOMPARE(present(presenter, first).reply->text, u"stored"_s);
        QVERIFY(person.asked.isEmpty());

        const PromptRequest second = request(AuthPrompt::PublicKey{u"/keys/a"_s}, 2);
        QCOMPARE(present(presenter, second).reply->text, u"typed"_s);
        QCOMPARE(person.asked.size(), 1);
        // An answer the person did not ask to remember leaves the stored one as it was.
        QCOMPARE(m_keychain->find(*keychainItem(first)), u"stored"_s);
    }

    void aRememberedAnswerIsStoredAndACancelDeletesNothing()
    {
        Person person{PromptReply(u"s3cret"_s, true)};
        KeychainPromptPresenter presenter(m_keychain, person.presenter());
        const PromptRequest asked = request(AuthPrompt::Password{u"dave"_s, u"new.host"_s}, 1);
        QCOMPARE(present(presenter, asked).reply->text, u"s3cret"_s);
        QCOMPARE(person.asked.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_keychain->find(*keychainItem(asked)), u"s3cret"_s, 30000);

        person.reply = std::nullopt;
        QVERIFY(
            !present(presenter, request(AuthPrompt::Password{u"dave"_s, u"new.host"_s}, 2)).reply);
        QCOMPARE(m_keychain->find(*keychainItem(asked)), u"s3cret"_s);
    }

    // The answer goes to the collection the default alias names. A keyring that never made its
    // "login" collection is asked for a default one; when it cannot make one, the reason is
    // told, not only logged.
    void aRememberedAnswerGoesToTheDefaultCollectionOrSaysWhy()
    {
        Person person{PromptReply(u"kept"_s, true)};
        QStringList told;
        KeychainPromptPresenter presenter(
            m_keychain, person.presenter(),
            [&](const PromptRequest &, const QString &problem) { told.append(problem); });
        const PromptRequest asked = request(AuthPrompt::PublicKey{u"/keys/remembered"_s}, 1);
        QCOMPARE(present(presenter, asked).reply->text, u"kept"_s);

        const bool withoutLogin = qEnvironmentVariable("VELL_KEYRING") == u"empty"_s;
        GError *error = nullptr;
        SecretService *service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
        QVERIFY(service);
        SecretCollection *collection = secret_collection_for_alias_sync(
            service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
        if (collection || !withoutLogin) {
            QVERIFY(collection);
            QTRY_COMPARE_WITH_TIMEOUT(m_keychain->find(*keychainItem(asked)), u"kept"_s, 30000);
            QVERIFY(told.isEmpty());
            g_object_unref(collection);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(told.size(), 1, 30000);
            QVERIFY2(told.first().startsWith(
                         u"The keychain has no default collection, and the Secret Service did "
                         "not make one: "_s),
                     qPrintable(told.first()));
            QVERIFY(!m_keychain->find(*keychainItem(asked)));
        }
        g_object_unref(service);
    }

    void questionsThatAreNeverStoredGoStraightToThePerson()
    {
        Person person{PromptReply(u"yes"_s, true)};
        KeychainPromptPresenter presenter(m_keychain, person.presenter());
        QCOMPARE(
            present(presenter, request(AuthPrompt::Permission{u"(yes/no)? "_s}, 1)).reply->text,
            u"yes"_s);
        QCOMPARE(person.asked.size(), 1);
    }
};

VELL_TEST_MAIN(KeychainTest)
#include "tst_keychain.moc"
