#include "clienvironment.h"

#include "localized.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profilevalidationform.h"
#include "settings.h"

using namespace Qt::StringLiterals;

CliEnvironment::CliEnvironment(QTextStream &out, QTextStream &err, QTextStream &in)
    : m_out(out), m_err(err), m_in(in)
{}

CliEnvironment::~CliEnvironment() = default;

QString CliEnvironment::ask(const QString &question)
{
    m_out << question << u' ';
    m_out.flush();
    const QString answer = m_in.readLine();
    if (answer.isNull())
        m_out << Qt::endl;
    return answer.trimmed().toLower();
}

bool CliEnvironment::openStore()
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

ObjectContext &CliEnvironment::context()
{
    Q_ASSERT(m_store);
    return *m_store->mainContext();
}

Settings &CliEnvironment::settings()
{
    if (!m_settings) {
        m_settings = std::make_unique<Settings>();
        if (auto problem = m_settings->takeProblem())
            m_err << problem->message << Qt::endl;
    }
    return *m_settings;
}

int CliEnvironment::fail(const QString &message)
{
    m_err << message << Qt::endl;
    return failure;
}

int CliEnvironment::usageFailure(const QString &message)
{
    const QString help = m_verb.isEmpty() || m_verb == u"help"_s ? u"vellssh-cli help"_s
                                                                 : u"vellssh-cli help "_s + m_verb;
    m_err << message << u'\n' << localized("Try '%1'.").arg(help) << Qt::endl;
    return usageError;
}

int CliEnvironment::saveOrReport(Profile *validate, const std::optional<QString> &savedName)
{
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
