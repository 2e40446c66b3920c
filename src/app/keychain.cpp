// glib names a member "signals"; its headers come before any of Qt's.
#include <libsecret/secret.h>

#include "keychain.h"

#include "localized.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct GFree
{
    void operator()(GError *error) const { g_error_free(error); }
    void operator()(GHashTable *table) const { g_hash_table_unref(table); }
    void operator()(SecretValue *value) const { secret_value_unref(value); }
    void operator()(GList *items) const { g_list_free_full(items, g_object_unref); }
    void operator()(SecretService *service) const { g_object_unref(service); }
    void operator()(SecretCollection *collection) const { g_object_unref(collection); }
};
template<typename T>
using GOwned = std::unique_ptr<T, GFree>;

const SecretSchema *schemaOf(KeychainItem::Kind kind)
{
    // Network passwords use the schema the desktop's own tools know, so that they show
    // and find them too.
    static const SecretSchema network = [] {
        SecretSchema schema{};
        schema.name = "org.gnome.keyring.NetworkPassword";
        schema.flags = SECRET_SCHEMA_NONE;
        schema.attributes[0] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};
        schema.attributes[1] = {"server", SECRET_SCHEMA_ATTRIBUTE_STRING};
        schema.attributes[2] = {"protocol", SECRET_SCHEMA_ATTRIBUTE_STRING};
        schema.attributes[3] = {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER};
        schema.attributes[4] = {"description", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return schema;
    }();
    static const SecretSchema generic = [] {
        SecretSchema schema{};
        schema.name = "io.vellssh.Password";
        schema.flags = SECRET_SCHEMA_NONE;
        schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        schema.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        schema.attributes[2] = {"description", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return schema;
    }();
    return kind == KeychainItem::Kind::internet ? &network : &generic;
}

enum class Port
{
    with,
    without
};

// The attributes that name the item; the description only describes it.
GOwned<GHashTable> attributesOf(const KeychainItem &item, Port port = Port::with)
{
    GOwned<GHashTable> table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    auto add = [&](const char *name, const QString &value) {
        g_hash_table_insert(table.get(), g_strdup(name), g_strdup(value.toUtf8().constData()));
    };
    if (item.kind == KeychainItem::Kind::generic) {
        add("service", item.server);
        add("account", item.account);
        return table;
    }
    add("server", item.server);
    add("protocol", u"ssh"_s);
    add("user", item.account);
    if (port == Port::with)
        add("port", QString::number(item.port));
    return table;
}

Error keychainError(const QString &doing, const GOwned<GError> &error)
{
    return Error(doing + u' ' + QString::fromUtf8(error ? error->message : ""));
}

GOwned<GList> search(const KeychainItem &item, Port port)
{
    GError *error = nullptr;
    GOwned<GList> items(secret_service_search_sync(
        nullptr, schemaOf(item.kind), attributesOf(item, port).get(),
        SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS),
        nullptr, &error));
    GOwned<GError> owned(error);
    return items;
}

std::optional<QString> secretOf(SecretItem *item)
{
    GOwned<SecretValue> value(secret_item_get_secret(item));
    if (!value)
        return std::nullopt;
    const char *text = secret_value_get_text(value.get());
    return text ? std::optional(QString::fromUtf8(text)) : std::nullopt;
}

// An item of the same server and user whose port was never recorded.
SecretItem *portlessItem(GList *items)
{
    for (GList *at = items; at; at = at->next) {
        auto *item = static_cast<SecretItem *>(at->data);
        GOwned<GHashTable> attributes(secret_item_get_attributes(item));
        if (!g_hash_table_contains(attributes.get(), "port"))
            return item;
    }
    return nullptr;
}

Error storeError(const GOwned<GError> &error)
{
    return keychainError(localized("The keychain could not store the secret:"), error);
}

// The collection the default alias names, unlocked. A service whose default alias names
// nothing (a keyring that never had its "login" collection) is asked to make one; the reason
// when it cannot.
Result<GOwned<SecretCollection>> defaultCollection()
{
    GError *error = nullptr;
    GOwned<SecretService> service(secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error));
    if (!service)
        return storeError(GOwned<GError>(error));
    GOwned<SecretCollection> collection(secret_collection_for_alias_sync(
        service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error));
    if (!collection && !error) {
        collection.reset(secret_collection_create_sync(
            service.get(), "Default keyring", SECRET_COLLECTION_DEFAULT,
            SECRET_COLLECTION_CREATE_NONE, nullptr, &error));
        if (!collection)
            return Error(localized("The keychain has no default collection, and the Secret "
                                   "Service did not make one:") +
                         u' ' +
                         (error ? QString::fromUtf8(GOwned<GError>(error)->message)
                                : localized("the request was dismissed.")));
    }
    if (!collection)
        return storeError(GOwned<GError>(error));
    if (secret_collection_get_locked(collection.get())) {
        GList *locked = g_list_append(nullptr, collection.get());
        secret_service_unlock_sync(service.get(), locked, nullptr, nullptr, &error);
        g_list_free(locked);
        if (error || secret_collection_get_locked(collection.get()))
            return Error(
                localized("The keychain's default collection stays locked.") +
                (error ? u' ' + QString::fromUtf8(GOwned<GError>(error)->message) : QString()));
    }
    return collection;
}

} // namespace

std::optional<KeychainItem> keychainItem(const PromptRequest &request)
{
    const QString port = QString::number(request.port);
    if (const auto *password = std::get_if<AuthPrompt::Password>(&request.type))
        return KeychainItem{KeychainItem::Kind::internet,
                            password->host,
                            request.port,
                            password->user,
                            password->host + u':' + port + u" ("_s + password->user + u')',
                            u"SSH password"_s};
    if (const auto *key = std::get_if<AuthPrompt::PublicKey>(&request.type))
        return KeychainItem{
            KeychainItem::Kind::generic,   u"io.vellssh.identity.passphrase"_s, 0, key->keyPath,
            u"VellSSH: "_s + key->keyPath, u"SSH identity passhrase"_s};
    if (const auto *question = std::get_if<AuthPrompt::Interactive>(&request.type)) {
        const QString host = question->host == u"::"_s ? u"[::]"_s : question->host;
        const QString account = u'[' + question->question + u"](io.vellssh.interactive)"_s;
        return KeychainItem{KeychainItem::Kind::internet,
                            host,
                            request.port,
                            account,
                            host + u':' + port + u' ' + account,
                            u"SSH interactive information"_s};
    }
    return std::nullopt;
}

std::optional<QString> Keychain::find(const KeychainItem &item) const
{
    GOwned<GList> items = search(item, Port::with);
    if (items)
        return secretOf(static_cast<SecretItem *>(items->data));
    if (item.kind != KeychainItem::Kind::internet)
        return std::nullopt;
    GOwned<GList> older = search(item, Port::without);
    SecretItem *old = portlessItem(older.get());
    const std::optional<QString> secret = old ? secretOf(old) : std::nullopt;
    if (secret && !store(item, *secret))
        secret_item_delete_sync(old, nullptr, nullptr);
    return secret;
}

Status Keychain::store(const KeychainItem &item, const QString &secret) const
{
    auto collection = defaultCollection();
    if (!collection)
        return collection.error();
    GOwned<GHashTable> attributes = attributesOf(item);
    g_hash_table_insert(attributes.get(), g_strdup("description"),
                        g_strdup(item.description.toUtf8().constData()));
    const QByteArray text = secret.toUtf8();
    GOwned<SecretValue> value(secret_value_new(text.constData(), text.size(), "text/plain"));
    GError *error = nullptr;
    SecretItem *stored = secret_item_create_sync(
        collection->get(), schemaOf(item.kind), attributes.get(), item.label.toUtf8().constData(),
        value.get(), SECRET_ITEM_CREATE_REPLACE, nullptr, &error);
    GOwned<GError> owned(error);
    if (!stored)
        return storeError(owned);
    g_object_unref(stored);
    return std::nullopt;
}

Status Keychain::remove(const KeychainItem &item) const
{
    GError *error = nullptr;
    secret_service_clear_sync(nullptr, schemaOf(item.kind), attributesOf(item).get(), nullptr,
                              &error);
    GOwned<GError> owned(error);
    if (error)
        return keychainError(localized("The keychain could not remove the secret:"), owned);
    return std::nullopt;
}
