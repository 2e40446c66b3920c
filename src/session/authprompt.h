#pragma once

#include <QString>

#include <variant>

// What the client asks through ask-pass, as the answer must be found: a yes/no permission, free
// input, a login password, a keyboard-interactive question, a key passphrase or a PIN.
namespace AuthPrompt {
struct Permission
{
    QString prompt;
    friend bool operator==(const Permission &, const Permission &) = default;
};
struct Input
{
    QString prompt;
    friend bool operator==(const Input &, const Input &) = default;
};
struct Password
{
    QString user;
    QString host;
    friend bool operator==(const Password &, const Password &) = default;
};
struct Interactive
{
    QString user;
    QString host;
    QString question;
    friend bool operator==(const Interactive &, const Interactive &) = default;
};
struct PublicKey
{
    QString keyPath;
    friend bool operator==(const PublicKey &, const PublicKey &) = default;
};
struct Pkcs11
{
    QString prompt;
    friend bool operator==(const Pkcs11 &, const Pkcs11 &) = default;
};
} // namespace AuthPrompt

using AuthPromptType =
    std::variant<AuthPrompt::Permission, AuthPrompt::Input, AuthPrompt::Password,
                 AuthPrompt::Interactive, AuthPrompt::PublicKey, AuthPrompt::Pkcs11>;

AuthPromptType classifyPrompt(const QString &prompt);
