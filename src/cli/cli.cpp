#include "cli.h"

#include "daemoncommands.h"

#include "forwarding.h"
#include "forwardingspec.h"
#include "identitykeymanager.h"
#include "localized.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileedit.h"
#include "profileflags.h"
#include "profilejson.h"
#include "profilevalidationform.h"
#include "queries.h"
#include "settings.h"
#include "sshclientconfig.h"
#include "sshinvocation.h"
#include "tag.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

Cli::Cli(QTextStream &out, QTextStream &err, QTextStream &in) : m_out(out), m_err(err), m_in(in) {}

Cli::~Cli() = default;

QString Cli::usage()
{
    return uR"(Usage: vellssh-cli COMMAND [ARGUMENTS]

PROFILE is a profile's uuid or its exact name.

  list [--tag NAME | --untagged | --trash] [--search TEXT] [--json]
  show PROFILE [--json]
  add --name NAME --host HOST [--port N] [--user USER] [--identity FILE]
      [--certificate FILE] [-L SPEC]... [-R SPEC]... [-D SPEC]... [--reverse-dynamic SPEC]...
      [--option KEY=VALUE]... [--tag NAME]... [--pin] [--auto-connect] [--retries N]
      [--note TEXT]
  edit PROFILE [the flags of add] [--option KEY=] [--clear-forwardings] [--no-auto-connect]
  command PROFILE [--args]
  trash | recover | duplicate | pin | unpin PROFILE...
  delete PROFILE... [--yes]
  tag list | create NAME | rename OLD NEW | delete NAME
  tag add NAME PROFILE... | remove NAME PROFILE...
  settings [get KEY | set KEY VALUE]
  export PROFILE... | --all -o FILE
  import FILE [--replace | --skip]
  backup folder [PATH | --off] | now | list
  sync folder [PATH | --off] | now | status

With a running VellSSH (vellssh --headless):
  connect | disconnect PROFILE... | --tag NAME | --all [--no-wait]
  reconnect PROFILE... [--no-wait]
  status [--watch]
  log PROFILE [--follow]

Forwarding SPECs: -L [bind:]port:host:hostport, -R [bind:]port:host:hostport,
-R [bind:]port (reverse dynamic), -D [bind:]port; a socket path may stand for host:port,
IPv6 addresses go in brackets.
)"_s;
}

int Cli::fail(const QString &message)
{
    m_err << message << Qt::endl;
    return failure;
}

int Cli::usageFailure(const QString &message)
{
    m_err << message << u"\n\n"_s << usage();
    m_err.flush();
    return usageError;
}

int Cli::run(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return usageFailure(localized("No command given."));
    const QString verb = arguments.first();
    const QStringList rest = arguments.mid(1);
    if (verb == u"help"_s || verb == u"--help"_s || verb == u"-h"_s) {
        m_out << usage();
        return success;
    }
    if (verb == u"settings"_s)
        return settings(rest);
    if (DaemonCommands::handles(verb))
        return DaemonCommands(m_out, m_err).run(verb, rest);
    using Command = int (Cli::*)(const QStringList &);
    static const QHash<QString, Command> commands{{u"list"_s, &Cli::list},
                                                  {u"show"_s, &Cli::show},
                                                  {u"add"_s, &Cli::add},
                                                  {u"edit"_s, &Cli::edit},
                                                  {u"command"_s, &Cli::command},
                                                  {u"tag"_s, &Cli::tag},
                                                  {u"export"_s, &Cli::exportProfiles},
                                                  {u"import"_s, &Cli::importFile},
                                                  {u"backup"_s, &Cli::backup},
                                                  {u"sync"_s, &Cli::sync}};
    static const QStringList profileVerbs = {u"trash"_s,     u"recover"_s, u"delete"_s,
                                             u"duplicate"_s, u"pin"_s,     u"unpin"_s};
    const Command command = commands.value(verb);
    if (!command && !profileVerbs.contains(verb))
        return usageFailure(localized("Unknown command “%1”.").arg(verb));
    if (!openStore())
        return failure;
    return command ? (this->*command)(rest) : manyProfiles(verb, rest);
}

bool Cli::openStore()
{
    auto store =
        PersistenceController::open(StoreLocation::file(PersistenceController::defaultStorePath()),
                                    PersistenceController::cliAuthor);
    if (!store) {
        fail(localized("Local Store Error") + u": "_s + store.error().message);
        return false;
    }
    m_store = std::move(store).value();
    return true;
}

ObjectContext &Cli::context()
{
    return *m_store->mainContext();
}

Settings &Cli::settingsStore()
{
    if (!m_settings) {
        m_settings = std::make_unique<Settings>();
        if (auto problem = m_settings->takeProblem())
            m_err << problem->message << Qt::endl;
    }
    return *m_settings;
}

Result<Profile *> Cli::resolve(const QString &reference, Scope scope)
{
    const QUuid uuid(reference);
    QList<Profile *> matches;
    for (Profile *profile : validProfiles(context())) {
        const bool inScope = scope == Scope::all || (scope == Scope::trash) == profile->isInTrash();
        if (!inScope)
            continue;
        if ((!uuid.isNull() && profile->uuid() == uuid) || profile->name() == reference)
            matches.append(profile);
    }
    if (matches.isEmpty())
        return Error(localized("No profile “%1”.").arg(reference));
    if (matches.size() > 1) {
        QStringList lines;
        for (const Profile *profile : std::as_const(matches))
            lines.append(u"  "_s + profile->scriptUUID().value_or(QString()) + u"  "_s +
                         profile->displayName());
        return Error(localized("“%1” names %2 profiles; use a uuid:\n%3")
                         .arg(reference)
                         .arg(matches.size())
                         .arg(lines.join(u'\n')));
    }
    return matches.first();
}

Result<QList<Profile *>> Cli::resolveAll(const QStringList &references, Scope scope)
{
    QList<Profile *> profiles;
    for (const QString &reference : references) {
        auto profile = resolve(reference, scope);
        if (!profile)
            return profile.error();
        if (!profiles.contains(*profile))
            profiles.append(*profile);
    }
    return profiles;
}

namespace {

InvocationInputs invocationInputs(const Settings &settings)
{
    return {SSHClientConfig::shared().knownOptionNameSet(), IdentityKeyManager::defaultDirectory(),
            settings.get(SettingKeys::userConfigFilePath)};
}

QString destination(const Profile &profile)
{
    QString text = profile.address().value_or(QString());
    if (profile.user() && !profile.user()->isEmpty())
        text = *profile.user() + u'@' + text;
    if (profile.port() > 0)
        text += u':' + QString::number(profile.port());
    return text;
}

QString forwardingSummary(const Forwarding &forwarding)
{
    return forwardingArguments(forwarding.data()).join(u' ');
}

QStringList tagNames(const Profile &profile)
{
    QStringList names;
    for (const Tag *tag : profile.tags())
        names.append(tag->name().value_or(QString()));
    names.sort(Qt::CaseInsensitive);
    return names;
}

QString json(const QJsonValue &value)
{
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(document.toJson(QJsonDocument::Indented));
}

} // namespace

int Cli::list(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {u"--tag"_s, u"--search"_s},
                                  {u"--untagged"_s, u"--trash"_s, u"--json"_s});
    if (!flags)
        return usageFailure(flags.error().message);
    const int selections = int(flags->values.contains(u"--tag"_s)) +
                           int(flags->switches.contains(u"--untagged"_s)) +
                           int(flags->switches.contains(u"--trash"_s));
    if (selections > 1 || !flags->positionals.isEmpty())
        return usageFailure(localized("list takes one of --tag, --untagged and --trash."));

    SidebarItem selection = SidebarItem::all();
    if (flags->switches.contains(u"--trash"_s))
        selection = SidebarItem::trash();
    else if (flags->switches.contains(u"--untagged"_s))
        selection = SidebarItem::untagged();
    else if (flags->values.contains(u"--tag"_s)) {
        Tag *tag = tagNamed(flags->values.value(u"--tag"_s), context());
        if (!tag)
            return fail(localized("No tag “%1”.").arg(flags->values.value(u"--tag"_s)));
        selection = SidebarItem::forTag(tag);
    }
    QList<Profile *> profiles = profilesIn(context(), selection);
    ProfileSearch search(&context());
    profiles = search.filter(profiles, flags->values.value(u"--search"_s));

    if (flags->switches.contains(u"--json"_s)) {
        QJsonArray array;
        for (const Profile *profile : std::as_const(profiles))
            array.append(profileJSON(*profile));
        m_out << json(array);
        return success;
    }
    for (const Profile *profile : std::as_const(profiles)) {
        QStringList forwardings;
        for (const Forwarding *forwarding : profile->sortedForwardings()) {
            if (forwarding->enabled())
                forwardings.append(forwardingSummary(*forwarding));
        }
        m_out << (profile->pinned() ? u"* "_s : u"  "_s) << profile->displayName() << u'\t'
              << destination(*profile) << u'\t' << forwardings.join(u", "_s) << u'\t'
              << tagNames(*profile).join(u", "_s) << u'\n';
    }
    return success;
}

int Cli::show(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--json"_s});
    if (!flags)
        return usageFailure(flags.error().message);
    if (flags->positionals.size() != 1)
        return usageFailure(localized("show takes one PROFILE."));
    auto profile = resolve(flags->positionals.first(), Scope::all);
    if (!profile)
        return fail(profile.error().message);
    Profile &p = **profile;
    if (flags->switches.contains(u"--json"_s)) {
        m_out << json(profileJSON(p));
        return success;
    }
    auto line = [this](const QString &label, const QString &value) {
        if (!value.isEmpty())
            m_out << label << u": "_s << value << u'\n';
    };
    line(localized("Name"), p.displayName());
    line(localized("UUID"), p.scriptUUID().value_or(QString()));
    line(localized("Host"), p.address().value_or(QString()));
    line(localized("Port"), p.port() > 0 ? QString::number(p.port()) : QString());
    line(localized("User"), p.user().value_or(QString()));
    line(localized("Identity"), p.privateKeyName().value_or(QString()));
    line(localized("Certificate"), p.certificateName().value_or(QString()));
    line(localized("Tags"), tagNames(p).join(u", "_s));
    line(localized("Pinned"), p.pinned() ? localized("yes") : QString());
    line(localized("Auto-connect"), p.autoConnect() ? localized("yes") : QString());
    line(localized("Retries"), QString::number(p.retryAttempts()));
    line(localized("In the trash since"),
         p.deletedOn() ? p.deletedOn()->toString(Qt::ISODate) : QString());
    line(localized("Note"), p.note().value_or(QString()));
    const OptionDictionary options = p.optionsForReading();
    for (auto it = options.cbegin(); it != options.cend(); ++it)
        line(localized("Option"), it.key() + u'=' + it.value());
    for (const Forwarding *forwarding : p.sortedForwardings()) {
        line(longTitle(forwarding->kind()),
             forwardingSummary(*forwarding) +
                 (forwarding->enabled() ? QString() : u" ("_s + localized("disabled") + u')'));
    }
    line(localized("Command"), sshInvocation(p, invocationInputs(settingsStore())).command);
    return success;
}

Result<ProfileEdit> Cli::profileEdit(const ProfileFlags &flags)
{
    ProfileEdit edit;
    edit.name = flags.name;
    edit.host = flags.host;
    edit.port = flags.port;
    edit.user = flags.user;
    edit.note = flags.note;
    edit.retryAttempts = flags.retries;
    edit.options = flags.options;
    edit.clearForwardings = flags.clearForwardings;
    edit.tags = flags.tags;
    if (flags.pin)
        edit.pinned = true;
    if (flags.autoConnect || flags.noAutoConnect)
        edit.autoConnect = flags.autoConnect;
    const QString keys = IdentityKeyManager::defaultDirectory();
    for (const auto &[file, name] : {std::pair{&flags.identity, &edit.privateKeyName},
                                     std::pair{&flags.certificate, &edit.certificateName}}) {
        if (!*file)
            continue;
        auto inFolder = keyNameInFolder(**file, keys);
        if (!inFolder)
            return inFolder.error();
        *name = inFolder->value_or(QString());
    }
    noteUnusedOptions(flags.options);
    for (const auto &[type, spec] : flags.forwardings) {
        auto data = parseForwardingSpec(type, spec);
        if (!data)
            return data.error();
        edit.forwardings.append(*data);
    }
    return edit;
}

void Cli::noteUnusedOptions(const QList<QPair<QString, QString>> &options)
{
    const SSHClientConfig &catalogue = SSHClientConfig::shared();
    for (const auto &[key, value] : options) {
        const bool used = value.isEmpty() || catalogue.knownOptionNames().contains(key) ||
                          ParameterBuilder::skipQuickOptions.contains(key) ||
                          key == u"UserNotification"_s;
        if (!used) {
            m_err << localized("Note: “%1” is kept, but it is not an option that VellSSH "
                               "passes to ssh.")
                         .arg(key)
                  << u'\n';
        }
    }
}

Status Cli::applyFlags(Profile &profile, const ProfileFlags &flags)
{
    const auto edit = profileEdit(flags);
    if (!edit)
        return edit.error();
    if (const auto applied = edit->apply(context(), profile); !applied)
        return applied.error();
    return std::nullopt;
}

int Cli::saveOrReport(Profile *validate, const std::optional<QString> &savedName)
{
    // Checked against the store as it is when the write starts, not as this command read it.
    std::function<Status()> check;
    if (validate) {
        check = [this, validate, savedName] {
            return ProfileValidationForm::validateForSave(*validate, context(), savedName);
        };
    }
    if (auto error = context().saveIfChanged(check)) {
        m_err << error->message << u'\n';
        if (!error->recoverySuggestion.isEmpty())
            m_err << error->recoverySuggestion << u'\n';
        m_err.flush();
        return failure;
    }
    return success;
}

int Cli::add(const QStringList &arguments)
{
    auto flags = parseProfileFlags(arguments, false);
    if (!flags)
        return usageFailure(flags.error().message);
    if (!flags->positionals.isEmpty())
        return usageFailure(localized("Unexpected argument “%1”.").arg(flags->positionals.first()));
    if (!flags->name)
        flags->name = QString();
    if (!flags->host)
        flags->host = QString();
    if (!flags->user)
        flags->user = QString();
    Profile *profile = context().insertProfile();
    if (auto error = applyFlags(*profile, *flags))
        return fail(error->message);
    const int result = saveOrReport(profile);
    if (result == success)
        m_out << profile->scriptUUID().value_or(QString()) << u'\n';
    return result;
}

int Cli::edit(const QStringList &arguments)
{
    auto flags = parseProfileFlags(arguments, true);
    if (!flags)
        return usageFailure(flags.error().message);
    if (flags->positionals.size() != 1)
        return usageFailure(localized("edit takes one PROFILE."));
    auto profile = resolve(flags->positionals.first(), Scope::live);
    if (!profile)
        return fail(profile.error().message);
    const std::optional<QString> savedName = (*profile)->name();
    if (auto error = applyFlags(**profile, *flags))
        return fail(error->message);
    return saveOrReport(*profile, savedName);
}

int Cli::command(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--args"_s});
    if (!flags)
        return usageFailure(flags.error().message);
    if (flags->positionals.size() != 1)
        return usageFailure(localized("command takes one PROFILE."));
    auto profile = resolve(flags->positionals.first(), Scope::all);
    if (!profile)
        return fail(profile.error().message);
    const SSHInvocation invocation = sshInvocation(**profile, invocationInputs(settingsStore()));
    if (flags->switches.contains(u"--args"_s)) {
        for (const QString &word : invocation.params)
            m_out << word << u'\n';
    } else {
        m_out << invocation.command << u'\n';
    }
    return success;
}

int Cli::manyProfiles(const QString &verb, const QStringList &arguments)
{
    const bool deleting = verb == u"delete"_s;
    auto flags =
        parseSimpleFlags(arguments, {}, deleting ? QStringList{u"--yes"_s} : QStringList{});
    if (!flags)
        return usageFailure(flags.error().message);
    if (flags->positionals.isEmpty())
        return usageFailure(localized("%1 takes at least one PROFILE.").arg(verb));
    const Scope scope = verb == u"recover"_s ? Scope::trash : deleting ? Scope::all : Scope::live;
    auto profiles = resolveAll(flags->positionals, scope);
    if (!profiles)
        return fail(profiles.error().message);

    if (verb == u"trash"_s) {
        moveToTrash(*profiles);
    } else if (verb == u"recover"_s) {
        QList<std::pair<Profile *, QString>> names;
        for (Profile *profile : std::as_const(*profiles))
            names.append({profile, profile->displayName()});
        recover(*profiles, context());
        const int code = saveOrReport(nullptr);
        for (const auto &[profile, name] : std::as_const(names)) {
            if (code == success && profile->displayName() != name)
                m_out << localized("“%1” was recovered as “%2”: the name is taken.")
                             .arg(name, profile->displayName())
                      << u'\n';
        }
        return code;
    } else if (verb == u"pin"_s || verb == u"unpin"_s) {
        setPinned(*profiles, verb == u"pin"_s);
    } else if (verb == u"duplicate"_s) {
        for (Profile *profile : std::as_const(*profiles))
            m_out << duplicateProfile(profile, context())->displayName() << u'\n';
    } else if (deleting) {
        if (!flags->switches.contains(u"--yes"_s)) {
            m_out << localized("Delete %1 profile(s)? You cannot undo this action. [y/N] ")
                         .arg(profiles->size());
            m_out.flush();
            const QString answer = m_in.readLine().trimmed().toLower();
            if (answer != u"y"_s && answer != u"yes"_s)
                return fail(localized("Nothing was deleted."));
        }
        if (auto error = deletePermanently(*profiles, context()))
            return fail(error->message);
        return success;
    }
    return saveOrReport(nullptr);
}

int Cli::tag(const QStringList &arguments)
{
    const QString sub = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    ObjectContext &ctx = context();
    auto needTag = [&](const QString &name) -> Result<Tag *> {
        if (Tag *tag = tagNamed(name, ctx))
            return tag;
        return Error(localized("No tag “%1”.").arg(name));
    };
    if (sub == u"list"_s && rest.isEmpty()) {
        QList<Tag *> tags = ctx.tags();
        std::sort(tags.begin(), tags.end(), [](const Tag *a, const Tag *b) {
            return a->name().value_or(QString()).compare(b->name().value_or(QString()),
                                                         Qt::CaseInsensitive) < 0;
        });
        for (const Tag *tag : std::as_const(tags)) {
            const qsizetype count =
                profilesIn(ctx, SidebarItem::forTag(const_cast<Tag *>(tag))).size();
            m_out << tag->name().value_or(QString()) << u'\t' << count << u'\n';
        }
        return success;
    }
    if (sub == u"create"_s && rest.size() == 1) {
        if (auto error = validateTagName(rest[0], nullptr, ctx))
            return fail(error->message + u' ' + error->recoverySuggestion);
        ctx.insertTag()->setName(rest[0]);
        return saveOrReport(nullptr);
    }
    if (sub == u"rename"_s && rest.size() == 2) {
        auto tag = needTag(rest[0]);
        if (!tag)
            return fail(tag.error().message);
        if (auto error = validateTagName(rest[1], *tag, ctx))
            return fail(error->message + u' ' + error->recoverySuggestion);
        (*tag)->setName(rest[1]);
        return saveOrReport(nullptr);
    }
    if (sub == u"delete"_s && rest.size() == 1) {
        auto tag = needTag(rest[0]);
        if (!tag)
            return fail(tag.error().message);
        ctx.deleteObject(*tag);
        return saveOrReport(nullptr);
    }
    if ((sub == u"add"_s || sub == u"remove"_s) && rest.size() >= 2) {
        auto tag = needTag(rest[0]);
        if (!tag)
            return fail(tag.error().message);
        auto profiles = resolveAll(rest.mid(1), Scope::live);
        if (!profiles)
            return fail(profiles.error().message);
        for (Profile *profile : std::as_const(*profiles)) {
            if (sub == u"add"_s)
                profile->addTag(*tag);
            else
                profile->removeTag(*tag);
        }
        return saveOrReport(nullptr);
    }
    return usageFailure(localized("Unknown or incomplete tag command."));
}

int Cli::settings(const QStringList &arguments)
{
    const QList<SettingText> &texts = settingTexts();
    auto find = [&](const QString &name) -> const SettingText * {
        for (const SettingText &text : texts) {
            if (text.name == name)
                return &text;
        }
        return nullptr;
    };
    if (arguments.isEmpty()) {
        for (const SettingText &text : texts)
            m_out << text.name << u" = "_s << text.read(settingsStore()) << u'\n';
        return success;
    }
    const QString sub = arguments[0];
    const SettingText *text = find(arguments.value(1));
    if ((sub == u"get"_s && arguments.size() == 2) || (sub == u"set"_s && arguments.size() == 3)) {
        if (!text)
            return usageFailure(localized("Unknown setting “%1”.").arg(arguments[1]));
        if (sub == u"get"_s) {
            m_out << text->read(settingsStore()) << u'\n';
            return success;
        }
        if (auto error = text->write(settingsStore(), arguments[2])) {
            return error->code == Settings::writeFailedCode ? fail(error->message)
                                                            : usageFailure(error->message);
        }
        return success;
    }
    return usageFailure(localized("settings takes get KEY or set KEY VALUE."));
}
