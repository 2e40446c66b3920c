#include "appicon.h"

using namespace Qt::StringLiterals;

QIcon appIcon()
{
    return QIcon::fromTheme(u"io.vellssh.VellSSH"_s, QIcon(u":/icons/io.vellssh.VellSSH.svg"_s));
}
