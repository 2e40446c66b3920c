#include "descriptors.h"
#include "messagechannel.h"
#include "testenvironment.h"

#include <QDir>
#include <QSignalSpy>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

qsizetype openDescriptors()
{
    return QDir(u"/proc/self/fd"_s).entryList(QDir::Files).size();
}

void writeRaw(int fd, const QByteArray &bytes)
{
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
}

QByteArray frame(const QByteArray &body)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), bytes.data());
    return bytes + body;
}

} // namespace

class MessageChannelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestsGetTheirReplies()
    {
        auto [a, b] = makeSocketPair();
        MessageChannel app(std::move(a));
        MessageChannel service(std::move(b));
        connect(&service, &MessageChannel::received, this, [&](Message &message) {
            QCOMPARE(message.op, u"askPassWithPrompt"_s);
            service.reply(message.id,
                          {{u"answer"_s, message.args.value(u"prompt"_s).toString().toUpper()}});
        });
        QStringList answers;
        for (const QString &prompt : {u"first"_s, u"second"_s}) {
            app.request(u"askPassWithPrompt"_s, {{u"prompt"_s, prompt}}, [&](Message &reply) {
                answers.append(reply.args.value(u"answer"_s).toString());
            });
        }
        QTRY_COMPARE_WITH_TIMEOUT(answers, (QStringList{u"FIRST"_s, u"SECOND"_s}), 5000);
    }

    void oversizedMessagesAreAnsweredWithAnError()
    {
        auto [a, b] = makeSocketPair();
        MessageChannel app(std::move(a));
        MessageChannel service(std::move(b));
        const QString huge(MessageChannel::maxFrameSize, u'x');
        connect(&service, &MessageChannel::received, this, [&](Message &message) {
            if (message.op == u"small"_s)
                QVERIFY(!service.reply(message.id, {{u"data"_s, huge}}));
        });
        QStringList errors;
        auto keepError = [&](Message &reply) {
            errors.append(reply.args.value(u"error"_s).toString());
        };
        QVERIFY(app.request(u"small"_s, {}, keepError) != 0);
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 10000);
        QVERIFY(errors[0].startsWith(u"The answer is too large to send ("_s));

        QVERIFY(app.request(u"large"_s, {{u"data"_s, huge}}, keepError) != 0);
        QVERIFY(errors.size() == 1);
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 2, 10000);
        QVERIFY(errors[1].startsWith(u"The request “large” is too large to send ("_s));
        QVERIFY(app.isOpen() && service.isOpen());
    }

    void descriptorsTravelWithTheirMessage()
    {
        const qsizetype before = openDescriptors();
        {
            auto [a, b] = makeSocketPair();
            MessageChannel app(std::move(a));
            MessageChannel service(std::move(b));
            auto [readEnd, writeEnd] = makePipe();
            QVERIFY(readEnd);

            std::vector<UniqueFd> received;
            connect(&service, &MessageChannel::received, this,
                    [&](Message &message) { received = std::move(message.fds); });
            QVERIFY(app.send(u"runWith"_s, {{u"argv"_s, QCborArray{u"-N"_s}}},
                             {writeEnd.get(), writeEnd.get()}));
            writeEnd.reset();
            QTRY_COMPARE_WITH_TIMEOUT(received.size(), size_t(2), 5000);
            QCOMPARE(::write(received[1].get(), "hello", 5), 5);
            received.clear();
            char buffer[8] = {};
            QCOMPARE(::read(readEnd.get(), buffer, sizeof buffer), 5);
            QCOMPARE(QByteArray(buffer), QByteArray("hello"));
        }
        QCOMPARE(openDescriptors(), before);
    }

    void brokenFramesEndTheConnection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("closeWriter");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not cbor") << frame("\xff\xff\xff") << false << u"malformed message"_s;
        QTest::newRow("not a map")
            << frame(QCborValue(7).toCbor()) << false << u"malformed message"_s;
        QCborMap missing{{u"op"_s, u"x"_s}};
        QTest::newRow("missing members")
            << frame(missing.toCborValue().toCbor()) << false << u"malformed message"_s;
        QCborMap promised{{u"op"_s, u"x"_s}, {u"id"_s, 1}, {u"args"_s, QCborMap()}, {u"fds"_s, 2}};
        QTest::newRow("descriptors that never came")
            << frame(promised.toCborValue().toCbor()) << false << u"malformed message"_s;
        // Text that is not UTF-8 leaves a decoded map that cannot be looked up in.
        QTest::newRow("text not UTF-8")
            << frame("\xa1\x61\xff\x62op") << false << u"malformed message"_s;
        QTest::newRow("key not UTF-8")
            << frame("\xa1\x62\xc3\x28\x01") << false << u"malformed message"_s;
        QCborMap fdsText{
            {u"op"_s, u"x"_s}, {u"id"_s, 1}, {u"args"_s, QCborMap()}, {u"fds"_s, u"0"_s}};
        QTest::newRow("descriptor count not a number")
            << frame(fdsText.toCborValue().toCbor()) << false << u"malformed message"_s;
        QByteArray huge(4, Qt::Uninitialized);
        qToBigEndian(quint32(64 << 20), huge.data());
        QTest::newRow("oversized") << huge << false << u"oversized message (67108864 bytes)"_s;
        QTest::newRow("truncated")
            << frame(QByteArray(100, 'x')).left(20) << true << u"connection lost"_s;
        QTest::newRow("clean end") << QByteArray() << true << QString();
    }
    void brokenFramesEndTheConnection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, closeWriter);
        auto [a, b] = makeSocketPair();
        MessageChannel channel(std::move(b));
        QSignalSpy closed(&channel, &MessageChannel::closed);
        QSignalSpy received(&channel, &MessageChannel::received);
        if (!bytes.isEmpty())
            writeRaw(a.get(), bytes);
        if (closeWriter)
            a.reset();
        QVERIFY(closed.wait(5000));
        QTEST(closed.first().first().toString(), "reason");
        QCOMPARE(received.count(), 0);
        QVERIFY(!channel.isOpen());
        QVERIFY(!channel.send(u"late"_s));
    }
};

VELL_TEST_MAIN(MessageChannelTest)
#include "tst_messagechannel.moc"
