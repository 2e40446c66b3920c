#include "optionsevaluator.h"
#include "testenvironment.h"

#include <QFile>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

class OptionsEvaluatorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outputLines()
    {
        const auto values = OptionsEvaluator::parseOutput("port 2222\ncompression yes\nnovalue\n"
                                                          "sendenv LANG LC_*\n");
        QCOMPARE(values.value(u"port"_s), u"2222"_s);
        QCOMPARE(values.value(u"sendenv"_s), u"LANG LC_*"_s);
        QVERIFY(!values.contains(u"novalue"_s));
        QVERIFY(OptionsEvaluator::parseOutput("port \xff\xfe\n").isEmpty());
    }

    void theClientSaysWhatApplies()
    {
        const QString config = QDir::tempPath() + u"/ssh_config"_s;
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "Host vellshell-example\n  Port 2200\n  Compression yes\nHost *\n  ForwardAgent yes\n");
        file.close();

        OptionsEvaluator evaluator{QStringLiteral(VELLSSH_SERVICE)};
        QCOMPARE(evaluator.port(), 22);
        QVERIFY(!evaluator.compression());
        QSignalSpy finished(&evaluator, &OptionsEvaluator::finished);
        evaluator.evaluate({}, 0, u"me"_s, config);
        QVERIFY(evaluator.isRunning());
        evaluator.evaluate(u"other"_s, 0, {}, config);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.count(), 1);
        QVERIFY(!evaluator.isRunning());
        // The run always names a port, so the configured one never shows.
        QCOMPARE(evaluator.port(), 22);
        QVERIFY(evaluator.compression());
        QVERIFY(evaluator.forwardAgent());
        QCOMPARE(evaluator.defaultValues().value(u"user"_s), u"me"_s);

        // A second run may start now.
        evaluator.evaluate(u"db"_s, 2022, {}, config);
        QVERIFY(finished.wait(20000));
        QCOMPARE(evaluator.port(), 2022);
        QCOMPARE(evaluator.defaultValues().value(u"hostname"_s), u"db"_s);
    }
};

VELL_TEST_MAIN(OptionsEvaluatorTest)
#include "tst_optionsevaluator.moc"
