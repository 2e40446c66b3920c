#pragma once

#include <QJsonObject>
#include <QList>

class Profile;
class Forwarding;
class Tag;

// The interchange form of the records: every stored attribute under its own name (booleans and
// uuids always, the rest when set), forwardings by ascending priority with their kind by name,
// and the tags. deletedOn is written as an ISO 8601 date and time in UTC with milliseconds.
QJsonObject profileJSON(const Profile &profile);
QJsonObject forwardingJSON(const Forwarding &forwarding);
QJsonObject tagJSON(const Tag &tag);

// The order in which a profile's relations are written: forwardings by priority, tags by name,
// and uuids where those tie, so that a profile reads back the same whatever order its
// relations were loaded in.
QList<const Forwarding *> forwardingsInOrder(const Profile &profile);
QList<const Tag *> tagsInOrder(const Profile &profile);
