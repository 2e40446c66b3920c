#include "answercrypto.h"
#include "testenvironment.h"

class AnswerCryptoTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyTheKeyHolderOpensAnAnswer()
    {
        auto key = AnswerKey::generate();
        QVERIFY(key);
        const QByteArray pem = key->publicKeyPEM();
        QVERIFY(pem.startsWith("-----BEGIN PUBLIC KEY-----"));
        for (const QByteArray &answer : {QByteArray("s3cret passphrase ü"), QByteArray()}) {
            const auto sealed = sealAnswer(pem, answer);
            QVERIFY(sealed);
            QVERIFY(!sealed->contains("s3cret"));
            QCOMPARE(key->open(*sealed), answer);
        }
        const QByteArray sealed = *sealAnswer(pem, "yes");
        QByteArray tampered = sealed;
        tampered[tampered.size() - 20] ^= 1;
        QVERIFY(!key->open(tampered));
        QVERIFY(!key->open(sealed.left(40)));
        QVERIFY(!AnswerKey::generate()->open(sealed));
        QVERIFY(!sealAnswer("not a key", "x"));
    }
};

VELL_TEST_MAIN(AnswerCryptoTest)
#include "tst_answercrypto.moc"
