#pragma once

#include "forwardingtype.h"
#include "records.h"
#include "result.h"

#include <QString>

// Reads a forwarding as the client's own flags write it: "[bind:]port:host:hostport" for local
// and remote, "[bind:]port" for dynamic and reverse dynamic (a remote spec without a target is
// reverse dynamic), socket paths in place of a host and port, IPv6 addresses in brackets.
Result<ForwardingData> parseForwardingSpec(ForwardingType type, const QString &spec);
