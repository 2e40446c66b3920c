#pragma once

#include <QIcon>

// The application's icon: the installed theme's, else the one built in.
QIcon appIcon();
