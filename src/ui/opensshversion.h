#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// The release named in `ssh -V`'s answer ("OpenSSH_9.2p1 Debian-2, OpenSSL 3.0.15 ..." gives
// "9.2p1"), or nothing when the answer is not OpenSSH's.
std::optional<QString> openSshVersionFromOutput(const QString &output);

// Asks the installed client for its version without waiting for it; the answer comes through
// the callback, which is called once, in the context's thread, unless the context goes first.
// No client, or one that does not say, answers nothing.
void probeOpenSshVersion(QObject *context,
                         std::function<void(const std::optional<QString> &)> answer);
