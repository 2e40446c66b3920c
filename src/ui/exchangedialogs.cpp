#include "exchangedialogs.h"

#include "localized.h"
#include "messageboxwidth.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace ExchangeDialogs {

namespace {

// More lines than this go behind "Show Details…", so that a large import's reasons do not
// make the alert taller than the screen.
constexpr qsizetype maxInlineLines = 5;

void useApplicationIcon(QMessageBox &box, QMessageBox::Icon fallback)
{
    const QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        box.setIcon(fallback);
    else
        box.setIconPixmap(icon.pixmap(64, 64));
}

// The message with its notes beneath, or behind "Show Details…" when they are many.
QMessageBox *alert(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                   const QString &message, const QStringList &notes = {})
{
    auto *box = new QMessageBox(icon, QApplication::applicationDisplayName(), title,
                                QMessageBox::Ok, parent);
    if (!notes.isEmpty() && notes.size() <= maxInlineLines)
        box->setInformativeText(message + u"\n\n"_s + notes.join(u'\n'));
    else
        box->setInformativeText(message);
    if (notes.size() > maxInlineLines)
        box->setDetailedText(notes.join(u'\n'));
    box->setAttribute(Qt::WA_DeleteOnClose);
    widenForReading(*box);
    return box;
}

} // namespace

ConflictQuestion conflictQuestion(QWidget *parent, const std::function<void()> &unanswered)
{
    return [parent, unanswered](const QString &name, bool offerApplyToAll) {
        QMessageBox box(parent);
        box.setObjectName(u"conflictQuestion"_s);
        box.setWindowTitle(QApplication::applicationDisplayName());
        useApplicationIcon(box, QMessageBox::Question);
        box.setInformativeText(conflictText(name));
        QPushButton *replace = box.addButton(localized("Replace"), QMessageBox::ActionRole);
        QPushButton *skip = box.addButton(localized("Skip"), QMessageBox::ActionRole);
        for (QPushButton *button : {replace, skip}) {
            button->setAutoDefault(false);
            button->setDefault(false);
        }
        box.setEscapeButton(skip);
        if (offerApplyToAll)
            box.setCheckBox(new QCheckBox(localized("Apply to All"), &box));
        widenForReading(box);
        box.exec();
        if (!box.clickedButton()) {
            if (unanswered)
                unanswered();
            return ConflictDecision{false, true};
        }
        return ConflictDecision{box.clickedButton() == replace,
                                box.checkBox() && box.checkBox()->isChecked()};
    };
}

void showImportResult(QWidget *parent, const ProfileImportResult &result)
{
    QMessageBox *box = alert(parent, QMessageBox::Information, localized("Successfully imported."),
                             result.message(), result.renamed + result.problems);
    box->setObjectName(u"importResult"_s);
    box->open();
}

void ImportReport::add(const Result<ProfileImportResult> &imported)
{
    if (!imported) {
        failures.append(imported.error().message);
        return;
    }
    if (!total) {
        total = *imported;
        return;
    }
    total->added += imported->added;
    total->replaced += imported->replaced;
    total->skipped += imported->skipped;
    total->problems += imported->problems;
    total->renamed += imported->renamed;
}

void showImportReport(QWidget *parent, const ImportReport &report)
{
    if (report.total)
        showImportResult(parent, *report.total);
    const QString title = localized("Failed to import!");
    if (report.failures.size() == 1)
        showFailure(parent, title, report.failures.first());
    if (report.failures.size() < 2)
        return;
    QMessageBox *box = alert(
        parent, QMessageBox::Warning, title,
        localized("%1 files could not be imported.").arg(report.failures.size()), report.failures);
    box->setObjectName(u"exchangeFailure"_s);
    box->open();
}

void showFailure(QWidget *parent, const QString &title, const QString &message)
{
    QMessageBox *box = alert(parent, QMessageBox::Warning, title, message);
    box->setObjectName(u"exchangeFailure"_s);
    box->open();
}

std::optional<bool> confirmCommands(QWidget *parent, const QString &path,
                                    const QStringList &commandProfiles)
{
    QMessageBox box(QMessageBox::Warning, localized("Import Profiles"),
                    localized("“%1” holds profiles that run commands on this computer.")
                        .arg(QFileInfo(path).fileName()),
                    QMessageBox::NoButton, parent);
    box.setObjectName(u"commandsQuestion"_s);
    box.setInformativeText(
        localized("%1 run a local command (ProxyCommand, LocalCommand or KnownHostsCommand) "
                  "whenever they connect. Import only files you trust.")
            .arg(commandProfiles.join(u", "_s)));
    QPushButton *import = box.addButton(localized("Import"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(localized("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    widenForReading(box);
    box.exec();
    if (!box.clickedButton())
        return std::nullopt;
    return box.clickedButton() == import;
}

} // namespace ExchangeDialogs
