#pragma once

#include <QCborMap>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The operations of the SSH service connection: what the application asks of the service, and
// the reports and questions the service sends back.
namespace SSHProtocol {

// Application to service.
inline const QString runWith = QStringLiteral("runWith");
inline const QString terminate = QStringLiteral("terminate");
inline const QString loadKnownHost = QStringLiteral("loadKnownHost");
inline const QString dumpKnownHost = QStringLiteral("dumpKnownHost");

// Service to application.
inline const QString reportLog = QStringLiteral("reportLog");
inline const QString reportHost = QStringLiteral("reportHost");
inline const QString reportConnectInfo = QStringLiteral("reportConnectInfo");
inline const QString reportAuthenticating = QStringLiteral("reportAuthenticating");
inline const QString reportJumping = QStringLiteral("reportJumping");
inline const QString reportMultiplexing = QStringLiteral("reportMultiplexing");
inline const QString reportConnected = QStringLiteral("reportConnected");
inline const QString reportAuthenticated = QStringLiteral("reportAuthenticated");
inline const QString reportHostKeyRefused = QStringLiteral("reportHostKeyRefused");
// The service would not start the run; trying again cannot change its reason.
inline const QString reportRunRefused = QStringLiteral("reportRunRefused");
inline const QString reportAuthMethod = QStringLiteral("reportAuthMethod");
inline const QString reportIdentity = QStringLiteral("reportIdentity");
inline const QString reportHostKey = QStringLiteral("reportHostKey");
inline const QString reportAlgorithm = QStringLiteral("reportAlgorithm");
inline const QString reportCipher = QStringLiteral("reportCipher");
inline const QString reportAttempt = QStringLiteral("reportAttempt");
inline const QString reportExit = QStringLiteral("reportExit");
inline const QString askPass = QStringLiteral("askPass");

struct GridSize
{
    quint16 rows = 24;
    quint16 columns = 80;
    quint16 width = 0;
    quint16 height = 0;
    friend bool operator==(const GridSize &, const GridSize &) = default;
};

// One client run: its arguments (no program name) and its whole environment. The standard
// input, output and error handles travel beside the message, in that order.
struct RunRequest
{
    QStringList arguments;
    QMap<QString, QString> environment;
    GridSize grid;
    friend bool operator==(const RunRequest &, const RunRequest &) = default;
};

QCborMap encode(const RunRequest &request);
std::optional<RunRequest> decodeRunRequest(const QCborMap &args);

} // namespace SSHProtocol
