#pragma once

#include "notificationpermission.h"
#include "profilevalidationform.h"

#include <QHash>
#include <QWidget>

#include <functional>
#include <optional>

class IdentityKeyManager;
class Profile;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The second page of the profile editor: how the client authenticates and connects (identity
// key and certificate, jump hosts, bind address, address family, compression, agent
// forwarding, log level, session), how often it retries, and whether the user is notified.
class ConnectionPage : public QWidget
{
    Q_OBJECT

public:
    // The identity picker offers the manager's private keys, the certificate picker its
    // certificates. Without a key manager the pickers offer what the profile names and nothing
    // else; without a permission no note is shown under the notification switch.
    ConnectionPage(IdentityKeyManager *identities, NotificationPermission *permission,
                   QWidget *parent = nullptr);

    void setProfile(Profile *profile);
    void refresh();
    // What applies while the profile leaves compression and agent forwarding unset.
    void setEffectiveSwitches(bool compression, bool forwardAgent);
    // Marks the fields of this page that hold a problem and shows it under them; true when one
    // does.
    bool showMessages(const QList<ProfileValidationForm::FieldProblem> &problems);

    QComboBox *identityPicker() const { return m_identity; }
    QComboBox *certificatePicker() const { return m_certificate; }
    QLineEdit *identityFileField() const { return m_identityFile; }
    QLineEdit *jumpHostsField() const { return m_jumpHosts; }
    QComboBox *bindAddressField() const { return m_bindAddress; }
    QComboBox *addressFamilyChooser() const { return m_addressFamily; }
    QComboBox *compressionChooser() const { return m_compression; }
    QComboBox *agentForwardingChooser() const { return m_agentForwarding; }
    QComboBox *logLevelChooser() const { return m_logLevel; }
    QCheckBox *noSessionSwitch() const { return m_noSession; }
    QSpinBox *retryField() const { return m_retries; }
    QCheckBox *notificationSwitch() const { return m_notify; }
    QLabel *notificationNote() const { return m_notifyNote; }

Q_SIGNALS:
    void edited();

private:
    QWidget *makeIdentityBox();
    QWidget *makeConnectionBox();
    void addRowWithMessage(QFormLayout *form, const QString &label, QWidget *field);
    QWidget *makeNotificationBox();
    void connectFields();
    void connectIdentityPicker(QComboBox *picker,
                               void (Profile::*set)(const std::optional<QString> &));
    void fillIdentityPicker(QComboBox *picker, const QStringList &offered,
                            const std::optional<QString> &chosen);
    void chooseKeyFile(QComboBox *picker, void (Profile::*set)(const std::optional<QString> &));
    void showPermission(NotificationPermission::Status status);
    void edit(const std::function<void(Profile &)> &change);

    IdentityKeyManager *m_keys;
    NotificationPermission *m_permission;
    Profile *m_profile = nullptr;
    QComboBox *m_identity;
    QComboBox *m_certificate;
    QLineEdit *m_identityFile;
    QLineEdit *m_jumpHosts;
    QComboBox *m_bindAddress;
    QComboBox *m_addressFamily;
    QComboBox *m_compression;
    QComboBox *m_agentForwarding;
    QComboBox *m_logLevel;
    QCheckBox *m_noSession;
    QSpinBox *m_retries;
    QCheckBox *m_notify;
    QLabel *m_notifyNote;
    QPushButton *m_notifySettings;
    // The message line under each field that can hold a problem.
    QHash<QWidget *, QLabel *> m_messages;
};
