#pragma once

#include "profilevalidationform.h"
#include "result.h"

#include <QWidget>

class ForwardingEditor;
class ObjectContext;
class Profile;
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
    // Marks the fields in error and shows their messages under them: the required-field
    // messages of the form (none without one), the problems of what the fields hold, and a port
    // that is no port. True when a field is in error.
    bool showMessages(const ProfileValidationForm *required,
                      const QList<ProfileValidationForm::FieldProblem> &problems);
    void showNameMessage(const QString &message);

    QLineEdit *nameField() const { return m_name; }
    QLineEdit *hostField() const { return m_host; }
    QLineEdit *portField() const { return m_port; }
    QLineEdit *userField() const { return m_user; }
    QLabel *nameMessage() const { return m_nameMessage; }
    // The host's and the port's.
    QLabel *addressMessage() const { return m_addressMessage; }
    QLabel *userMessage() const { return m_userMessage; }
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
    QLabel *m_addressMessage;
    QLineEdit *m_port;
    QLineEdit *m_user;
    QLabel *m_userMessage;
    QListWidget *m_tags;
    QPushButton *m_newTag;
    QPlainTextEdit *m_note;
    QLabel *m_noteMessage;
    QCheckBox *m_pinned;
    QCheckBox *m_autoConnect;
    ForwardingEditor *m_forwardings;
};
