#pragma once

#include "promptrequest.h"
#include "result.h"

#include <QString>

#include <optional>

// Where one remembered answer lives. Internet items carry the network-password attributes
// (server, port, protocol "ssh", user); generic items a service and an account.
struct KeychainItem
{
    enum class Kind
    {
        internet,
        generic
    };

    Kind kind = Kind::internet;
    // The host of an internet item, the service of a generic one.
    QString server;
    int port = 0;
    QString account;
    QString label;
    QString description;

    friend bool operator==(const KeychainItem &, const KeychainItem &) = default;
};

// The item that keeps the answer to a question, for the questions whose answers can be kept.
std::optional<KeychainItem> keychainItem(const PromptRequest &request);

// Secrets in the desktop's Secret Service, reached through libsecret. Calls block until the
// service answers, so callers keep them off the main thread; they are safe from any thread.
// Without a Secret Service nothing is found and nothing can be stored.
class Keychain
{
public:
    // A failed read counts as nothing stored. An internet item that is only found without
    // its port (where it was kept before ports were part of it) is moved to the item asked for.
    std::optional<QString> find(const KeychainItem &item) const;
    // Replaces what the item held before.
    Status store(const KeychainItem &item, const QString &secret) const;
    Status remove(const KeychainItem &item) const;
};
