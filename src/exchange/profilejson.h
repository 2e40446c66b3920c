#pragma once

#include <QJsonObject>

class Profile;
class Forwarding;
class Tag;

// The interchange form of the records: every stored attribute under its own name (booleans and
// uuids always, the rest when set), forwardings by ascending priority with their kind by name,
// and the tags. deletedOn is written as an ISO 8601 date and time in UTC with milliseconds.
QJsonObject profileJSON(const Profile &profile);
QJsonObject forwardingJSON(const Forwarding &forwarding);
QJsonObject tagJSON(const Tag &tag);
