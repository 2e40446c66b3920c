#include "sessioninspector.h"

#include "connectionlogview.h"
#include "elidedlabel.h"
#include "localized.h"
#include "profile.h"
#include "sessioncontainer.h"
#include "tunnelsession.h"

#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int indicatorSize = 10;
// What a value keeps of the width when the pane is narrow. Without it the widest unbreakable
// value (a host key's fingerprint) would set the form's minimum above the pane's width, and
// the rows would be squeezed to one clipped line each instead of wrapping.
constexpr int valueMinimumWidth = 100;

QLabel *sectionTitle(const QString &text)
{
    auto *title = new QLabel(text);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    title->setContentsMargins(0, 8, 0, 2);
    return title;
}

QFormLayout *newForm()
{
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    return form;
}

QColor indicatorColour(SessionState state, const QPalette &palette)
{
    if (state == SessionState::connected)
        return QColor(52, 199, 89);
    if (state == SessionState::abnormalDisconnect)
        return QColor(221, 76, 79);
    if (isInProgress(state))
        return QColor(255, 149, 0);
    return palette.color(QPalette::PlaceholderText);
}

QPixmap indicator(const QColor &colour, qreal ratio)
{
    QPixmap pixmap(QSize(indicatorSize, indicatorSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(0.5, 0.5, indicatorSize - 1, indicatorSize - 1));
    return pixmap;
}

} // namespace

SessionInspector::SessionInspector(SessionContainer *container, QWidget *parent)
    : QWidget(parent), m_container(container)
{
    setObjectName(u"session-inspector"_s);
    setMinimumWidth(320);
    auto *empty = new QLabel(localized("No Session Selected"));
    empty->setAlignment(Qt::AlignCenter);
    QPalette secondary = empty->palette();
    secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
    empty->setPalette(secondary);
    m_pages = new QStackedWidget;
    m_pages->addWidget(empty);
    m_pages->addWidget(makeDetails());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);
    if (m_container)
        connect(m_container, &SessionContainer::sessionsChanged, this,
                &SessionInspector::sessionsChanged);
    refresh();
}

QWidget *SessionInspector::makeDetails()
{
    auto *details = new QWidget;
    m_indicator = new QLabel;
    m_indicator->setFixedSize(indicatorSize, indicatorSize);
    m_name = new QLabel;
    QFont large = m_name->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.25);
    m_name->setFont(large);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *heading = new QHBoxLayout;
    heading->addWidget(m_indicator);
    heading->addWidget(m_name, 1);
    m_summary = new QLabel;
    m_summary->setObjectName(u"summary"_s);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // One form, so that the labels of both parts line up.
    m_form = newForm();
    m_state = addRow(localized("State:"));
    m_destination = addRow(localized("Destination:"));
    m_form->addRow(sectionTitle(localized("Key Exchange & Authentication")));
    m_cipherStoC = addRow(localized("Server to Client Cipher:"));
    m_cipherCtoS = addRow(localized("Client to Server Cipher:"));
    m_authentications = addRow(localized("Authentications:"));
    m_algorithm = addRow(localized("Key Exchange:"));
    m_hostKey = new ElidedLabel;
    m_hostKey->setObjectName(u"hostKey"_s);
    addRow(localized("Host Key:"), m_hostKey);

    m_log = new ConnectionLogView;
    m_log->setMinimumHeight(160);
    auto *layout = new QVBoxLayout(details);
    layout->addLayout(heading);
    layout->addWidget(m_summary);
    layout->addLayout(m_form);
    layout->addWidget(sectionTitle(localized("Connection Log")));
    layout->addWidget(m_log, 1);
    return details;
}

QLabel *SessionInspector::addRow(const QString &label, QLabel *value)
{
    if (!value) {
        value = new QLabel;
        value->setWordWrap(true);
        value->setMinimumWidth(valueMinimumWidth);
    }
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setAccessibleName(label);
    m_form->addRow(label, value);
    return value;
}

void SessionInspector::setProfile(const Profile *profile)
{
    m_uuid = profile ? profile->uuid() : std::nullopt;
    follow(m_uuid && m_container ? m_container->session(*m_uuid) : nullptr);
}

void SessionInspector::setSession(TunnelSession *session)
{
    m_uuid = session ? std::optional(session->config().uuid) : std::nullopt;
    follow(session);
}

void SessionInspector::follow(TunnelSession *session)
{
    if (m_session == session)
        return;
    if (m_session)
        disconnect(m_session, nullptr, this, nullptr);
    m_session = session;
    m_log->setLog(session ? session->connectionLog() : nullptr);
    if (session) {
        connect(session, &SecureSession::changed, this, &SessionInspector::refresh);
        connect(session, &QObject::destroyed, this, [this] {
            m_session = nullptr;
            m_log->setLog(nullptr);
            refresh();
        });
    }
    refresh();
}

// A profile back from the trash gets a session again.
void SessionInspector::sessionsChanged()
{
    if (!m_session && m_uuid)
        follow(m_container->existingSession(*m_uuid));
}

bool SessionInspector::isShowingSession() const
{
    return m_pages->currentIndex() == 1;
}

void SessionInspector::refresh()
{
    m_pages->setCurrentIndex(m_session ? 1 : 0);
    if (!m_session)
        return;
    const TunnelSession &session = *m_session;
    const SessionState state = session.lastState();
    m_indicator->setPixmap(indicator(indicatorColour(state, palette()), devicePixelRatioF()));
    m_name->setText(session.config().name);
    // The summary says more than the state only now and then: an error, a question waiting.
    m_summary->setText(session.statusSummary());
    m_summary->setVisible(session.statusSummary() != description(state));
    m_state->setText(description(state));
    m_destination->setText(session.destination());
    const QString none = u"—"_s;
    m_cipherStoC->setText(session.cipherStoC().value_or(none));
    m_cipherCtoS->setText(session.cipherCtoS().value_or(none));
    m_authentications->setText(session.authInfo().value_or(none));
    showRow(m_algorithm, session.algorithm());
    m_hostKey->setFullText(session.hostKey().value_or(QString()));
    m_form->setRowVisible(m_hostKey, session.hostKey().has_value());
}

void SessionInspector::showRow(QLabel *value, const std::optional<QString> &text)
{
    value->setText(text.value_or(QString()));
    m_form->setRowVisible(value, text.has_value());
}

std::optional<QString> SessionInspector::rowText(const QString &label) const
{
    const QList<QLabel *> values = m_pages->widget(1)->findChildren<QLabel *>();
    for (const QLabel *value : values) {
        if (value->accessibleName() != label || value->isHidden())
            continue;
        if (const auto *elided = qobject_cast<const ElidedLabel *>(value))
            return elided->fullText();
        return value->text();
    }
    return std::nullopt;
}
