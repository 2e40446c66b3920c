#pragma once

#include "knownhostentry.h"

#include <QCborMap>

#include <QObject>

#include <functional>
#include <memory>

class ServiceProcess;

// Reads and writes a known_hosts file through a service process of its own, one exchange at a
// time; the service parses the file, so the application never does.
class KnownHostsParser : public QObject
{
    Q_OBJECT

public:
    using Loaded = std::function<void(Result<QList<KnownHostEntry>>)>;
    using Dumped = std::function<void(Status)>;

    explicit KnownHostsParser(QString serviceProgram, QObject *parent = nullptr);
    ~KnownHostsParser() override;

    // The real home's ~/.ssh/known_hosts.
    static QString defaultFile();

    void load(const QString &path, Loaded done);
    void dump(const QString &path, const QList<KnownHostEntry> &entries, Dumped done);

private:
    // One request to a fresh service process; the reply's "error" member, or the reply.
    void exchange(const QString &op, const QCborMap &args, const char *logFormat,
                  std::function<void(Result<QCborMap>)> done);

    QString m_program;
    std::unique_ptr<ServiceProcess> m_service;
};
