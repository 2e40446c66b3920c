#include "appfixture.h"

#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "tag.h"

#include <QDir>
#include <QUuid>

using namespace Qt::StringLiterals;

AppFixture::AppFixture(const QString &storePath)
{
    const QString folder =
        QDir::tempPath() + u"/app-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDir().mkpath(folder);
    VellAppDelegate::Options options;
    options.storePath = storePath.isEmpty() ? folder + u"/VellSSH.sqlite"_s : storePath;
    options.settingsPath = folder + u"/VellSSH.conf"_s;
    options.serviceProgram = QStringLiteral(VELLSSH_SERVICE);
    options.askPassProgram = VellAppDelegate::defaultAskPassProgram(options.serviceProgram);
    options.autoConnect = false;
    auto started = VellAppDelegate::start(options);
    if (!started)
        qFatal("the application core did not start: %s", qPrintable(started.error().message));
    m_app = std::move(started).value();
}

AppFixture::~AppFixture() = default;

ObjectContext &AppFixture::context() const
{
    return *m_app->store().mainContext();
}

Profile *AppFixture::addProfile(const QString &name,
                                const std::function<void(Profile &)> &more) const
{
    Profile *profile = nullptr;
    context().performWithoutUndo([&] {
        profile = context().insertProfile();
        profile->setName(name);
        profile->setAddress(u"127.0.0.1"_s);
        profile->setUser(u"deploy"_s);
        profile->setPort(22);
        if (more)
            more(*profile);
    });
    save();
    return profile;
}

Tag *AppFixture::addTag(const QString &name) const
{
    Tag *tag = nullptr;
    context().performWithoutUndo([&] {
        tag = context().insertTag();
        tag->setName(name);
    });
    save();
    return tag;
}

void AppFixture::save() const
{
    if (auto error = context().saveIfChanged())
        qFatal("save failed: %s", qPrintable(error->message));
}
