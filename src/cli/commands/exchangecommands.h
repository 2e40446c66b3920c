#pragma once

#include "clicommand.h"
#include "commandhelp.h"

class BackupModule;
struct ConflictDecision;
struct ProfileImportResult;
class SyncMirror;

// vellssh-cli export: profiles written to an interchange file.
class ExportCommand final : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    bool m_all = false;
    QStringList m_references;
    QString m_path;
};

// vellssh-cli import: profiles read from an interchange file, asking about each name conflict
// unless told how to settle them all.
class ImportCommand final : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    ConflictDecision ask(const QString &name, bool offerApplyToAll);
    int report(const Result<ProfileImportResult> &result);

    QString m_path;
    bool m_replace = false;
    bool m_skip = false;
};

// vellssh-cli backup: the folder of automatic backups, a backup now, and the list of backups.
// Which arguments make sense depends on whether backups are on, so run() reads them.
class BackupCommand final : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    int folder(BackupModule &backups);
    int backUpNow(BackupModule &backups);
    int list(BackupModule &backups);

    QStringList m_arguments;
};

// vellssh-cli sync: the sync folder, a sync pass now, and where sync stands. The settings are
// read before the arguments are judged, as every sync command needs them.
class SyncCommand final : public StoreCommand
{
public:
    using StoreCommand::StoreCommand;
    static CommandHelp help();

    Status parse(const QStringList &arguments) override;
    int run() override;

private:
    int setFolder(const QString &folder);
    int showFolder();
    int pass(SyncMirror &mirror);
    int status(SyncMirror &mirror);

    QStringList m_arguments;
};
