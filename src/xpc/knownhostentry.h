#pragma once

#include "result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One line of a known_hosts file as the service reads it.
struct KnownHostEntry
{
    enum class Status
    {
        invalid,
        ok,
        comment,
        matched
    };

    QString content;
    Status status = Status::ok;
    std::optional<QString> marker;
    std::optional<QString> hosts;
    std::optional<QString> rawkey;

    friend bool operator==(const KnownHostEntry &, const KnownHostEntry &) = default;

    // A line of the file: comments and blank lines, "[@marker] hosts keytype key [comment]",
    // and lines that are neither.
    static KnownHostEntry fromLine(const QString &line);
};

// The JSON array that travels between the service and the application: "content" and "status"
// ({"ok": {}} and the like) always, "marker", "hosts" and "rawkey" when set.
QByteArray knownHostsJSON(const QList<KnownHostEntry> &entries);
// Fails as a whole on a missing content or status, or an unknown status.
Result<QList<KnownHostEntry>> knownHostsFromJSON(const QByteArray &json);
