#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>

class QDBusConnection;

// One desktop application per session. Every later start of vellssh hands its files to the
// running one over the session bus and exits, so that the store, the tunnels and the windows
// stay in one process; the running one brings its window forward and opens the files.
class SingleInstance : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static inline const QString objectPath = QStringLiteral("/io/vellssh/Application");
    static inline const QString windowlessError = QStringLiteral("io.vellssh.Error.Windowless");

    // A running instance without a window (--headless) refuses files it could not ask about.
    explicit SingleInstance(bool windowed, QObject *parent = nullptr);

    // Exports the object under the bus name that the automation service holds; the reason
    // when it cannot.
    QString registerOn(QDBusConnection &bus);

    struct Handover
    {
        enum class Outcome
        {
            // Nobody holds the bus name: this start is the application.
            nobodyRunning,
            handedOver,
            refused
        };
        Outcome outcome = Outcome::nobodyRunning;
        // Why the running instance refused, in one line.
        QString message;
    };
    // Asks the instance that holds the bus name to come forward and open the files.
    static Handover handOver(QDBusConnection &bus, const QStringList &files);

    // The interchange files among the command line's arguments, as absolute paths; every other
    // argument lands in ignored. A file: URL counts as its path.
    struct LaunchFiles
    {
        QStringList files;
        QStringList ignored;
    };
    static LaunchFiles launchFiles(const QStringList &arguments);
    static bool isInterchangeFile(const QString &path);

public Q_SLOTS:
    void Activate(const QStringList &files);

Q_SIGNALS:
    // After the caller has its answer, so that a question the files raise never keeps it
    // waiting.
    void activationRequested(const QStringList &files);

private:
    // Why a windowless instance refused, and how to get the window instead.
    static QString windowlessMessage(bool withFiles);

    bool m_windowed;
};
