#pragma once

#include "tunnelsession.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

class ConnectionLogView;
class ElidedLabel;
class Profile;
class QFormLayout;
class QLabel;
class QStackedWidget;
class SessionContainer;

// What one tunnel session is doing: its state and status, where it goes, how its connection
// was secured, and its connection log, all kept up to date while it runs. Shows an empty page
// while no session is selected, and falls back to it when the session is dropped (its profile
// was trashed or deleted).
class SessionInspector : public QWidget
{
    Q_OBJECT

public:
    explicit SessionInspector(SessionContainer *container, QWidget *parent = nullptr);

    // The session of the profile, made on first lookup like every session; a profile in the
    // trash has none. Only the profile's uuid is kept.
    void setProfile(const Profile *profile);
    void setSession(TunnelSession *session);
    TunnelSession *session() const { return m_session; }
    ConnectionLogView *logView() const { return m_log; }
    // The value shown in the row with this label ("Server to Client Cipher:"...); none when the
    // row is not shown.
    std::optional<QString> rowText(const QString &label) const;
    bool isShowingSession() const;

private:
    QWidget *makeDetails();
    // A wrapping value label unless one is given.
    QLabel *addRow(const QString &label, QLabel *value = nullptr);
    void follow(TunnelSession *session);
    void refresh();
    void showRow(QLabel *value, const std::optional<QString> &text);
    void sessionsChanged();

    SessionContainer *m_container;
    QPointer<TunnelSession> m_session;
    // The profile whose session is shown, so that it comes back when its session does.
    std::optional<QUuid> m_uuid;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_indicator = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_state = nullptr;
    QLabel *m_destination = nullptr;
    QLabel *m_cipherStoC = nullptr;
    QLabel *m_cipherCtoS = nullptr;
    QLabel *m_authentications = nullptr;
    QLabel *m_algorithm = nullptr;
    ElidedLabel *m_hostKey = nullptr;
    QFormLayout *m_form = nullptr;
    ConnectionLogView *m_log = nullptr;
};
