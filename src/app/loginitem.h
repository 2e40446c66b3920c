#pragma once

#include "result.h"

#include <QObject>
#include <QString>

class Settings;

// Keeps the autostart entry $XDG_CONFIG_HOME/autostart/vellssh.desktop in step with
// "launch_at_login". The entry carries a mark of its own, so that a file of that name which the
// user wrote is never overwritten nor removed: it already starts the application, or was meant
// not to.
class LoginItem : public QObject
{
    Q_OBJECT

public:
    enum class Outcome
    {
        unchanged,
        written,
        removed,
        usersOwnKept,
    };

    // The program the entry starts, as the Exec line names it.
    explicit LoginItem(QString program = defaultProgram(), QObject *parent = nullptr);

    static QString entryPath();
    // Plain "vellssh" when the shell finds it: that name survives upgrades and moves of the
    // installation. Otherwise (run from a build tree) the running program's own path.
    static QString defaultProgram();
    QByteArray entry() const;

    // Makes the entry match the wish; what it did, or why it could not.
    Result<Outcome> apply(bool launchAtLogin) const;
    // Applies the setting now and after every change; a failure is logged and the setting kept.
    void follow(Settings &settings);

private:
    QString m_program;
};
