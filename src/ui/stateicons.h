#pragma once

#include "sessionstate.h"

#include <QIcon>
#include <QSize>

// The mark in front of a profile's name: a dot coloured by its session's state (grey while
// idle, amber while a connection is on its way, green when connected, red after an unexpected
// end), and a pin beside it for a pinned profile.
QIcon stateIcon(SessionState state, bool pinned);
inline constexpr QSize stateIconSize{28, 16};
