#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QUrl;
class UpdaterModel;

// The Help menu: the project's pages, "Check for Updates…" (enabled while no check runs) and
// "About VellSSH".
class HelpCommands : public QObject
{
    Q_OBJECT

public:
    HelpCommands(UpdaterModel &updater, QObject *parent);

    QAction *checkForUpdates = nullptr;
    QAction *about = nullptr;
    // In the order of ProjectSite::helpPages().
    QList<QAction *> pages;

    // Fills a menu with the entries, grouped.
    void addTo(QMenu *menu) const;

Q_SIGNALS:
    void aboutRequested();
};
