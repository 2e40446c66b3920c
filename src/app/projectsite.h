#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// The project's addresses, in one place.
namespace ProjectSite {

// The release this program is.
QString applicationVersion();

// The feed of releases that the updater reads.
QUrl appcastUrl();

struct HelpPage
{
    // The menu entry, untranslated: the menu looks it up with localized().
    const char *title;
    QUrl address;
};

// The help menu's pages in menu order: "Request Support", "Website", "Beta Program", "Howtos",
// "Troubleshooting", "What's New", "Security & Privacy".
const QList<HelpPage> &helpPages();

// Where general help starts (the menu-bar menu's "Help", F1): the howtos.
QUrl helpHome();

} // namespace ProjectSite
