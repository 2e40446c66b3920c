#pragma once

#include "records.h"

#include <QHash>
#include <QUuid>
#include <QWidget>

#include <functional>

class Forwarding;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The values of one forwarding: its kind, whether it is used, where it listens, where it leads
// and a note. Every edit goes straight into the forwarding; fields whose values the client
// could not use are marked.
class ForwardingForm : public QWidget
{
    Q_OBJECT

public:
    explicit ForwardingForm(QWidget *parent = nullptr);

    // None leaves the form empty and disabled.
    void setForwarding(Forwarding *forwarding);
    Forwarding *forwarding() const { return m_forwarding; }
    // Shows the forwarding's current values; fields that already say the same stay untouched.
    void refresh();
    // Whether a port field of that forwarding holds text that is no port: it is kept as typed,
    // marked, and keeps the profile from being saved.
    bool hasUnreadablePort(const Forwarding *forwarding) const;
    // The first field, for the keyboard focus after adding a forwarding.
    QWidget *firstField() const;

    QComboBox *kindChooser() const { return m_kind; }
    QCheckBox *enabledSwitch() const { return m_enabled; }
    QComboBox *bindAddressField() const { return m_bindAddress; }
    QLineEdit *bindPortField() const { return m_bindPort; }
    QLineEdit *targetAddressField() const { return m_targetAddress; }
    QLineEdit *targetPortField() const { return m_targetPort; }
    QLineEdit *noteField() const { return m_note; }
    QLabel *portMessage() const { return m_portMessage; }

Q_SIGNALS:
    void edited();

private:
    void build();
    void connectFields();
    void markFields();
    void showKind();
    void store(const std::function<void(ForwardingData &)> &change);
    void typePort(QLineEdit *field, const QString &text);
    void showPort(QLineEdit *field, qint32 port);
    QString &typedPort(const QLineEdit *field);

    // What was typed into a port field that is no port, per forwarding, until it is corrected.
    struct TypedPorts
    {
        QString bind;
        QString target;
    };

    Forwarding *m_forwarding = nullptr;
    QLabel *m_title;
    QComboBox *m_kind;
    QCheckBox *m_enabled;
    QComboBox *m_bindAddress;
    QLineEdit *m_bindPort;
    QLabel *m_targetLabel;
    QWidget *m_target;
    QLineEdit *m_targetAddress;
    QLineEdit *m_targetPort;
    QLineEdit *m_note;
    QLabel *m_portMessage;
    QHash<QUuid, TypedPorts> m_typedPorts;
};
