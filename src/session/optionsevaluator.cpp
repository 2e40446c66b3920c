#include "optionsevaluator.h"

#include "descriptors.h"
#include "homedirectory.h"
#include "messagechannel.h"
#include "profile.h"
#include "serviceprocess.h"
#include "sshprotocol.h"

#include <QSocketNotifier>
#include <QStringDecoder>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

OptionsEvaluator::OptionsEvaluator(QString serviceProgram, QObject *parent)
    : QObject(parent), m_program(std::move(serviceProgram))
{}

OptionsEvaluator::~OptionsEvaluator() = default;

QMap<QString, QString> OptionsEvaluator::parseOutput(const QByteArray &output)
{
    QMap<QString, QString> values;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(output);
    if (decoder.hasError())
        return values;
    for (const QString &line : text.split(u'\n')) {
        const qsizetype space = line.indexOf(u' ');
        if (space <= 0)
            continue;
        const QString value = line.mid(space + 1).trimmed();
        if (!value.isEmpty())
            values.insert(line.left(space), value);
    }
    return values;
}

void OptionsEvaluator::evaluate(const QString &host, quint16 port, const QString &user,
                                const QString &configFile)
{
    if (m_service)
        return;
    const QString target = host.isEmpty() ? placeholderHost : host;
    SSHProtocol::RunRequest request;
    if (!configFile.isEmpty())
        request.arguments << u"-F"_s << expandingTilde(configFile);
    request.arguments << u"-G"_s << (user.isEmpty() ? target : user + u'@' + target)
                      << u"-p "_s + QString::number(port ? port : 22);

    auto [readEnd, writeEnd] = makePipe();
    if (!readEnd)
        return;
    m_output = std::move(readEnd);
    UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    setNonBlocking(m_output.get());
    m_buffer.clear();
    m_buffer.reserve(1024);
    m_notifier = std::make_unique<QSocketNotifier>(m_output.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &OptionsEvaluator::readOutput);

    m_service = std::make_unique<ServiceProcess>();
    connect(m_service.get(), &ServiceProcess::finished, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_output)
                    readOutput();
                m_service.reset();
                Q_EMIT finished();
            },
            Qt::QueuedConnection);
    });
    if (!m_service->start(m_program)) {
        m_service.reset();
        m_notifier.reset();
        m_output.reset();
        return;
    }
    m_service->channel()->send(SSHProtocol::runWith, SSHProtocol::encode(request),
                               {devNull.get(), writeEnd.get(), devNull.get()});
}

void OptionsEvaluator::readOutput()
{
    const Drain drained =
        drainAvailable(m_output.get(), [this](QByteArrayView chunk) { m_buffer.append(chunk); });
    if (drained == Drain::ended) {
        m_notifier.reset();
        m_output.reset();
        apply();
    }
}

void OptionsEvaluator::apply()
{
    const QMap<QString, QString> values = parseOutput(std::exchange(m_buffer, {}));
    if (values.isEmpty())
        return;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        m_defaultValues.insert(it.key(), it.value());
    Q_EMIT defaultValuesChanged();
}

int OptionsEvaluator::port() const
{
    bool ok = false;
    const int value = m_defaultValues.value(u"port"_s).toInt(&ok);
    return ok ? value : 22;
}

bool OptionsEvaluator::compression() const
{
    return isTruthyOptionValue(m_defaultValues.value(u"compression"_s));
}

bool OptionsEvaluator::forwardAgent() const
{
    return isTruthyOptionValue(m_defaultValues.value(u"forwardagent"_s));
}
