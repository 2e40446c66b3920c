#pragma once

#include "uniquefd.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

class ServiceProcess;
class QSocketNotifier;

// Asks the client for the settings that apply to a host ("ssh -G") through the service, so
// the profile editor can show what a profile leaves to the configuration files.
class OptionsEvaluator : public QObject
{
    Q_OBJECT

public:
    static inline const QString placeholderHost = QStringLiteral("vellshell-example");

    explicit OptionsEvaluator(QString serviceProgram, QObject *parent = nullptr);
    ~OptionsEvaluator() override;

    // Effective settings by the client's lower-case keyword; entries are only ever overwritten.
    const QMap<QString, QString> &defaultValues() const { return m_defaultValues; }
    bool isRunning() const { return m_service != nullptr; }

    // Starts one run unless one is running. configFile is the "user_config_file_path" setting.
    void evaluate(const QString &host, quint16 port, const QString &user,
                  const QString &configFile = {});

    int port() const;
    bool compression() const;
    bool forwardAgent() const;

    // The "keyword value" lines of the client's output.
    static QMap<QString, QString> parseOutput(const QByteArray &output);

Q_SIGNALS:
    void defaultValuesChanged();
    void finished();

private:
    void readOutput();
    void apply();

    QString m_program;
    QMap<QString, QString> m_defaultValues;
    std::unique_ptr<ServiceProcess> m_service;
    UniqueFd m_output;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_buffer;
};
