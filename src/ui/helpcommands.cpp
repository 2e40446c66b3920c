#include "helpcommands.h"

#include "localized.h"
#include "projectsite.h"
#include "updatermodel.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>

using namespace Qt::StringLiterals;

HelpCommands::HelpCommands(UpdaterModel &updater, QObject *parent) : QObject(parent)
{
    for (const ProjectSite::HelpPage &page : ProjectSite::helpPages()) {
        // A single "&" in a title would turn the next letter into a mnemonic.
        auto *action = new QAction(localized(page.title).replace(u'&', u"&&"_s), this);
        const QUrl address = page.address;
        connect(action, &QAction::triggered, this,
                [address] { QDesktopServices::openUrl(address); });
        if (address == ProjectSite::helpHome())
            action->setShortcuts(QKeySequence::HelpContents);
        pages.append(action);
    }

    checkForUpdates = new QAction(localized("Check for Updates…"), this);
    checkForUpdates->setObjectName(u"checkForUpdates"_s);
    checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    checkForUpdates->setEnabled(updater.canCheckForUpdates());
    connect(&updater, &UpdaterModel::canCheckForUpdatesChanged, checkForUpdates,
            &QAction::setEnabled);
    connect(checkForUpdates, &QAction::triggered, &updater, &UpdaterModel::checkForUpdates);

    about = new QAction(localized("About ") + u"VellSSH"_s, this);
    about->setObjectName(u"about"_s);
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &HelpCommands::aboutRequested);
}

void HelpCommands::addTo(QMenu *menu) const
{
    menu->addActions(pages.mid(0, 3));
    menu->addSeparator();
    menu->addActions(pages.mid(3));
    menu->addSeparator();
    menu->addAction(checkForUpdates);
    menu->addSeparator();
    menu->addAction(about);
}
