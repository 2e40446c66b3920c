#include "authprompt.h"
#include "handshakegate.h"
#include "promptrequest.h"
#include "sessionstate.h"
#include "testenvironment.h"
#include "textstorageloghandler.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;
namespace P = AuthPrompt;

class SessionPartsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statesAndTheirGroups()
    {
        QVERIFY(!sessionStateFromRaw(u"Connected"_s));
        int idle = 0;
        int inProgress = 0;
        for (SessionState state : allSessionStates) {
            QCOMPARE(sessionStateFromRaw(rawValue(state)), state);
            idle += isIdle(state);
            inProgress += isInProgress(state);
        }
        QCOMPARE(idle, 3);
        QCOMPARE(inProgress, 6);
        QVERIFY(isIdle(SessionState::abnormalDisconnect));
        QCOMPARE(logLevelOfChange(SessionState::abnormalDisconnect), Logger::Level::critical);
    }

    void promptClassification_data()
    {
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<AuthPromptType>("type");
        QTest::newRow("passphrase") << u"Enter passphrase for key '/home/me/.ssh/id ed': "_s
                                    << AuthPromptType(P::PublicKey{u"/home/me/.ssh/id ed"_s});
        QTest::newRow("short passphrase prompt")
            << u"Enter passphrase for key"_s << AuthPromptType(P::PublicKey{QString()});
        QTest::newRow("password") << u"labuser@127.0.0.1's password: "_s
                                  << AuthPromptType(P::Password{u"labuser"_s, u"127.0.0.1"_s});
        QTest::newRow("bare password request")
            << u"Password: "_s << AuthPromptType(P::Input{u"Password: "_s});
        QTest::newRow("interactive")
            << u"Answer u@h's question - Verification code: "_s
            << AuthPromptType(P::Interactive{u"u"_s, u"h"_s, u"Verification code: "_s});
        QTest::newRow("host key")
            << u"The authenticity of host 'h (1.2.3.4)' can't be established.\nAre you sure you "
               "want to continue connecting (yes/no/[fingerprint])? "_s
            << AuthPromptType(P::Permission{
                   u"The authenticity of host 'h (1.2.3.4)' can't be established.\nAre you sure "
                   "you want to continue connecting (yes/no/[fingerprint])? "_s});
        QTest::newRow("pin") << u"Enter PIN for 'token': "_s
                             << AuthPromptType(P::Pkcs11{u"Enter PIN for 'token': "_s});
    }
    void promptClassification()
    {
        QFETCH(QString, prompt);
        QTEST(classifyPrompt(prompt), "type");
    }

    void connectionLogLines()
    {
        ConnectionLog log;
        auto handler = std::make_shared<TextStorageLogHandler>(&log);
        handler->setLogLevel(Logger::Level::info);
        Logger logger(handler);
        logger.log(Logger::Level::debug, u"hidden"_s);
        QVERIFY(log.lines().isEmpty());
        logger.log(Logger::Level::notice, u"Connected"_s);
        logger.log(Logger::Level::error, u"from the client"_s, Logger::standardError);
        logger.log(Logger::Level::info, u"ignored text"_s, Logger::rule);
        logger.log(Logger::Level::info, u"Equivalent Command: ssh"_s, Logger::standardError);
        const QString text = log.toPlainText();
        QVERIFY(!text.startsWith(u'\n'));
        const QStringList lines = text.split(u'\n');
        QCOMPARE(lines.size(), 5);
        QVERIFY(
            QRegularExpression(u"^\\d\\d:\\d\\d:\\d\\d Connected$"_s).match(lines[0]).hasMatch());
        QCOMPARE(lines[1], u"from the client"_s);
        // The rule is its six characters, its own line feed among them, and an empty line.
        QCOMPARE(log.lines()[2].text(), u"\u00a0 \t \u00a0\n"_s);
        QVERIFY(log.lines()[2].isRule);
        QCOMPARE(lines[3], QString());
        QCOMPARE(lines[4], u"Equivalent Command: ssh"_s);
        QCOMPARE(log.characterCount(), text.size());
    }

    void dialogsSpeakThePromptsWords()
    {
        PromptRequest request;
        request.type = P::Password{u"u"_s, u"h"_s};
        request.sessionName = u"db"_s;
        request.info = u"u@h:22"_s;
        QCOMPARE(promptDialog(request),
                 (PromptDialog{u"Authentication"_s, u"Authentication — db — u@h:22"_s,
                               u"Enter u@h's password:"_s, u"Password"_s,
                               u"Remember the password in keychain"_s, u"OK"_s, u"Cancel"_s}));
        request.type = P::PublicKey{u"/k/id"_s};
        request.info.clear();
        QCOMPARE(promptDialog(request),
                 (PromptDialog{u"Authentication"_s, u"Authentication — db"_s,
                               u"Enter passphrase for key: /k/id"_s, u"Passphrase"_s,
                               u"Remember the passphrase in keychain"_s, u"OK"_s, u"Cancel"_s}));
        request.type = P::Interactive{u"u"_s, u"h"_s, u"Code: "_s};
        QCOMPARE(promptDialog(request).field, u"Code: "_s);
        request.type = P::Permission{u"Continue (yes/no)? "_s};
        request.sessionName.clear();
        QCOMPARE(promptDialog(request),
                 (PromptDialog{u"Confirmation"_s, u"Confirmation"_s, u"Continue (yes/no)? "_s,
                               std::nullopt, std::nullopt, u"No"_s, u"Yes"_s}));
        request.type = P::Pkcs11{u"Enter PIN for 't': "_s};
        QCOMPARE(promptDialog(request),
                 (PromptDialog{u"Input Required"_s, u"Input Required"_s, u"Enter PIN for 't': "_s,
                               u"Input"_s, std::nullopt, u"OK"_s, u"Cancel"_s}));
    }

    void theGateAdmitsAFewPerServerInTheirOrder()
    {
        HandshakeGate gate;
        QList<int> admitted;
        std::vector<std::unique_ptr<HandshakeGate::Pass>> passes;
        for (int i = 0; i < HandshakeGate::perServer + 3; ++i)
            passes.push_back(gate.enter(u"a"_s, this, [&admitted, i] { admitted.append(i); }));
        auto elsewhere = gate.enter(u"b"_s, this, [&admitted] { admitted.append(-1); });
        QCOMPARE(admitted.size(), HandshakeGate::perServer + 1);
        QCOMPARE(admitted.last(), -1);

        // A waiting pass given up never gets in; the next in line does, once a place frees.
        passes[HandshakeGate::perServer].reset();
        passes[0].reset();
        QTRY_COMPARE(admitted.last(), HandshakeGate::perServer + 1);
        passes[1].reset();
        QTRY_COMPARE(admitted.last(), HandshakeGate::perServer + 2);
        QCOMPARE(admitted.size(), HandshakeGate::perServer + 3);
        QVERIFY(!admitted.contains(HandshakeGate::perServer));
    }

    void theLogDropsItsOlderHalfPastTheLimit()
    {
        ConnectionLog log;
        QSignalSpy removed(&log, &ConnectionLog::linesRemoved);
        const QString chunk(999, u'x');
        int appended = 0;
        while (log.characterCount() <= ConnectionLog::characterLimit) {
            log.append({Logger::Level::info, std::nullopt, chunk + QString::number(appended % 10)});
            ++appended;
        }
        QCOMPARE(removed.count(), 0);
        log.append({Logger::Level::info, std::nullopt, u"last"_s});
        QCOMPARE(removed.count(), 1);
        QVERIFY(log.characterCount() <= ConnectionLog::characterLimit / 2 + 2000);
        QCOMPARE(log.characterCount(), log.toPlainText().size());
        QVERIFY(log.toPlainText().startsWith(chunk));
        QCOMPARE(log.lines().last().message, u"last"_s);
    }
};

VELL_TEST_MAIN(SessionPartsTest)
#include "tst_sessionparts.moc"
