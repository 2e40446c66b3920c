#pragma once

#include "result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class Profile;

constexpr int vellShellNotInstalledCode = 1554;

// Opens profiles in Vell Shell, the terminal application that handles "vellssh:" URLs, with one
// URL per profile:
//     vellssh://localhost/open?uuid=UUID&name=NAME&host=ADDRESS&port=PORT&user=USER
// Every value is percent-encoded (UTF-8); a profile without a name, address or user leaves that
// item out. The application is whatever the desktop names as the handler of
// x-scheme-handler/vellssh; it is started from its desktop entry directly, so that it needs no
// display and no desktop session to be found.
class VellShellOpener
{
public:
    static QUrl profileURL(const Profile &profile);
    // Starts the handler for the profiles, detached: once with every URL when its entry takes
    // a list (%U), else once per URL.
    static Status open(const QList<Profile *> &profiles);

    // The command lines that a desktop entry's Exec value gives for the URLs: quoting and
    // escapes undone, %u, %U, %f and %F taking the URLs, %% a percent sign, other field codes
    // dropped. An Exec without a URL field code takes each URL at its end. None when the value
    // cannot be read (an unclosed quote, an empty command).
    static std::optional<QList<QStringList>> commandLines(const QString &exec,
                                                          const QStringList &urls);
    // The Exec value of the desktop entry file's [Desktop Entry] group, its escapes undone.
    static std::optional<QString> execValue(const QByteArray &desktopEntry);

private:
    static std::optional<QString> handlerId();
    static std::optional<QString> entryPath(const QString &id);
};
