#include "connectionlogview.h"
#include "handshakegate.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "queries.h"
#include "servicepool.h"
#include "sessioncontainer.h"
#include "sessioninspector.h"
#include "sshclientconfig.h"
#include "sshdfixture.h"
#include "testenvironment.h"

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>

using namespace Qt::StringLiterals;

namespace {

QColor colourOf(const QTextBlock &block)
{
    return block.begin().fragment().charFormat().foreground().color();
}

QTextBlock blockEndingWith(const QTextDocument &document, const QString &text)
{
    for (QTextBlock block = document.lastBlock(); block.isValid(); block = block.previous()) {
        if (block.text().endsWith(text))
            return block;
    }
    return {};
}

// The text at the top of what the reader sees.
QString topLine(const ConnectionLogView &view)
{
    return view.cursorForPosition(QPoint(4, 4)).block().text();
}

bool valuesFitTheirRows(const SessionInspector &inspector)
{
    const QList<QLabel *> labels = inspector.findChildren<QLabel *>();
    return std::all_of(labels.begin(), labels.end(), [](const QLabel *label) {
        return label->accessibleName().isEmpty() || !label->isVisible() ||
               label->height() >= label->heightForWidth(label->width());
    });
}

void appendLines(ConnectionLog &log, int count, const QString &prefix)
{
    TextStorageLogHandler handler(&log);
    for (int i = 0; i < count; ++i)
        handler.log({Logger::Level::info, prefix + u" line %1 "_s.arg(i) + QString(80, u'x'),
                     Logger::vanilla});
}

} // namespace

// The inspector and its connection log, on sessions that run against a private sshd.
class SessionInspectorTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SshdFixture> m_sshd;
    std::unique_ptr<PersistenceController> m_store;
    HandshakeGate m_gate;
    ServicePool m_pool;
    std::unique_ptr<SessionContainer> m_container;

    Profile *addProfile(const QString &name, const QString &key = {})
    {
        ObjectContext *context = m_store->mainContext();
        Profile *p = context->insertProfile();
        p->setName(name);
        p->setAddress(u"127.0.0.1"_s);
        p->setUser(u"root"_s);
        p->setPort(m_sshd->port());
        p->setStringOption(key.isEmpty() ? m_sshd->clientKey() : key, u"IdentityFile"_s);
        [&] { QVERIFY(!context->save()); }();
        return p;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sshd = std::make_unique<SshdFixture>(QDir::tempPath() + u"/sshd"_s);
        const QString problem = m_sshd->start();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        m_store = std::move(PersistenceController::openInMemory()).value();
        const QString config = m_sshd->clientConfig();
        auto invocation = [config] {
            return InvocationInputs{SSHClientConfig::shared().knownOptionNameSet(),
                                    QDir::homePath() + u"/.ssh"_s, config};
        };
        auto environment = [] {
            ChildEnvironmentInputs inputs;
            inputs.askPassProgram = QStringLiteral(VELLSSH_ASKPASS);
            return inputs;
        };
        m_container = std::make_unique<SessionContainer>(
            m_store->mainContext(), invocation, SSHClientConfig::shared().strictOptionNames(),
            SecureSession::Services{
                QStringLiteral(VELLSSH_SERVICE), environment, nullptr, {}, &m_gate, &m_pool});
    }

    void cleanupTestCase()
    {
        m_container.reset();
        m_sshd.reset();
    }

    void theInspectorFollowsARunAndOutlivesItsSession()
    {
        SessionInspector inspector(m_container.get());
        inspector.resize(520, 720);
        inspector.show();
        QVERIFY(!inspector.isShowingSession());
        Profile *p = addProfile(u"inspected"_s);
        inspector.setProfile(p);
        TunnelSession *session = inspector.session();
        QVERIFY(session);
        QCOMPARE(m_container->existingSession(*p->uuid()), session);
        QVERIFY(inspector.isShowingSession());
        QCOMPARE(inspector.rowText(u"State:"_s), u"Not Connected"_s);
        QCOMPARE(inspector.rowText(u"Server to Client Cipher:"_s), u"—"_s);
        QCOMPARE(inspector.rowText(u"Host Key:"_s), std::nullopt);
        QVERIFY(inspector.logView()->toPlainText().contains(u" ## inspected ##"_s));

        session->connect();
        QTRY_COMPARE_WITH_TIMEOUT(inspector.rowText(u"State:"_s), u"Connected"_s, 30000);
        QCOMPARE(inspector.rowText(u"Destination:"_s), u"127.0.0.1"_s);
        QCOMPARE(inspector.rowText(u"Server to Client Cipher:"_s), session->cipherStoC());
        QCOMPARE(inspector.rowText(u"Client to Server Cipher:"_s), session->cipherCtoS());
        QVERIFY(session->cipherStoC() && !session->cipherStoC()->isEmpty());
        QCOMPARE(inspector.rowText(u"Authentications:"_s),
                 u"publickey("_s + m_sshd->clientKey() + u')');
        QVERIFY(inspector.rowText(u"Host Key:"_s)->startsWith(u"ssh-ed25519 SHA256:"_s));
        // As narrow as the pane may get, the long values wrap onto more lines; none is cut to
        // one line.
        inspector.resize(inspector.minimumWidth(), 720);
        QVERIFY(inspector.minimumSizeHint().width() <= inspector.minimumWidth());
        QTRY_VERIFY(valuesFitTheirRows(inspector));
        // At the narrowest the fingerprint is shortened in the middle, not cut off.
        inspector.resize(inspector.minimumSizeHint().width(), 720);
        const auto *hostKey = inspector.findChild<QLabel *>(u"hostKey"_s);
        QTRY_VERIFY(hostKey->text().contains(u'…'));
        QCOMPARE(hostKey->toolTip(), *session->hostKey());
        QVERIFY(hostKey->fontMetrics().horizontalAdvance(hostKey->text()) <=
                hostKey->contentsRect().width());
        QVERIFY(hostKey->mapTo(&inspector, hostKey->rect().topRight()).x() < inspector.width());
        inspector.resize(520, 720);
        // The rule is drawn, not written.
        QCOMPARE(inspector.logView()->toPlainText(),
                 session->connectionLog()->toPlainText().remove(u"\u00a0 \t \u00a0"_s));
        const QTextDocument &document = *inspector.logView()->document();
        QVERIFY(blockEndingWith(document, u"Equivalent Command: "_s + session->equivalentCommand())
                    .isValid());
        QCOMPARE(colourOf(blockEndingWith(document, u" Connected"_s)),
                 ConnectionLogView::lineColour(Logger::Level::notice, inspector.palette()));

        // Lines show as they are written, without waiting for anything.
        session->logMessage(Logger::Level::warning, u"a live line"_s);
        QVERIFY(document.lastBlock().text().endsWith(u" a live line"_s));
        QCOMPARE(colourOf(document.lastBlock()), QColor(255, 149, 0));

        session->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(inspector.rowText(u"State:"_s), u"Disconnected"_s, 30000);
        QVERIFY(document.lastBlock().text().endsWith(u" Disconnected"_s));

        moveToTrash({p});
        m_store->mainContext()->processPendingChanges();
        QVERIFY(!inspector.session());
        QVERIFY(!inspector.isShowingSession());
        QVERIFY(inspector.logView()->document()->isEmpty());

        recover({p}, *m_store->mainContext());
        m_store->mainContext()->processPendingChanges();
        QVERIFY(m_container->session(*p->uuid()));
        QCOMPARE(inspector.session(), m_container->existingSession(*p->uuid()));
        QCOMPARE(inspector.rowText(u"State:"_s), u"Not Connected"_s);

        inspector.setProfile(nullptr);
        QVERIFY(!inspector.isShowingSession());
    }

    void aFailedRunSaysWhy()
    {
        SessionInspector inspector(m_container.get());
        inspector.show();
        TunnelSession *session =
            m_container->session(*addProfile(u"refused"_s, m_sshd->otherKey())->uuid());
        inspector.setSession(session);
        const auto *summary = inspector.findChild<QLabel *>(u"summary"_s);
        QVERIFY(summary->isHidden());
        session->connect();
        QTRY_COMPARE_WITH_TIMEOUT(inspector.rowText(u"State:"_s), u"Unexpectedly disconnected."_s,
                                  30000);
        QCOMPARE(summary->text(), u"root@127.0.0.1: Permission denied (publickey)."_s);
        QVERIFY(!summary->isHidden());
        QCOMPARE(colourOf(inspector.logView()->document()->lastBlock()), QColor(221, 76, 79));
    }

    void eachLineHasItsLevelsColourAndTheLogsFont()
    {
        ConnectionLog log;
        TextStorageLogHandler handler(&log);
        handler.setLogLevel(Logger::Level::trace);
        ConnectionLogView view;
        view.setLog(&log);
        const QList<Logger::Level> levels = {Logger::Level::trace,   Logger::Level::debug,
                                             Logger::Level::info,    Logger::Level::notice,
                                             Logger::Level::warning, Logger::Level::error,
                                             Logger::Level::critical};
        for (Logger::Level level : levels)
            handler.log({level, u"level %1"_s.arg(int(level)), Logger::vanilla});
        handler.log({Logger::Level::info, {}, Logger::rule});
        handler.log({Logger::Level::error, u"from the client"_s, Logger::standardError});

        const QTextDocument &document = *view.document();
        QTextBlock block = document.firstBlock();
        for (Logger::Level level : levels) {
            QVERIFY(block.text().endsWith(u"level %1"_s.arg(int(level))));
            QCOMPARE(colourOf(block), ConnectionLogView::lineColour(level, view.palette()));
            QCOMPARE(block.blockFormat().lineHeight(), 120.0);
            QCOMPARE(block.blockFormat().lineHeightType(),
                     int(QTextBlockFormat::ProportionalHeight));
            block = block.next();
        }
        QCOMPARE(ConnectionLogView::lineColour(Logger::Level::critical, view.palette()),
                 QColor(221, 76, 79));
        // The rule is a line across the log with an empty line below it.
        QVERIFY(block.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth));
        QCOMPARE(block.text(), QString());
        QCOMPARE(block.next().text(), QString());
        QCOMPARE(block.next().next().text(), u"from the client"_s);
        QVERIFY(QFontInfo(view.font()).fixedPitch());
    }

    void aReaderAtTheEndFollowsAndAReaderAboveKeepsThePlace()
    {
        ConnectionLog log;
        ConnectionLogView view;
        view.resize(500, 240);
        view.show();
        view.setLog(&log);
        appendLines(log, 200, u"first"_s);
        QTRY_VERIFY(view.verticalScrollBar()->maximum() > 0);
        QTRY_VERIFY(view.isAtBottom());
        appendLines(log, 5, u"more"_s);
        QTRY_VERIFY(view.isAtBottom());
        QVERIFY(view.viewport()->rect().contains(
            view.cursorRect(QTextCursor(view.document()->lastBlock()))));

        QScrollBar *bar = view.verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const int value = bar->value();
        const QString top = topLine(view);
        appendLines(log, 50, u"later"_s);
        QTRY_VERIFY(bar->maximum() > value * 2);
        QCOMPARE(bar->value(), value);
        QCOMPARE(topLine(view), top);
        QVERIFY(!view.isAtBottom());
    }

    void droppingTheOldestHalfKeepsTheViewInStep_data()
    {
        QTest::addColumn<bool>("atEnd");
        QTest::newRow("a reader at the end") << true;
        QTest::newRow("a reader in the kept half") << false;
    }
    void droppingTheOldestHalfKeepsTheViewInStep()
    {
        QFETCH(bool, atEnd);
        ConnectionLog log;
        ConnectionLogView view;
        view.resize(500, 300);
        view.show();
        view.setLog(&log);
        while (log.characterCount() < ConnectionLog::characterLimit - 1000)
            appendLines(log, 1, u"old"_s);
        QScrollBar *bar = view.verticalScrollBar();
        QTRY_VERIFY(view.isAtBottom() && bar->maximum() > 0);
        if (!atEnd)
            bar->setValue(bar->maximum() * 3 / 4);
        const QString top = topLine(view);
        QSignalSpy trims(&log, &ConnectionLog::linesRemoved);
        appendLines(log, 40, u"new"_s);
        QCOMPARE(trims.size(), 1);
        QCOMPARE(view.toPlainText(), log.toPlainText());
        QCOMPARE(view.document()->blockCount(), log.lines().size());
        if (atEnd) {
            QTRY_VERIFY(view.isAtBottom());
            QTRY_VERIFY(topLine(view).contains(u" new line"_s));
        } else {
            QTRY_COMPARE(topLine(view), top);
            QVERIFY(!view.isAtBottom());
        }
    }
};

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    QApplication app(argc, argv);
    SessionInspectorTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sessioninspector.moc"
