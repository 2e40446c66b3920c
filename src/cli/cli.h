#pragma once

#include "result.h"

#include <QStringList>
#include <QTextStream>

#include <memory>

class ObjectContext;
class PersistenceController;
class Profile;
class Settings;
struct ProfileEdit;
struct ProfileFlags;

// vellssh-cli: works on the profile store directly, writing as the author "cli", so a running
// application merges what it does.
class Cli
{
public:
    enum ExitCode
    {
        success = 0,
        failure = 1,
        usageError = 2
    };

    Cli(QTextStream &out, QTextStream &err, QTextStream &in);
    ~Cli();

    int run(const QStringList &arguments);
    static QString usage();

private:
    enum class Scope
    {
        live,
        trash,
        all
    };

    int list(const QStringList &arguments);
    int show(const QStringList &arguments);
    int add(const QStringList &arguments);
    int edit(const QStringList &arguments);
    int command(const QStringList &arguments);
    int manyProfiles(const QString &verb, const QStringList &arguments);
    int tag(const QStringList &arguments);
    int settings(const QStringList &arguments);
    int exportProfiles(const QStringList &arguments);
    int importFile(const QStringList &arguments);
    int backup(const QStringList &arguments);
    int sync(const QStringList &arguments);

    bool openStore();
    ObjectContext &context();
    Settings &settingsStore();
    Result<Profile *> resolve(const QString &reference, Scope scope);
    Result<QList<Profile *>> resolveAll(const QStringList &references, Scope scope);
    Result<ProfileEdit> profileEdit(const ProfileFlags &flags);
    void noteUnusedOptions(const QList<QPair<QString, QString>> &options);
    Status applyFlags(Profile &profile, const ProfileFlags &flags);
    // The profile to validate, if any, and the name it was saved under when it is not new.
    int saveOrReport(Profile *validate, const std::optional<QString> &savedName = std::nullopt);
    int fail(const QString &message);
    int usageFailure(const QString &message);

    QTextStream &m_out;
    QTextStream &m_err;
    QTextStream &m_in;
    std::unique_ptr<PersistenceController> m_store;
    std::unique_ptr<Settings> m_settings;
};
