#include "profilevalidationform.h"

#include "forwarding.h"
#include "forwardingtype.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "textfolding.h"

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

bool endpointOk(const std::optional<QString> &address, qint32 port, bool needsAddress)
{
    if (isSocketPath(address))
        return true;
    if (needsAddress && isBlank(address))
        return false;
    return isPort(port);
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
        return !isSocketPath(f.bindAddress) && isPort(f.bindPort);
    }
    return false;
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

Status ProfileValidationForm::validateForSave(const Profile &profile, const ObjectContext &context,
                                              const std::optional<QString> &savedName)
{
    ProfileValidationForm form;
    form.setText(Field::profileName, profile.name().value_or(QString()));
    form.setText(Field::hostName, profile.address().value_or(QString()));
    form.setText(Field::loginName, profile.user().value_or(QString()));
    if (!form.isValid())
        return Error{form.messages().join(u'\n'), fillInHint()};
    for (const Forwarding *forwarding : profile.forwardings()) {
        if (forwarding->enabled() && !isAcceptable(forwarding->data()))
            return Error{invalidForwardingsMessage()};
    }
    if (profile.name() == savedName)
        return std::nullopt;
    return checkNameAvailable(*profile.name(), &profile, context);
}
