#include "profilevalidationform.h"

#include "forwarding.h"
#include "forwardingtype.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "textfolding.h"

#include <QJsonObject>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace {

constexpr ProfileValidationForm::Field allFields[] = {
    ProfileValidationForm::Field::profileName,
    ProfileValidationForm::Field::hostName,
    ProfileValidationForm::Field::loginName,
};

bool isPort(qint32 port)
{
    return port >= 1 && port <= 65535;
}

bool isSocketPath(const std::optional<QString> &address)
{
    return address && (address->startsWith(u'/') || address->startsWith(u"~/"_s));
}

bool isBlank(const std::optional<QString> &text)
{
    return !text || text->trimmed().isEmpty();
}

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool readsAsOption(const QString &text)
{
    return text.trimmed().startsWith(u'-');
}

bool endpointOk(const std::optional<QString> &address, qint32 port, bool needsAddress)
{
    if (!ProfileValidationForm::isAcceptableAddress(address))
        return false;
    if (isSocketPath(address))
        return true;
    if (needsAddress && isBlank(address))
        return false;
    return isPort(port);
}

struct TextRule
{
    QString field;
    qsizetype maximumLength;
    bool mayBeOption = false;
    bool mayHoldControls = false;
};

QString readsAsOptionMessage(const QString &field)
{
    return localized("the %1 starts with “-”, which ssh would read as an option").arg(field);
}

std::optional<QString> textProblem(const std::optional<QString> &text, const TextRule &rule)
{
    if (!text)
        return std::nullopt;
    if (text->size() > rule.maximumLength)
        return localized("the %1 is longer than %2 characters")
            .arg(rule.field, QLocale(QLocale::English).toString(rule.maximumLength));
    if (!rule.mayBeOption && readsAsOption(*text))
        return readsAsOptionMessage(rule.field);
    if (!rule.mayHoldControls && hasControlCharacter(*text))
        return localized("the %1 contains a control character").arg(rule.field);
    return std::nullopt;
}

using CheckedField = ProfileValidationForm::CheckedField;
using FieldProblem = ProfileValidationForm::FieldProblem;

// The client takes every option as one line of its configuration, so neither a name nor a value
// may break it; each host of a jump list would be read as an option when it starts with "-".
std::optional<QString> optionProblem(const QString &name, const QJsonValue &value)
{
    using Form = ProfileValidationForm;
    const TextRule nameRule{localized("option name"), Form::maximumOptionNameLength, true};
    if (auto problem = textProblem(name, nameRule))
        return problem;
    if (!value.isString())
        return std::nullopt;
    const bool jump = name == u"ProxyJump"_s;
    const QString field = jump ? localized("jump host") : localized("option “%1”").arg(name);
    const QString text = value.toString();
    if (auto problem = textProblem(text, {field, Form::maximumOptionValueLength, true}))
        return problem;
    const QStringList hosts = text.split(u',');
    if (jump && std::any_of(hosts.cbegin(), hosts.cend(), readsAsOption))
        return readsAsOptionMessage(field);
    return std::nullopt;
}

// Each problem as the reason fieldProblem gives, beginning in lower case.
QList<FieldProblem> problemReasons(const ProfileData &p)
{
    using Form = ProfileValidationForm;
    const std::tuple<CheckedField, const std::optional<QString> &, TextRule> texts[] = {
        {CheckedField::name, p.name, {localized("name"), Form::maximumNameLength, true}},
        {CheckedField::host, p.address, {localized("host"), Form::maximumHostLength}},
        {CheckedField::user, p.user, {localized("user"), Form::maximumUserLength}},
        {CheckedField::identityName,
         p.privateKeyName,
         {localized("identity name"), Form::maximumFileNameLength}},
        {CheckedField::certificateName,
         p.certificateName,
         {localized("certificate name"), Form::maximumFileNameLength}},
        {CheckedField::note, p.note, {localized("note"), Form::maximumNoteLength, true, true}},
    };
    QList<FieldProblem> problems;
    for (const auto &[field, text, rule] : texts) {
        if (auto problem = textProblem(text, rule))
            problems.append({field, QString(), *problem});
    }
    if (!p.options)
        return problems;
    for (auto it = p.options->begin(); it != p.options->end(); ++it) {
        if (auto problem = optionProblem(it.key(), it.value()))
            problems.append({CheckedField::option, it.key(), *problem});
    }
    return problems;
}

} // namespace

ProfileValidationForm::ProfileValidationForm(QObject *parent) : QObject(parent) {}

void ProfileValidationForm::setText(Field field, const QString &text)
{
    const bool wasValid = isValid();
    m_texts[int(field)] = text.trimmed();
    if (wasValid != isValid())
        Q_EMIT validityChanged();
}

QString ProfileValidationForm::text(Field field) const
{
    return m_texts[int(field)];
}

bool ProfileValidationForm::isValid(Field field) const
{
    return !m_texts[int(field)].isEmpty();
}

bool ProfileValidationForm::isValid() const
{
    return std::all_of(std::begin(allFields), std::end(allFields),
                       [this](Field f) { return isValid(f); });
}

QString ProfileValidationForm::message(Field field) const
{
    return isValid(field) ? QString() : requiredMessage(field);
}

QStringList ProfileValidationForm::messages() const
{
    QStringList result;
    for (Field field : allFields) {
        if (!isValid(field))
            result.append(requiredMessage(field));
    }
    return result;
}

QString ProfileValidationForm::requiredMessage(Field field)
{
    switch (field) {
    case Field::profileName:
        return localized("Descriptive name is required.");
    case Field::hostName:
        return localized("Hostname or IP address is required.");
    case Field::loginName:
        return localized("Username is required.");
    }
    return {};
}

QString ProfileValidationForm::fillInHint()
{
    return localized("Please check and fill in the fields marked in red.");
}

QString ProfileValidationForm::invalidForwardingsMessage()
{
    return localized("Invalid port forwarding values");
}

bool ProfileValidationForm::isAcceptable(const ForwardingData &f)
{
    const auto kind = forwardingTypeFromRaw(f.type);
    if (!kind)
        return false;
    switch (*kind) {
    case ForwardingType::local:
        return endpointOk(f.bindAddress, f.bindPort, false) &&
               endpointOk(f.targetAddress, f.targetPort, true);
    case ForwardingType::remote: {
        const bool noTarget = isBlank(f.targetAddress) && f.targetPort == 0;
        return endpointOk(f.bindAddress, f.bindPort, false) &&
               (noTarget || endpointOk(f.targetAddress, f.targetPort, true));
    }
    case ForwardingType::dynamic:
    case ForwardingType::reverseDynamic:
        return ProfileValidationForm::isAcceptableAddress(f.bindAddress) &&
               !isSocketPath(f.bindAddress) && isPort(f.bindPort);
    }
    return false;
}

bool ProfileValidationForm::isAcceptableAddress(const std::optional<QString> &address)
{
    return !address || (!readsAsOption(*address) && !hasControlCharacter(*address));
}

Status ProfileValidationForm::checkNameAvailable(const QString &name, const Profile *editing,
                                                 const ObjectContext &context)
{
    const QString wanted = nameKey(name);
    for (const Profile *other : context.profiles()) {
        if (other == editing || other->isInTrash() || !other->name())
            continue;
        if (nameKey(*other->name()) == wanted) {
            return Error{localized("The name “%1” is already taken").arg(name.trimmed()),
                         localized("Please choose a different name.")};
        }
    }
    return std::nullopt;
}

QString ProfileValidationForm::nameKey(const QString &name)
{
    return foldedForSearch(name.trimmed());
}

std::optional<QString> ProfileValidationForm::fieldProblem(const ProfileData &p)
{
    const QList<FieldProblem> problems = problemReasons(p);
    return problems.isEmpty() ? std::nullopt : std::optional(problems.first().message);
}

QList<ProfileValidationForm::FieldProblem>
ProfileValidationForm::fieldProblems(const ProfileData &profile)
{
    QList<FieldProblem> problems = problemReasons(profile);
    for (FieldProblem &problem : problems) {
        problem.message.front() = problem.message.front().toUpper();
        problem.message += u'.';
    }
    return problems;
}

Status ProfileValidationForm::validateForSave(const Profile &profile, const ObjectContext &context,
                                              const std::optional<QString> &savedName)
{
    ProfileValidationForm form;
    form.setText(Field::profileName, profile.name().value_or(QString()));
    form.setText(Field::hostName, profile.address().value_or(QString()));
    form.setText(Field::loginName, profile.user().value_or(QString()));
    if (!form.isValid())
        return Error{form.messages().join(u'\n'), fillInHint()};
    if (std::optional<QString> problem = fieldProblem(profile.data())) {
        problem->front() = problem->front().toUpper();
        return Error{*problem + u'.', fillInHint()};
    }
    for (const Forwarding *forwarding : profile.forwardings()) {
        if (forwarding->enabled() && !isAcceptable(forwarding->data()))
            return Error{invalidForwardingsMessage()};
    }
    if (profile.name() == savedName)
        return std::nullopt;
    return checkNameAvailable(*profile.name(), &profile, context);
}
