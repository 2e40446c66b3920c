#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "testenvironment.h"
#include "vellshellopener.h"

#include <QUrlQuery>

using namespace Qt::StringLiterals;

using Lines = QList<QStringList>;

class VellShellOpenerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLines_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<Lines>("expected");
        const QString a = u"vellssh://localhost/open?uuid=A"_s;
        const QString b = u"vellssh://localhost/open?uuid=B"_s;
        QTest::newRow("one run per URL")
            << u"shell --new %u"_s
            << Lines{{u"shell"_s, u"--new"_s, a}, {u"shell"_s, u"--new"_s, b}};
        QTest::newRow("one run for all") << u"shell %U"_s << Lines{{u"shell"_s, a, b}};
        QTest::newRow("files as lists") << u"shell %F"_s << Lines{{u"shell"_s, a, b}};
        QTest::newRow("quoted program and blanks")
            << u"\"/opt/Vell Shell/bin/shell\"   -x  %u"_s
            << Lines{{u"/opt/Vell Shell/bin/shell"_s, u"-x"_s, a},
                     {u"/opt/Vell Shell/bin/shell"_s, u"-x"_s, b}};
        QTest::newRow("escapes in quotes") << u"shell \"a \\\"b\\\" \\$c \\\\d\" %U"_s
                                           << Lines{{u"shell"_s, u"a \"b\" $c \\d"_s, a, b}};
        QTest::newRow("other codes dropped, percent kept")
            << u"shell %i %c %k 100%% %U"_s << Lines{{u"shell"_s, u"100%"_s, a, b}};
        QTest::newRow("code inside an argument")
            << u"shell --open=%u"_s
            << Lines{{u"shell"_s, u"--open="_s + a}, {u"shell"_s, u"--open="_s + b}};
        QTest::newRow("no code takes the URL at the end")
            << u"shell"_s << Lines{{u"shell"_s, a}, {u"shell"_s, b}};
    }

    void commandLines()
    {
        QFETCH(QString, exec);
        QFETCH(Lines, expected);
        const auto lines = VellShellOpener::commandLines(
            exec, {u"vellssh://localhost/open?uuid=A"_s, u"vellssh://localhost/open?uuid=B"_s});
        QVERIFY(lines);
        QCOMPARE(*lines, expected);
    }

    void unreadableExecValues()
    {
        for (const QString &exec : {QString(), u"   "_s, u"\"shell %u"_s, u"%u"_s})
            QVERIFY2(!VellShellOpener::commandLines(exec, {u"x"_s}), qPrintable(exec));
        QCOMPARE(VellShellOpener::commandLines(u"shell %U"_s, {}), Lines{});
    }

    void execValueOfTheEntryGroupOnly()
    {
        const QByteArray entry = "[Desktop Action new]\nExec=wrong\n"
                                 "[Desktop Entry]\nName=Shell\nExec[de]=falsch\n"
                                 "Exec = shell\\sone --path=C:\\\\x %u\n"
                                 "[Other]\nExec=late\n";
        QCOMPARE(VellShellOpener::execValue(entry), u"shell one --path=C:\\x %u"_s);
        QCOMPARE(VellShellOpener::execValue("[Desktop Entry]\nName=Shell\n"), std::nullopt);
        // A backslash that escapes nothing in the value is the quoting's.
        QCOMPARE(VellShellOpener::execValue("[Desktop Entry]\nExec=\"a \\\"b\\\"\" %u\n"),
                 u"\"a \\\"b\\\"\" %u"_s);
    }

    // Every value survives the trip through the URL, whatever characters it holds.
    void urlCarriesTheProfile()
    {
        auto store = PersistenceController::openInMemory();
        QVERIFY(store);
        Profile *profile = (*store)->mainContext()->insertProfile();
        profile->setName(u"a&b c=d/é+%"_s);
        profile->setAddress(u"example.org"_s);
        profile->setPort(2222);
        profile->setUser(u"ro ot"_s);
        const QUrl url = VellShellOpener::profileURL(*profile);
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), u"vellssh"_s);
        QCOMPARE(url.host(), u"localhost"_s);
        QCOMPARE(url.path(), u"/open"_s);
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue(u"uuid"_s, QUrl::FullyDecoded), *profile->scriptUUID());
        QCOMPARE(query.queryItemValue(u"name"_s, QUrl::FullyDecoded), u"a&b c=d/é+%"_s);
        QCOMPARE(query.queryItemValue(u"host"_s, QUrl::FullyDecoded), u"example.org"_s);
        QCOMPARE(query.queryItemValue(u"port"_s, QUrl::FullyDecoded), u"2222"_s);
        QCOMPARE(query.queryItemValue(u"user"_s, QUrl::FullyDecoded), u"ro ot"_s);

        profile->setUser(std::nullopt);
        profile->setPort(0);
        const QUrlQuery bare(VellShellOpener::profileURL(*profile));
        QVERIFY(!bare.hasQueryItem(u"user"_s));
        QVERIFY(!bare.hasQueryItem(u"port"_s));
    }
};

VELL_TEST_MAIN(VellShellOpenerTest)
#include "tst_vellshellopener.moc"
