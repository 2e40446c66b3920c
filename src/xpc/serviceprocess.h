#pragma once

#include "messagechannel.h"
#include "uniquefd.h"

#include <QObject>
#include <QString>

#include <memory>
#include <sys/types.h>

class QSocketNotifier;

// One vellssh-service process and its connection: started with its end of a socket pair as
// descriptor 3 and a clean environment, reaped when it ends. Destroying it kills and reaps the
// process, so that no service outlives its owner.
class ServiceProcess : public QObject
{
    Q_OBJECT

public:
    static constexpr int socketDescriptor = 3;
    // How long a service that is asked to end may take before it is killed.
    static constexpr int terminateGraceMs = 500;

    explicit ServiceProcess(QObject *parent = nullptr);
    ~ServiceProcess() override;

    // The installed helper, or the one beside this program in a build tree.
    static QString defaultProgram();

    bool start(const QString &program = defaultProgram());
    MessageChannel *channel() const { return m_channel.get(); }
    pid_t pid() const { return m_pid; }
    bool isRunning() const { return m_pid > 0; }

Q_SIGNALS:
    // The process has ended and was reaped.
    void finished(int status);

private:
    void reap();

    pid_t m_pid = 0;
    UniqueFd m_pidFd;
    std::unique_ptr<QSocketNotifier> m_exitNotifier;
    std::unique_ptr<MessageChannel> m_channel;
};
