#include "tagcommand.h"

#include "localized.h"
#include "namearguments.h"
#include "objectcontext.h"
#include "profile.h"
#include "queries.h"
#include "tag.h"

#include <limits>

using namespace Qt::StringLiterals;

CommandHelp TagCommand::help()
{
    return {uR"(tag list | create NAME | rename OLD NEW | delete NAME
tag add NAME PROFILE... | remove NAME PROFILE...)"_s,
            localized("List, create, rename and delete tags, and tag or untag profiles."),
            localized("Tag names are compared exactly: “Lab” and “lab” are two tags. list shows "
                      "each tag with the number of its profiles."),
            {}};
}

Status TagCommand::parse(const QStringList &arguments)
{
    struct Shape
    {
        QString name;
        Action action;
        qsizetype fewest;
        qsizetype most;
    };
    static const Shape shapes[] = {
        {u"list"_s, Action::list, 0, 0},
        {u"create"_s, Action::create, 1, 1},
        {u"rename"_s, Action::rename, 2, 2},
        {u"delete"_s, Action::remove, 1, 1},
        {u"add"_s, Action::tagProfiles, 2, std::numeric_limits<qsizetype>::max()},
        {u"remove"_s, Action::untagProfiles, 2, std::numeric_limits<qsizetype>::max()},
    };
    auto operands = nameArguments(arguments.mid(1));
    if (!operands)
        return operands.error();
    m_operands = *operands;
    for (const Shape &shape : shapes) {
        if (shape.name == arguments.value(0) && m_operands.size() >= shape.fewest &&
            m_operands.size() <= shape.most) {
            m_action = shape.action;
            return std::nullopt;
        }
    }
    return Error(localized("Unknown or incomplete tag command."));
}

int TagCommand::run()
{
    switch (m_action) {
    case Action::list:
        return list();
    case Action::create:
        return create();
    case Action::rename:
        return rename();
    case Action::remove:
        return remove();
    case Action::tagProfiles:
        return tagProfiles(true);
    case Action::untagProfiles:
        return tagProfiles(false);
    }
    Q_UNREACHABLE();
}

int TagCommand::list()
{
    QList<Tag *> tags = context().tags();
    std::sort(tags.begin(), tags.end(), [](const Tag *a, const Tag *b) {
        return a->name().value_or(QString()).compare(b->name().value_or(QString()),
                                                     Qt::CaseInsensitive) < 0;
    });
    for (Tag *tag : std::as_const(tags)) {
        const qsizetype count = profilesIn(context(), SidebarItem::forTag(tag)).size();
        m_env.out() << tag->name().value_or(QString()) << u'\t' << count << u'\n';
    }
    return CliEnvironment::success;
}

int TagCommand::create()
{
    if (auto error = validateTagName(m_operands[0], nullptr, context()))
        return refuseName(*error);
    context().insertTag()->setName(m_operands[0]);
    return m_env.saveOrReport();
}

int TagCommand::rename()
{
    auto tag = existing(m_operands[0]);
    if (!tag)
        return m_env.fail(tag.error().message);
    if (auto error = validateTagName(m_operands[1], *tag, context()))
        return refuseName(*error);
    (*tag)->setName(m_operands[1]);
    return m_env.saveOrReport();
}

int TagCommand::remove()
{
    auto tag = existing(m_operands[0]);
    if (!tag)
        return m_env.fail(tag.error().message);
    context().deleteObject(*tag);
    return m_env.saveOrReport();
}

int TagCommand::tagProfiles(bool adding)
{
    auto tag = existing(m_operands[0]);
    if (!tag)
        return m_env.fail(tag.error().message);
    const auto profiles = resolveProfiles(context(), m_operands.mid(1));
    if (!profiles)
        return m_env.fail(profiles.error().message);
    for (Profile *profile : *profiles) {
        if (adding)
            profile->addTag(*tag);
        else
            profile->removeTag(*tag);
    }
    return m_env.saveOrReport();
}

Result<Tag *> TagCommand::existing(const QString &name)
{
    if (Tag *tag = tagNamed(name, context()))
        return tag;
    return Error(noTagMessage(name));
}

int TagCommand::refuseName(const Error &error)
{
    return m_env.fail(error.message + u' ' + error.recoverySuggestion);
}
