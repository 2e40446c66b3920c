#include "descriptors.h"
#include "uuidtext.h"

#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool closesOnExec(const UniqueFd &fd)
{
    return (::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC) != 0;
}

void writeAll(const UniqueFd &fd, const QByteArray &bytes)
{
    QCOMPARE(::write(fd.get(), bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
}

} // namespace

class BaseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newDescriptorsStayOutOfChildren()
    {
        auto [read, write] = makePipe();
        QVERIFY(read && write);
        QVERIFY(closesOnExec(read) && closesOnExec(write));
        auto [one, other] = makeSocketPair();
        QVERIFY(one && other);
        QVERIFY(closesOnExec(one) && closesOnExec(other));
        writeAll(one, "ping");
        char buffer[4];
        QCOMPARE(::read(other.get(), buffer, sizeof buffer), ssize_t(4));
    }

    // A reader takes everything there is in one turn, and learns the writer has gone only after
    // the last byte, however much was written.
    void aDrainTakesAllThereIsAndTellsTheEnd()
    {
        auto [read, write] = makePipe();
        setNonBlocking(read.get());
        QByteArray taken;
        const auto take = [&taken](QByteArrayView chunk) { taken.append(chunk); };
        QCOMPARE(drainAvailable(read.get(), take), Drain::wouldBlock);
        QVERIFY(taken.isEmpty());

        const QByteArray first(40000, 'a');
        writeAll(write, first);
        QCOMPARE(drainAvailable(read.get(), take), Drain::wouldBlock);
        QCOMPARE(taken, first);

        // More than one read's worth, then the end: nothing is left behind.
        taken.clear();
        const QByteArray rest = QByteArray(30000, 'b') + QByteArray(30000, 'c');
        writeAll(write, rest);
        write.reset();
        QCOMPARE(drainAvailable(read.get(), take), Drain::ended);
        QCOMPARE(taken, rest);
    }

    void aDescriptorThatCannotBeReadEndsTheDrain()
    {
        auto [read, write] = makePipe();
        int calls = 0;
        QCOMPARE(drainAvailable(write.get(), [&calls](QByteArrayView) { ++calls; }), Drain::ended);
        QCOMPARE(calls, 0);
    }

    void uuidTextsReadBackWhateverTheirForm()
    {
        const QUuid uuid = QUuid::createUuid();
        const QString text = uuidText(uuid);
        QCOMPARE(text, text.toUpper());
        QVERIFY(!text.contains(u'{'));
        QCOMPARE(uuidFromText(text), uuid);
        QCOMPARE(uuidFromText(text.toLower()), uuid);
        QCOMPARE(uuidFromText(uuid.toString()), uuid);
        QCOMPARE(uuidText(std::optional<QUuid>()), QString());
        QCOMPARE(uuidText(std::optional(uuid)), text);

        for (const QString &none : {QString(), u"web"_s, text.left(35), QUuid().toString()})
            QCOMPARE(uuidFromText(none), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(BaseTest)
#include "tst_base.moc"
