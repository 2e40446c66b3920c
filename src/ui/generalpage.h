#pragma once

#include "result.h"

#include <QWidget>

class ForwardingEditor;
class ObjectContext;
class Profile;
class ProfileValidationForm;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// The first page of the profile editor: what the profile is called, where it connects, its
// tags and note, and its port forwardings.
class GeneralPage : public QWidget
{
    Q_OBJECT

public:
    explicit GeneralPage(QWidget *parent = nullptr);

    void setProfile(ObjectContext *context, Profile *profile);
    // Shows the profile's current values; fields that already say the same stay untouched.
    void refresh();
    // The port the client uses while the profile names none.
    void setEffectivePort(int port);
    // The required-field messages beside their fields, or none when messages are off.
    void showMessages(const ProfileValidationForm *form);
    void showNameMessage(const QString &message);

    QLineEdit *nameField() const { return m_name; }
    QLineEdit *hostField() const { return m_host; }
    QLineEdit *portField() const { return m_port; }
    QLineEdit *userField() const { return m_user; }
    QListWidget *tagList() const { return m_tags; }
    QPushButton *newTagButton() const { return m_newTag; }
    QPlainTextEdit *noteField() const { return m_note; }
    QCheckBox *pinnedSwitch() const { return m_pinned; }
    QCheckBox *autoConnectSwitch() const { return m_autoConnect; }
    ForwardingEditor *forwardings() const { return m_forwardings; }

    // Makes a tag of that name (or takes the one that has it) and gives it to the profile.
    Status addTagNamed(const QString &name);

Q_SIGNALS:
    void edited();

private:
    QWidget *makeIdentityFields();
    QWidget *makeTagFields();
    void connectFields();
    void refreshTags();
    void askForNewTag();

    ObjectContext *m_context = nullptr;
    Profile *m_profile = nullptr;
    QLineEdit *m_name;
    QLabel *m_nameMessage;
    QLineEdit *m_host;
    QLabel *m_hostMessage;
    QLineEdit *m_port;
    QLineEdit *m_user;
    QLabel *m_userMessage;
    QListWidget *m_tags;
    QPushButton *m_newTag;
    QPlainTextEdit *m_note;
    QCheckBox *m_pinned;
    QCheckBox *m_autoConnect;
    ForwardingEditor *m_forwardings;
};
