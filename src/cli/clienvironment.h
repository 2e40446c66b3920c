#pragma once

#include <QString>
#include <QTextStream>

#include <memory>
#include <optional>

class ObjectContext;
class PersistenceController;
class Profile;
class Settings;

// What the commands of vellssh-cli share: the streams, the profile store and the settings, each
// opened on first use, and the ways a command ends.
class CliEnvironment
{
public:
    enum ExitCode
    {
        success = 0,
        failure = 1,
        usageError = 2
    };

    CliEnvironment(QTextStream &out, QTextStream &err, QTextStream &in);
    ~CliEnvironment();

    QTextStream &out() { return m_out; }
    QTextStream &err() { return m_err; }
    QTextStream &in() { return m_in; }
    // Shows the question and reads one line of answer, trimmed and in lower case. With nothing
    // left to read the answer is empty and the line is ended, so that what follows starts on
    // a line of its own.
    QString ask(const QString &question);

    // Opens the store as the author "cli", so that a running application merges what the
    // command writes; a store that cannot be opened is reported here.
    bool openStore();
    ObjectContext &context();
    // A problem reading the settings is reported once, when they are first used.
    Settings &settings();

    // The verb being run, named by the hint that follows a usage error.
    void setVerb(const QString &verb) { m_verb = verb; }

    int fail(const QString &message);
    // The problem on one line, and a hint where to read the usage.
    int usageFailure(const QString &message);
    // Saves what the command changed. A profile to validate is checked against the store as it
    // is when the write starts; savedName is the name it was saved under when it is not new.
    int saveOrReport(Profile *validate = nullptr,
                     const std::optional<QString> &savedName = std::nullopt);

private:
    QTextStream &m_out;
    QTextStream &m_err;
    QTextStream &m_in;
    QString m_verb;
    std::unique_ptr<PersistenceController> m_store;
    std::unique_ptr<Settings> m_settings;
};
