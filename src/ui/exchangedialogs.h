#pragma once

#include "profileimport.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// The questions and reports of moving profiles in and out, as alerts over the given window.
namespace ExchangeDialogs {

// Replace or Skip for a profile that is already there, asked while the import waits. Neither
// button answers Return: replacing throws the person's version away, skipping throws the
// file's, so the choice must be made on purpose. Escape skips. A question that ends without
// an answer (the application quitting) skips the rest of the run and calls unanswered.
ConflictQuestion conflictQuestion(QWidget *parent, const std::function<void()> &unanswered = {});

// "Successfully imported." with the counts, and what was renamed or skipped for a reason.
// Shown without waiting, so that further files can follow.
void showImportResult(QWidget *parent, const ProfileImportResult &result);

// An import or export that failed, under its title ("Failed to import!", "Import/Export
// Error"), naming the file and the reason.
void showFailure(QWidget *parent, const QString &title, const QString &message);

// What opening files came to when several arrive at once (a drop, a file manager's selection):
// the counts summed over the files that were read and why each of the others was not, said in
// at most two alerts rather than one per file.
struct ImportReport
{
    std::optional<ProfileImportResult> total;
    QStringList failures;

    void add(const Result<ProfileImportResult> &imported);
};
void showImportReport(QWidget *parent, const ImportReport &report);

// Whether to import a file whose profiles run commands on this computer when they connect
// (named in commandProfiles): a file from elsewhere must not run anything unasked. None when
// the question ended without an answer (the application quitting), which is a no as well.
std::optional<bool> confirmCommands(QWidget *parent, const QString &path,
                                    const QStringList &commandProfiles);

} // namespace ExchangeDialogs
