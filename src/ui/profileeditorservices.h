#pragma once

#include <QString>

class IdentityKeyManager;
class NotificationPermission;
class PersistenceController;
class Settings;

// What the profile editors work with, handed in by the application.
struct ProfileEditorServices
{
    // The store: its main context receives saved edits; editors open scratch contexts on it.
    PersistenceController *store = nullptr;
    // The identity keys the pickers offer.
    IdentityKeyManager *identities = nullptr;
    // "user_config_file_path" for the equivalent command and the effective values, and where
    // the option list's divider is kept; none leaves both at their defaults.
    Settings *settings = nullptr;
    // The SSH service program that runs "ssh -G" for the effective values; empty shows none.
    QString serviceProgram;
    // Whether notices reach the user; none shows no permission note.
    NotificationPermission *notifications = nullptr;
};
