#pragma once

#include <QProcess>
#include <QString>

#include <memory>

// A private OpenSSH server on 127.0.0.1 for one test: host key and a client key made at start,
// root allowed with that key, its own /run and /var/log when started as root (a private mount
// namespace), stopped with its whole process group.
class SshdFixture
{
public:
    explicit SshdFixture(const QString &directory);
    ~SshdFixture();

    // Starts sshd and waits until it accepts connections; the reason when it does not.
    QString start(const QString &extraConfig = {});
    void stop();

    quint16 port() const { return m_port; }
    qint64 processId() const { return m_process ? m_process->processId() : 0; }
    QString clientKey() const { return m_dir + QStringLiteral("/id_client"); }
    QString otherKey() const { return m_dir + QStringLiteral("/id_other"); }
    // Authorized too, with the passphrase "labpass".
    QString passphraseKey() const { return m_dir + QStringLiteral("/id_pass"); }
    // The known hosts file that holds this server's key.
    QString knownHosts() const { return m_dir + QStringLiteral("/known_hosts"); }
    // A client configuration that trusts this server's key and uses the client key.
    QString clientConfig() const { return m_dir + QStringLiteral("/ssh_config"); }
    // The same, but the client may ask questions.
    QString askingConfig() const { return m_dir + QStringLiteral("/ssh_config_asking"); }
    // A client that knows no host key yet and asks about it.
    QString unknownHostConfig() const { return m_dir + QStringLiteral("/ssh_config_unknown"); }
    // The per-connection server processes (children of the listener).
    QList<qint64> connectionProcesses() const;

    static quint16 freePort();

private:
    QString m_dir;
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_process;
};
