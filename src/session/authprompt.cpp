#include "authprompt.h"

#include "localized.h"
#include "promptrequest.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// User and host from the first blank-separated word holding "@", cut at any "'".
std::pair<QString, QString> userAndHost(const QString &prompt)
{
    const QStringList words = prompt.split(u' ', Qt::SkipEmptyParts);
    for (const QString &word : words) {
        if (!word.contains(u'@'))
            continue;
        const QString account = word.section(u'\'', 0, 0);
        return {account.section(u'@', 0, 0), account.section(u'@', 1)};
    }
    return {};
}

} // namespace

AuthPromptType classifyPrompt(const QString &prompt)
{
    if (prompt.startsWith(u"Answer "_s)) {
        const auto [user, host] = userAndHost(prompt);
        const qsizetype at = prompt.indexOf(u" question - "_s, 0, Qt::CaseInsensitive);
        const QString question = at < 0 ? QString() : prompt.mid(at + 12);
        return AuthPrompt::Interactive{user, host, question};
    }
    if (prompt.endsWith(u"'s password: "_s)) {
        const auto [user, host] = userAndHost(prompt);
        return AuthPrompt::Password{user, host};
    }
    static const QString passphrase = u"Enter passphrase for key '"_s;
    if (prompt.startsWith(u"Enter passphrase for key"_s)) {
        // A prompt too short to hold a quoted path is still a passphrase, for an unnamed key.
        if (prompt.startsWith(passphrase) && prompt.endsWith(u"': "_s) &&
            prompt.size() >= passphrase.size() + 3)
            return AuthPrompt::PublicKey{
                prompt.mid(passphrase.size(), prompt.size() - passphrase.size() - 3)};
        return AuthPrompt::PublicKey{QString()};
    }
    if (prompt.startsWith(u"Enter PIN "_s))
        return AuthPrompt::Pkcs11{prompt};
    if (prompt.contains(u"(yes/no"_s))
        return AuthPrompt::Permission{prompt};
    return AuthPrompt::Input{prompt};
}

namespace {

struct MessageOf
{
    QString operator()(const AuthPrompt::Permission &p) const { return p.prompt; }
    QString operator()(const AuthPrompt::Input &p) const { return p.prompt; }
    QString operator()(const AuthPrompt::Password &p) const
    {
        return localized("Enter %1@%2's password:").arg(p.user, p.host);
    }
    QString operator()(const AuthPrompt::Interactive &p) const
    {
        return localized("Answer %1@%2's question:").arg(p.user, p.host) + u' ' + p.question;
    }
    QString operator()(const AuthPrompt::PublicKey &p) const
    {
        return localized("Enter passphrase for key: ") + p.keyPath;
    }
    QString operator()(const AuthPrompt::Pkcs11 &p) const { return p.prompt; }
};

} // namespace

QString promptMessage(const PromptRequest &request)
{
    return std::visit(MessageOf{}, request.type);
}

QString promptKind(const AuthPromptType &type)
{
    static const char *const kinds[] = {"permission",  "input",     "password",
                                        "interactive", "publickey", "pkcs11"};
    return QString::fromLatin1(kinds[type.index()]);
}

bool isSecret(const AuthPromptType &type)
{
    return !std::holds_alternative<AuthPrompt::Permission>(type);
}

QString waitingText(const AuthPromptType &type)
{
    if (std::holds_alternative<AuthPrompt::Password>(type))
        return localized("Waiting for password");
    if (std::holds_alternative<AuthPrompt::PublicKey>(type))
        return localized("Waiting for passphrase");
    if (std::holds_alternative<AuthPrompt::Interactive>(type))
        return localized("Waiting for an answer");
    if (std::holds_alternative<AuthPrompt::Permission>(type))
        return localized("Waiting for confirmation");
    return localized("Waiting for input");
}

std::optional<QString> rememberText(const AuthPromptType &type)
{
    if (std::holds_alternative<AuthPrompt::Password>(type))
        return localized("Remember the password in keychain");
    if (std::holds_alternative<AuthPrompt::PublicKey>(type))
        return localized("Remember the passphrase in keychain");
    if (std::holds_alternative<AuthPrompt::Interactive>(type))
        return localized("Remember the answer in keychain");
    return std::nullopt;
}

PromptDialog promptDialog(const PromptRequest &request)
{
    PromptDialog dialog;
    dialog.message = promptMessage(request);
    dialog.rememberBox = rememberText(request.type);
    dialog.defaultButton = localized("OK");
    dialog.alternateButton = localized("Cancel");
    if (std::holds_alternative<AuthPrompt::Password>(request.type)) {
        dialog.title = localized("Authentication");
        dialog.field = localized("Password");
    } else if (std::holds_alternative<AuthPrompt::PublicKey>(request.type)) {
        dialog.title = localized("Authentication");
        dialog.field = localized("Passphrase");
    } else if (const auto *question = std::get_if<AuthPrompt::Interactive>(&request.type)) {
        dialog.title = localized("Authentication");
        dialog.message = localized("Answer %1@%2's question:").arg(question->user, question->host);
        dialog.field = question->question;
    } else if (std::holds_alternative<AuthPrompt::Permission>(request.type)) {
        dialog.title = localized("Confirmation");
        dialog.defaultButton = localized("No");
        dialog.alternateButton = localized("Yes");
    } else {
        dialog.title = localized("Input Required");
        dialog.field = localized("Input");
    }
    dialog.header = dialog.title;
    for (const QString &part : {request.sessionName, request.info}) {
        if (!part.isEmpty())
            dialog.header += u" — "_s + part;
    }
    return dialog;
}
