#include "projectsite.h"

using namespace Qt::StringLiterals;

namespace ProjectSite {

QString applicationVersion()
{
    return QStringLiteral(VELLSSH_VERSION);
}

// Tests serve a feed of their own on this machine.
QUrl appcastUrl()
{
    const QString testFeed = qEnvironmentVariable("VELLSSH_TEST_APPCAST_URL");
    return QUrl(testFeed.isEmpty() ? u"https://vellssh.io/appcast.xml"_s : testFeed);
}

const QList<HelpPage> &helpPages()
{
    static const QList<HelpPage> pages = {
        {"Request Support", QUrl(u"https://vellssh.io/support"_s)},
        {"Website", QUrl(u"https://vellssh.io/"_s)},
        {"Beta Program", QUrl(u"https://vellssh.io/beta"_s)},
        {"Howtos", QUrl(u"https://vellssh.io/howtos"_s)},
        {"Troubleshooting", QUrl(u"https://vellssh.io/troubleshooting"_s)},
        {"What's New", QUrl(u"https://vellssh.io/releases"_s)},
        {"Security & Privacy", QUrl(u"https://vellssh.io/security-privacy"_s)},
    };
    return pages;
}

QUrl helpHome()
{
    return helpPages().at(3).address;
}

} // namespace ProjectSite
