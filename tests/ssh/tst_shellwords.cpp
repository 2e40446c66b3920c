#include "sshinvocation.h"
#include "testenvironment.h"

#include <QProcess>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

// The equivalent command, parsed by a real shell, must give the client's exact argument list.
class ShellWordsTest : public QObject
{
    Q_OBJECT

    QRandomGenerator m_random{20261206};

    // Text without the characters the quoting leaves unprotected inside double quotes ($, `, ",
    // \), without line breaks, and without a leading tilde, which a shell would expand.
    QString text(int maxLength)
    {
        static const QString alphabet = u"abcXYZ019 -_.:/@,=+%^!&'()<>;|*?[]#\t{}äé€日"_s;
        QString result;
        const int length = 1 + int(m_random.bounded(maxLength));
        for (int i = 0; i < length; ++i)
            result += alphabet[int(m_random.bounded(int(alphabet.size())))];
        return result;
    }

    ForwardingData forwarding()
    {
        ForwardingData data;
        data.type = qint16(m_random.bounded(4));
        data.enabled = true;
        if (m_random.bounded(2))
            data.bindAddress = m_random.bounded(3) ? text(10) : u"/tmp/"_s + text(6);
        data.bindPort = int(m_random.bounded(65536));
        if (m_random.bounded(2))
            data.targetAddress = text(12);
        data.targetPort = int(m_random.bounded(65536));
        return data;
    }

    ProfileData profile(const QStringList &names)
    {
        ProfileData data;
        data.address = text(20);
        if (m_random.bounded(2))
            data.user = text(8);
        data.port = int(m_random.bounded(70000));
        if (m_random.bounded(2))
            data.privateKeyName = text(10);
        if (m_random.bounded(3) == 0)
            data.certificateName = text(10);
        QJsonObject options;
        for (int i = 0; i < 4; ++i)
            options.insert(names[int(m_random.bounded(int(names.size())))], text(16));
        data.options = options;
        return data;
    }

    static QStringList shellWords(const QString &command)
    {
        QProcess shell;
        shell.start(u"/bin/sh"_s,
                    {u"-c"_s, u"ssh() { for w; do printf '%s\\0' \"$w\"; done; }; "_s + command});
        if (!shell.waitForFinished(30000) || shell.exitCode() != 0)
            return {u"<shell failed>"_s};
        QStringList words = QString::fromUtf8(shell.readAllStandardOutput()).split(QChar(0));
        words.removeLast();
        return words;
    }

private Q_SLOTS:
    void commandParsesToTheSameWords()
    {
        const QStringList names = {u"ProxyCommand"_s, u"LocalCommand"_s, u"RemoteCommand"_s,
                                   u"SendEnv"_s,      u"Ciphers"_s,      u"ProxyJump"_s,
                                   u"BindAddress"_s,  u"IdentityFile"_s, u"SetEnv"_s};
        const InvocationInputs inputs{QSet<QString>(names.cbegin(), names.cend()),
                                      u"/home/me/.ssh dir"_s, u"/etc/ssh config"_s};
        // One shell run checks many commands: each prints its words, then a separator.
        QStringList script;
        QList<QStringList> expected;
        for (int i = 0; i < 300; ++i) {
            QList<ForwardingData> forwardings;
            for (int f = int(m_random.bounded(4)); f > 0; --f)
                forwardings.append(forwarding());
            const SSHInvocation invocation = sshInvocation(profile(names), forwardings, inputs);
            QStringList params = invocation.params;
            if (params.value(0) == u"-tt"_s)
                params.removeFirst();
            expected.append(params);
            script.append(invocation.command + u"; printf '%s\\0' '<end>'"_s);
        }
        const QStringList words = shellWords(script.join(u'\n'));
        QList<QStringList> parsed{{}};
        for (const QString &word : words) {
            if (word == u"<end>"_s)
                parsed.append(QStringList());
            else
                parsed.last().append(word);
        }
        parsed.removeLast();
        QCOMPARE(parsed.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QCOMPARE(parsed[i], expected[i]);
    }
};

VELL_TEST_MAIN(ShellWordsTest)
#include "tst_shellwords.moc"
