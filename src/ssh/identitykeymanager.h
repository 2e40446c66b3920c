#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

// The identity directory (the real home's .ssh): the small readable files in it that can serve
// as identities, kept current while the directory changes, and import and delete of key files.
class IdentityKeyManager : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxFileSize = 131072;

    // The directory defaults to the real home's ".ssh"; it is created when missing.
    explicit IdentityKeyManager(const QString &directory = defaultDirectory(),
                                QObject *parent = nullptr);

    static QString defaultDirectory();
    QString identityKeysDirectory() const { return m_directory; }
    // Full paths, sorted by file name.
    const QStringList &identities() const { return m_identities; }
    // What a profile can name: as its key, the identities that hold a private key; as its
    // certificate, those named as the client names certificates ("…-cert.pub"). Full paths,
    // sorted by file name.
    const QStringList &privateKeys() const { return m_privateKeys; }
    const QStringList &certificates() const { return m_certificates; }

    void refresh();
    // Copies each file into the directory (mode 0600) and returns one "Invalid identity:"
    // message per file that was refused; the others are imported.
    QStringList importFiles(const QStringList &paths);
    // Removes the files and returns the messages of those that could not be removed.
    QStringList deleteIdentities(const QStringList &paths);

    // Why a file cannot be imported as an identity, or nothing when it can.
    static std::optional<QString> invalidIdentityReason(const QString &path);

Q_SIGNALS:
    void identitiesChanged();
    void refreshFailed(const QString &message);

private:
    void publish(const QStringList &identities, const QStringList &privateKeys,
                 const QStringList &certificates);

    QString m_directory;
    QStringList m_identities;
    QStringList m_privateKeys;
    QStringList m_certificates;
    QFileSystemWatcher m_watcher;
    QTimer m_debounce;
};
