#include "keychain.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "promptdialogs.h"
#include "promptquestiondialog.h"
#include "queries.h"
#include "sessioncontainer.h"
#include "settings.h"
#include "sshdfixture.h"
#include "testenvironment.h"
#include "vellappdelegate.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    bool answered = false;
    std::optional<PromptReply> reply;
};

QList<PromptQuestionDialog *> dialogsOnScreen()
{
    QList<PromptQuestionDialog *> shown;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<PromptQuestionDialog *>(widget);
            dialog && dialog->isVisible())
            shown.append(dialog);
    }
    return shown;
}

bool showsText(const QWidget &dialog, const QString &text)
{
    const QList<QLabel *> labels = dialog.findChildren<QLabel *>();
    return std::any_of(labels.begin(), labels.end(),
                       [&](const QLabel *label) { return label->text() == text; });
}

QLabel *labelWithText(const QWidget &dialog, const QString &text)
{
    const QList<QLabel *> labels = dialog.findChildren<QLabel *>();
    const auto found = std::find_if(labels.begin(), labels.end(),
                                    [&](const QLabel *label) { return label->text() == text; });
    return found == labels.end() ? nullptr : *found;
}

} // namespace

// The prompt dialogs, alone and as the application's presenter for runs against a private sshd,
// with the keychain of a private Secret Service.
class PromptDialogsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SshdFixture> m_sshd;
    std::unique_ptr<VellAppDelegate> m_app;
    std::unique_ptr<PromptDialogs> m_dialogs;
    QObject m_standing;

    Profile *addProfile(const QString &name)
    {
        ObjectContext *context = m_app->store().mainContext();
        Profile *p = context->insertProfile();
        p->setName(name);
        p->setAddress(u"127.0.0.1"_s);
        p->setUser(u"root"_s);
        p->setPort(m_sshd->port());
        p->setStringOption(m_sshd->passphraseKey(), u"IdentityFile"_s);
        [&] { QVERIFY(!context->save()); }();
        return p;
    }

    TunnelSession *connectNew(const QString &name)
    {
        TunnelSession *session = m_app->container().session(*addProfile(name)->uuid());
        session->connect();
        return session;
    }

    KeychainItem passphraseItem() const
    {
        PromptRequest request{
            AuthPrompt::PublicKey{m_sshd->passphraseKey()}, {}, {}, {}, 22, 1, {}, {}};
        return *keychainItem(request);
    }

    PromptQuestionDialog *waitForDialog()
    {
        if (!QTest::qWaitFor([this] { return m_dialogs->currentDialog(); }, 30000))
            return nullptr;
        return m_dialogs->currentDialog();
    }

    static void answer(PromptQuestionDialog *dialog, const QString &text)
    {
        QTest::keyClicks(dialog->field(), text);
        QTest::keyClick(dialog->field(), Qt::Key_Return);
    }

    std::shared_ptr<Outcome> ask(AuthPromptType type, const QString &prompt = {},
                                 qint64 attempt = 1)
    {
        auto outcome = std::make_shared<Outcome>();
        m_dialogs->present({std::move(type), prompt, u"db"_s, u"root@db.example:2222"_s, 2222,
                            attempt, QUuid::createUuid(), &m_standing},
                           [outcome](std::optional<PromptReply> reply) {
                               outcome->answered = true;
                               outcome->reply = std::move(reply);
                           });
        return outcome;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sshd = std::make_unique<SshdFixture>(QDir::tempPath() + u"/sshd"_s);
        const QString problem = m_sshd->start();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        VellAppDelegate::Options options{
            QDir::tempPath() + u"/store.sqlite"_s, QDir::tempPath() + u"/VellSSH.conf"_s,
            QStringLiteral(VELLSSH_SERVICE), QStringLiteral(VELLSSH_ASKPASS), false};
        auto app = VellAppDelegate::start(options);
        QVERIFY2(app, qPrintable(app ? QString() : app.error().message));
        m_app = std::move(app).value();
        QVERIFY(!m_app->settings().set(SettingKeys::userConfigFilePath, m_sshd->askingConfig()));
        m_dialogs = std::make_unique<PromptDialogs>();
        m_app->setPromptPresenter(m_dialogs->presenter());
    }

    void cleanupTestCase()
    {
        m_app.reset();
        m_dialogs.reset();
        m_sshd.reset();
    }

    void init() { Keychain().remove(passphraseItem()); }

    void eachKindOfQuestionHasItsWordsAndAnswers_data()
    {
        QTest::addColumn<AuthPromptType>("type");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("remember");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("returned");
        const QString place = u" — db — root@db.example:2222"_s;
        QTest::newRow("password") << AuthPromptType(
                                         AuthPrompt::Password{u"root"_s, u"db.example"_s})
                                  << u"Authentication"_s + place
                                  << u"Enter root@db.example's password:"_s << u"Password:"_s
                                  << u"Remember the password in keychain"_s << u"pw"_s << u"pw"_s;
        QTest::newRow("passphrase")
            << AuthPromptType(AuthPrompt::PublicKey{u"/k/id"_s}) << u"Authentication"_s + place
            << u"Enter passphrase for key: /k/id"_s << u"Passphrase:"_s
            << u"Remember the passphrase in keychain"_s << u"phrase"_s << u"phrase"_s;
        QTest::newRow("keyboard-interactive")
            << AuthPromptType(AuthPrompt::Interactive{u"root"_s, u"db.example"_s, u"Code:"_s})
            << u"Authentication"_s + place << u"Answer root@db.example's question:"_s << u"Code:"_s
            << u"Remember the answer in keychain"_s << u"123"_s << u"123"_s;
        QTest::newRow("input") << AuthPromptType(AuthPrompt::Input{u"Token?"_s})
                               << u"Input Required"_s + place << u"Token?"_s << u"Input:"_s
                               << QString() << u"t"_s << u"t"_s;
        QTest::newRow("PIN") << AuthPromptType(AuthPrompt::Pkcs11{u"Enter PIN for card:"_s})
                             << u"Input Required"_s + place << u"Enter PIN for card:"_s
                             << u"Input:"_s << QString() << u"1234"_s << u"1234"_s;
        // The buttons answer: what a terminal would type is left out of the question.
        QTest::newRow("host key") << AuthPromptType(AuthPrompt::Permission{u"Continue (yes/no)?"_s})
                                  << u"Confirmation"_s + place << u"Continue?"_s << QString()
                                  << QString() << QString() << u"no"_s;
    }
    void eachKindOfQuestionHasItsWordsAndAnswers()
    {
        QFETCH(AuthPromptType, type);
        QFETCH(QString, header);
        QFETCH(QString, message);
        QFETCH(QString, field);
        QFETCH(QString, remember);
        QFETCH(QString, typed);
        QFETCH(QString, returned);
        const bool confirmation = field.isEmpty();

        const auto answered = ask(type);
        PromptQuestionDialog *dialog = m_dialogs->currentDialog();
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        QCOMPARE(dialog->windowTitle(), header);
        QVERIFY(showsText(*dialog, header));
        QVERIFY(showsText(*dialog, message));
        QCOMPARE(dialog->defaultButton()->text(), confirmation ? u"No"_s : u"OK"_s);
        QCOMPARE(dialog->alternateButton()->text(), confirmation ? u"Yes"_s : u"Cancel"_s);
        QCOMPARE(bool(dialog->rememberBox()), !remember.isEmpty());
        if (dialog->rememberBox())
            QCOMPARE(dialog->rememberBox()->text(), remember);
        QCOMPARE(bool(dialog->field()), !confirmation);
        if (confirmation) {
            QTest::keyClick(dialog, Qt::Key_Return);
        } else {
            QVERIFY(showsText(*dialog, field));
            QCOMPARE(dialog->field()->echoMode(), QLineEdit::Password);
            answer(dialog, typed);
        }
        QVERIFY(answered->answered);
        QCOMPARE(answered->reply->text, returned);
        QVERIFY(!answered->reply->remember);
        QTRY_VERIFY(dialogsOnScreen().isEmpty());

        const auto cancelled = ask(type);
        QVERIFY(m_dialogs->currentDialog());
        QTest::keyClick(m_dialogs->currentDialog(), Qt::Key_Escape);
        QVERIFY(cancelled->answered);
        QVERIFY(!cancelled->reply);
    }

    // Measured, then answered before anything is checked, so that no dialog stays behind.
    void theWordsTakeTheWidthAndTheFieldStandsApart()
    {
        const QString question =
            u"The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be "
            "established.\nED25519 key fingerprint is SHA256:abc.\nAre you sure you want to "
            "continue connecting (yes/no/[fingerprint])? "_s;
        ask(AuthPrompt::Permission{question});
        PromptQuestionDialog *confirmation = m_dialogs->currentDialog();
        const bool exposed = QTest::qWaitForWindowExposed(confirmation);
        const QLabel *message = labelWithText(
            *confirmation, QString(question).replace(u" (yes/no/[fingerprint])"_s, QString()));
        const int messageWidth = message ? message->width() : 0;
        const int dialogWidth = confirmation->width();
        QTest::keyClick(confirmation, Qt::Key_Escape);
        QVERIFY(exposed);
        QVERIFY2(messageWidth > dialogWidth * 2 / 3,
                 qPrintable(u"%1 of %2"_s.arg(messageWidth).arg(dialogWidth)));

        ask(AuthPrompt::Password{u"root"_s, u"db.example"_s});
        PromptQuestionDialog *password = m_dialogs->currentDialog();
        QVERIFY(QTest::qWaitForWindowExposed(password));
        const QLabel *label = labelWithText(*password, u"Password:"_s);
        const int gap = label ? password->field()->x() - label->geometry().right() : 0;
        QTest::keyClick(password, Qt::Key_Escape);
        QVERIFY(gap > 4);
    }

    void aHostKeyIsAcceptedOnlyByYes()
    {
        const auto answered = ask(AuthPrompt::Permission{u"Continue (yes/no)?"_s});
        QTest::mouseClick(m_dialogs->currentDialog()->alternateButton(), Qt::LeftButton);
        QCOMPARE(answered->reply->text, u"yes"_s);
    }

    void aQuestionAskedAgainSaysTheAnswerWasNotAccepted_data()
    {
        QTest::addColumn<AuthPromptType>("type");
        QTest::addColumn<QString>("note");
        QTest::newRow("password") << AuthPromptType(AuthPrompt::Password{u"root"_s, u"db"_s})
                                  << u"The password was not accepted. Try again."_s;
        QTest::newRow("passphrase") << AuthPromptType(AuthPrompt::PublicKey{u"/k/id"_s})
                                    << u"The passphrase was not accepted. Try again."_s;
        QTest::newRow("keyboard-interactive")
            << AuthPromptType(AuthPrompt::Interactive{u"root"_s, u"db"_s, u"Code:"_s})
            << u"The answer was not accepted. Try again."_s;
    }
    void aQuestionAskedAgainSaysTheAnswerWasNotAccepted()
    {
        QFETCH(AuthPromptType, type);
        QFETCH(QString, note);
        for (const qint64 attempt : {1, 2}) {
            const auto answered = ask(type, {}, attempt);
            PromptQuestionDialog *dialog = m_dialogs->currentDialog();
            QVERIFY(dialog);
            const auto close = qScopeGuard([&] { QTest::keyClick(dialog, Qt::Key_Escape); });
            QCOMPARE(showsText(*dialog, note), attempt > 1);
            const QString folder = qEnvironmentVariable("VELL_SCREENSHOT_DIR");
            if (attempt > 1 && !folder.isEmpty()) {
                QVERIFY(QTest::qWaitForWindowExposed(dialog));
                QVERIFY(dialog->grab().save(
                    folder +
                    u"/asked-again-%1.png"_s.arg(QString::fromLatin1(QTest::currentDataTag()))));
            }
        }
    }

    // The host-key question with its fingerprint lines uses the width of its window instead of
    // wrapping every few words.
    void aLongQuestionIsLaidOutAcrossTheWindow()
    {
        const QString question =
            u"The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be "
            "established.\nED25519 key fingerprint is "
            "SHA256:9f3kQm1cR0aV6YlB2yq8m1TzX4c6sH1y2pD4Jw0Uu7E.\nThis key is not known by any "
            "other names.\nAre you sure you want to continue connecting (yes/no/[fingerprint])?"_s;
        const auto answered = ask(AuthPrompt::Permission{question}, question);
        PromptQuestionDialog *dialog = m_dialogs->currentDialog();
        const auto close = qScopeGuard([&] { QTest::keyClick(dialog, Qt::Key_Escape); });
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const QString folder = qEnvironmentVariable("VELL_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            QVERIFY(dialog->grab().save(folder + u"/host-key-question.png"_s));
        const QList<QLabel *> labels = dialog->findChildren<QLabel *>();
        const auto fingerprint = std::find_if(labels.begin(), labels.end(), [](QLabel *label) {
            return label->text().contains(u"SHA256:"_s);
        });
        QVERIFY(fingerprint != labels.end());
        const QFontMetrics metrics((*fingerprint)->font());
        const QString line = u"ED25519 key fingerprint is "
                             "SHA256:9f3kQm1cR0aV6YlB2yq8m1TzX4c6sH1y2pD4Jw0Uu7E."_s;
        QVERIFY2((*fingerprint)->width() >= metrics.horizontalAdvance(line),
                 "the fingerprint line is wrapped");
        QVERIFY((*fingerprint)->geometry().right() > dialog->width() * 2 / 3);
    }

    void thePassphraseTypedInTheDialogConnects()
    {
        TunnelSession *session = connectNew(u"alpha"_s);
        PromptQuestionDialog *dialog = waitForDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->words().header,
                 u"Authentication — alpha — root@127.0.0.1:%1"_s.arg(m_sshd->port()));
        QCOMPARE(session->statusSummary(), u"Waiting for passphrase"_s);
        answer(dialog, u"labpass"_s);
        QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::connected, 30000);
        QVERIFY(!m_dialogs->currentDialog());
        QVERIFY(!Keychain().find(passphraseItem()));
        session->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::disconnected, 30000);
    }

    void cancellingFailsTheRun()
    {
        TunnelSession *session = connectNew(u"cancelled"_s);
        PromptQuestionDialog *dialog = waitForDialog();
        QVERIFY(dialog);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::abnormalDisconnect, 30000);
        QCOMPARE(session->statusSummary(), u"Authentication cancelled."_s);
        QVERIFY(!m_dialogs->currentDialog());
    }

    void aDialogWhoseRunEndsClosesItself_data()
    {
        QTest::addColumn<bool>("trash");
        QTest::newRow("the user disconnects") << false;
        QTest::newRow("the profile goes to the trash") << true;
    }
    void aDialogWhoseRunEndsClosesItself()
    {
        QFETCH(bool, trash);
        TunnelSession *session = connectNew(u"ended"_s);
        const QPointer<PromptQuestionDialog> dialog = waitForDialog();
        QVERIFY(dialog);
        if (trash) {
            moveToTrash({session->profile()});
            m_app->store().mainContext()->processPendingChanges();
        } else {
            session->disconnect();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialogs->currentDialog(), 30000);
        QVERIFY(dialogsOnScreen().isEmpty());
        QTRY_VERIFY(!dialog);
    }

    void questionsOfTwoTunnelsComeOneAfterTheOther()
    {
        TunnelSession *first = connectNew(u"first"_s);
        TunnelSession *second = connectNew(u"second"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_dialogs->waitingCount(), 1, 30000);
        QCOMPARE(dialogsOnScreen(), QList{m_dialogs->currentDialog()});
        QStringList named;
        for (int i = 0; i < 2; ++i) {
            PromptQuestionDialog *dialog = waitForDialog();
            QVERIFY(dialog);
            named.append(dialog->words().header.section(u" — "_s, 1, 1));
            answer(dialog, u"labpass"_s);
        }
        named.sort();
        QCOMPARE(named, (QStringList{u"first"_s, u"second"_s}));
        for (TunnelSession *session : {first, second}) {
            QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::connected, 30000);
            session->disconnect();
            QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::disconnected, 30000);
        }
    }

    void theRememberBoxKeepsThePassphraseInTheKeychain()
    {
        TunnelSession *session = connectNew(u"remembered"_s);
        PromptQuestionDialog *dialog = waitForDialog();
        QVERIFY(dialog);
        QTest::mouseClick(dialog->rememberBox(), Qt::LeftButton);
        QVERIFY(dialog->rememberBox()->isChecked());
        answer(dialog, u"labpass"_s);
        QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::connected, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(Keychain().find(passphraseItem()), u"labpass"_s, 30000);
        session->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::disconnected, 30000);

        // The next run finds the answer without asking.
        int shown = 0;
        QObject watching;
        connect(m_dialogs.get(), &PromptDialogs::dialogShown, &watching, [&shown] { ++shown; });
        session->connect();
        QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::connected, 30000);
        QCOMPARE(shown, 0);
        session->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::disconnected, 30000);
    }
};

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    QApplication app(argc, argv);
    PromptDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_promptdialogs.moc"
