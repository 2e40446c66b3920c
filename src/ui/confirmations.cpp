#include "confirmations.h"

#include "localized.h"
#include "profile.h"
#include "tag.h"

#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

QMessageBox *sheet(QWidget *window, const QString &name, QMessageBox::Icon icon,
                   const QString &text, const QString &informative)
{
    auto *box = new QMessageBox(icon, window->windowTitle(), text, QMessageBox::NoButton, window);
    box->setObjectName(name);
    box->setInformativeText(informative);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QDialog::finished, window, [window] { window->activateWindow(); });
    return box;
}

void ask(QMessageBox *box, const QString &action, const std::function<void()> &proceed)
{
    QPushButton *destructive = box->addButton(action, QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [destructive, proceed](QAbstractButton *clicked) {
                         if (clicked == destructive)
                             proceed();
                     });
    box->open();
}

} // namespace

void confirmPermanentDeletion(QWidget *window, const QList<Profile *> &profiles,
                              bool connectedAmong, const std::function<void()> &proceed)
{
    const QString question =
        profiles.size() == 1
            ? localized("Delete “%1” permanently?").arg(profiles.first()->displayName())
            : localized("Delete %1 profiles permanently?").arg(profiles.size());
    QString informative = localized("You cannot undo this action.");
    if (connectedAmong)
        informative += u' ' + localized("Connected tunnels will be disconnected before deletion.");
    QMessageBox *box =
        sheet(window, u"confirmPermanentDeletion"_s, QMessageBox::Warning, question, informative);
    ask(box, connectedAmong ? localized("Disconnect and Delete") : localized("Delete"), proceed);
}

void confirmTagDeletion(QWidget *window, const Tag &tag, const std::function<void()> &proceed)
{
    QMessageBox *box = sheet(window, u"confirmTagDeletion"_s, QMessageBox::Question,
                             localized("Delete the tag “%1”?").arg(tag.name().value_or(QString())),
                             localized("The profiles that carry it stay in the library."));
    ask(box, localized("Delete"), proceed);
}

void showError(QWidget *window, const Error &error, const std::function<void()> &dismissed)
{
    QMessageBox *box = sheet(window, u"errorAlert"_s, QMessageBox::Warning, error.message,
                             error.recoverySuggestion);
    box->addButton(QMessageBox::Ok);
    if (dismissed)
        QObject::connect(box, &QDialog::finished, window, dismissed);
    box->open();
}
