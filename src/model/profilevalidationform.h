#pragma once

#include "namearguments.h"
#include "records.h"
#include "result.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class ObjectContext;
class Profile;

// The required fields of the profile editor, each with its non-empty rule and message, and the
// checks that refuse a save.
class ProfileValidationForm : public QObject
{
    Q_OBJECT

public:
    enum class Field
    {
        profileName,
        hostName,
        loginName
    };

    explicit ProfileValidationForm(QObject *parent = nullptr);

    void setText(Field field, const QString &text);
    QString text(Field field) const;
    bool isValid(Field field) const;
    bool isValid() const;
    // The message of a field in error, or an empty text.
    QString message(Field field) const;
    QStringList messages() const;

    static QString requiredMessage(Field field);
    static QString fillInHint();
    static QString invalidForwardingsMessage();

    // Ports must lie in 1...65535 where a port is used, a local or remote forward needs a
    // target host (or socket path) with a port, and dynamic kinds listen on a port, never on a
    // socket path. Disabled forwardings are not checked: they are kept but never used.
    // An address that starts with "-" or holds a control character is never acceptable: the
    // client would read the first as an option and refuses the second.
    static bool isAcceptable(const ForwardingData &forwarding);
    // What isAcceptable asks of every forwarding address.
    static bool isAcceptableAddress(const std::optional<QString> &address);
    // The longest texts a field may hold, in characters.
    // The same limit that names typed on the command line or sent by scripts meet first.
    static constexpr qsizetype maximumNameLength = maxNameLength;
    static constexpr qsizetype maximumHostLength = 1024;
    static constexpr qsizetype maximumUserLength = 256;
    static constexpr qsizetype maximumFileNameLength = 255;
    static constexpr qsizetype maximumOptionNameLength = 256;
    static constexpr qsizetype maximumOptionValueLength = 4096;
    static constexpr qsizetype maximumNoteLength = 65536;
    // The first field that the client would misread, that holds a control character, or that
    // is longer than its limit, as a reason that names the field ("the host starts with …");
    // nothing when every field can be stored and used. Empty fields are left to the required
    // field rules.
    static std::optional<QString> fieldProblem(const ProfileData &profile);
    // Where a problem of fieldProblem lies, for a form that shows it beside its field.
    enum class CheckedField
    {
        name,
        host,
        user,
        identityName,
        certificateName,
        note,
        option
    };
    struct FieldProblem
    {
        CheckedField field;
        // The option's name, for problems of an option.
        QString option;
        // A sentence: "The user starts with “-”, …".
        QString message;
    };
    // Every problem fieldProblem would find, in its order.
    static QList<FieldProblem> fieldProblems(const ProfileData &profile);
    // Names are unique among the profiles a user can see and pick by name: live ones, compared
    // without regard to case. Trashed profiles do not block a name.
    static Status checkNameAvailable(const QString &name, const Profile *editing,
                                     const ObjectContext &context);
    // What two names that count as one have in common.
    static QString nameKey(const QString &name);
    // Everything that refuses a save, in the editor's order. The name is checked only when the
    // save sets it: a profile that keeps the name it was saved under (savedName) stays editable
    // even when another profile carries that name too, as sync can bring about.
    static Status validateForSave(const Profile &profile, const ObjectContext &context,
                                  const std::optional<QString> &savedName = std::nullopt);

Q_SIGNALS:
    void validityChanged();

private:
    QString m_texts[3];
};
