#include "connectionpage.h"

#include "editorfields.h"
#include "identitykeymanager.h"
#include "localized.h"
#include "networkinterface.h"
#include "profile.h"
#include "profileedit.h"
#include "quickoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The last entry of an identity picker opens a file chooser; its data marks it.
const QString chooseEntry = u"\x1f"_s;

QComboBox *choice(const QString &accessibleName)
{
    auto *combo = new QComboBox;
    combo->setAccessibleName(accessibleName);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}

QLabel *buddyLabel(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

void selectData(QComboBox *combo, const QVariant &data)
{
    combo->setCurrentIndex(std::max(0, combo->findData(data)));
}

QStringList fileNames(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths)
        names.append(QFileInfo(path).fileName());
    return names;
}

QVariant switchData(std::optional<bool> on)
{
    return on ? QVariant(*on) : QVariant();
}

} // namespace

ConnectionPage::ConnectionPage(IdentityKeyManager *identities, NotificationPermission *permission,
                               QWidget *parent)
    : QWidget(parent), m_keys(identities), m_permission(permission)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeIdentityBox());
    layout->addWidget(makeConnectionBox());
    layout->addWidget(makeNotificationBox());
    layout->addStretch();
    connectFields();
    if (m_keys)
        connect(m_keys, &IdentityKeyManager::identitiesChanged, this, &ConnectionPage::refresh);
    if (m_permission) {
        connect(m_permission, &NotificationPermission::statusChanged, this,
                &ConnectionPage::showPermission);
        showPermission(m_permission->status());
    } else {
        showPermission(NotificationPermission::Status::authorized);
    }
}

QWidget *ConnectionPage::makeIdentityBox()
{
    m_identity = choice(localized("Identity key"));
    m_certificate = choice(localized("Certificate"));
    m_identityFile = new QLineEdit;
    m_identityFile->setAccessibleName(localized("Identity file"));
    m_identityFile->setPlaceholderText(localized("Path of a key file, used when no key is chosen"));
    auto *box = new QGroupBox(localized("Authentication"));
    auto *form = new QFormLayout(box);
    addRowWithMessage(form, localized("&Identity key:"), m_identity);
    addRowWithMessage(form, localized("&Certificate:"), m_certificate);
    addRowWithMessage(form, localized("Identity &file:"), m_identityFile);
    return box;
}

void ConnectionPage::addRowWithMessage(QFormLayout *form, const QString &label, QWidget *field)
{
    QLabel *line = EditorFields::messageLine();
    m_messages.insert(field, line);
    form->addRow(buddyLabel(label, field), EditorFields::withMessage(field, line));
}

bool ConnectionPage::showMessages(const QList<ProfileValidationForm::FieldProblem> &problems)
{
    using Checked = ProfileValidationForm::CheckedField;
    const std::pair<QWidget *, QString> fields[] = {
        {m_identity, EditorFields::problemIn(problems, Checked::identityName)},
        {m_certificate, EditorFields::problemIn(problems, Checked::certificateName)},
        {m_identityFile, EditorFields::problemIn(problems, Checked::option, u"IdentityFile"_s)},
        {m_jumpHosts, EditorFields::problemIn(problems, Checked::option, u"ProxyJump"_s)},
        {m_bindAddress, EditorFields::problemIn(problems, Checked::option, u"BindAddress"_s)},
    };
    bool shown = false;
    for (const auto &[field, message] : fields) {
        EditorFields::showMessage(m_messages.value(field), field, message);
        shown = shown || !message.isEmpty();
    }
    return shown;
}

QWidget *ConnectionPage::makeConnectionBox()
{
    m_jumpHosts = new QLineEdit;
    m_jumpHosts->setAccessibleName(localized("Jump hosts"));
    m_jumpHosts->setPlaceholderText(localized("user@jump1,jump2"));
    m_bindAddress = choice(localized("Bind address"));
    m_bindAddress->setEditable(true);
    m_bindAddress->setInsertPolicy(QComboBox::NoInsert);
    m_bindAddress->lineEdit()->setPlaceholderText(localized("Any local address"));
    m_bindAddress->addItem(QString(), QString());
    for (const NetworkInterface &interface : NetworkInterface::list()) {
        if (const auto address = interface.preferredAddress())
            m_bindAddress->addItem(u"%1 — %2"_s.arg(*address, interface.title()), *address);
    }
    m_addressFamily = choice(localized("Address family"));
    m_addressFamily->addItem(localized("Default"), QString());
    for (AddressFamily family : {AddressFamily::inet, AddressFamily::inet6, AddressFamily::any})
        m_addressFamily->addItem(displayName(family), rawValue(family));
    m_compression = choice(localized("Compression"));
    m_agentForwarding = choice(localized("Agent forwarding"));
    for (QComboBox *combo : {m_compression, m_agentForwarding}) {
        combo->addItem(localized("Default"));
        combo->addItem(localized("Yes"), true);
        combo->addItem(localized("No"), false);
    }
    m_logLevel = choice(localized("Log level"));
    m_logLevel->addItem(localized("Default"), QString());
    for (LogLevel level : {LogLevel::info, LogLevel::debug1, LogLevel::debug2, LogLevel::debug3})
        m_logLevel->addItem(rawValue(level), rawValue(level));
    m_noSession = new QCheckBox(localized("Forward ports only, run no remote command (-N)"));
    m_retries = new QSpinBox;
    m_retries->setAccessibleName(localized("Retry attempts"));
    m_retries->setRange(0, 32767);

    auto *box = new QGroupBox(localized("Connection"));
    auto *form = new QFormLayout(box);
    addRowWithMessage(form, localized("&Jump hosts:"), m_jumpHosts);
    addRowWithMessage(form, localized("&Bind address:"), m_bindAddress);
    form->addRow(buddyLabel(localized("Address &family:"), m_addressFamily), m_addressFamily);
    form->addRow(buddyLabel(localized("Co&mpression:"), m_compression), m_compression);
    form->addRow(buddyLabel(localized("&Agent forwarding:"), m_agentForwarding), m_agentForwarding);
    form->addRow(buddyLabel(localized("&Log level:"), m_logLevel), m_logLevel);
    form->addRow(buddyLabel(localized("&Retry attempts:"), m_retries), m_retries);
    form->addRow(QString(), m_noSession);
    return box;
}

QWidget *ConnectionPage::makeNotificationBox()
{
    m_notify = new QCheckBox(localized("Send notification when connection status has changed"));
    m_notifyNote = new QLabel;
    m_notifyNote->setTextFormat(Qt::MarkdownText);
    m_notifyNote->setWordWrap(true);
    m_notifySettings = new QPushButton;
    auto *box = new QGroupBox(localized("Notifications"));
    auto *column = new QVBoxLayout(box);
    column->addWidget(m_notify);
    column->addWidget(m_notifyNote);
    column->addWidget(m_notifySettings, 0, Qt::AlignLeft);
    return box;
}

void ConnectionPage::edit(const std::function<void(Profile &)> &change)
{
    if (!m_profile)
        return;
    change(*m_profile);
    Q_EMIT edited();
}

void ConnectionPage::connectFields()
{
    connectIdentityPicker(m_identity, &Profile::setPrivateKeyName);
    connectIdentityPicker(m_certificate, &Profile::setCertificateName);
    connect(m_identityFile, &QLineEdit::textEdited, this, [this](const QString &text) {
        edit([&](Profile &p) {
            p.setStringOption(EditorFields::storedText(text), u"IdentityFile"_s);
        });
    });
    connect(m_jumpHosts, &QLineEdit::textEdited, this, [this](const QString &text) {
        edit([&](Profile &p) { setJumpHosts(p, EditorFields::storedText(text)); });
    });
    connect(m_bindAddress, &QComboBox::activated, this, [this](int index) {
        m_bindAddress->setEditText(m_bindAddress->itemData(index).toString());
    });
    connect(m_bindAddress, &QComboBox::editTextChanged, this, [this](const QString &text) {
        if (m_profile && EditorFields::storedText(text) != bindAddressOption(*m_profile))
            edit([&](Profile &p) { setBindAddressOption(p, EditorFields::storedText(text)); });
    });
    connect(m_addressFamily, &QComboBox::activated, this, [this] {
        const auto family = addressFamilyFromRaw(m_addressFamily->currentData().toString());
        edit([&](Profile &p) { setAddressFamily(p, family); });
    });
    auto yesNo = [this](QComboBox *combo, void (*set)(Profile &, std::optional<bool>)) {
        connect(combo, &QComboBox::activated, this, [this, combo, set] {
            const QVariant data = combo->currentData();
            edit([&](Profile &p) {
                set(p, data.isValid() ? std::optional(data.toBool()) : std::nullopt);
            });
        });
    };
    yesNo(m_compression, &setCompression);
    yesNo(m_agentForwarding, &setAgentForwarding);
    connect(m_logLevel, &QComboBox::activated, this, [this] {
        const auto level = logLevelFromRaw(m_logLevel->currentData().toString());
        edit([&](Profile &p) { setLogLevel(p, level); });
    });
    connect(m_noSession, &QCheckBox::clicked, this, [this](bool on) {
        edit([&](Profile &p) {
            setSessionType(p, on ? std::nullopt : std::optional(SessionType::defaultSession));
        });
    });
    connect(m_retries, &QSpinBox::valueChanged, this,
            [this](int value) { edit([&](Profile &p) { p.setRetryAttempts(qint16(value)); }); });
    connect(m_notify, &QCheckBox::clicked, this,
            [this](bool on) { edit([&](Profile &p) { setUserNotification(p, on); }); });
    connect(m_notifySettings, &QPushButton::clicked, this, [] {
        const QStringList command = NotificationPermission::settingsCommand();
        if (!command.isEmpty())
            QProcess::startDetached(command.first(), command.mid(1));
    });
}

void ConnectionPage::connectIdentityPicker(QComboBox *picker,
                                           void (Profile::*set)(const std::optional<QString> &))
{
    connect(picker, &QComboBox::activated, this, [this, picker, set](int index) {
        const QString name = picker->itemData(index).toString();
        if (name == chooseEntry) {
            chooseKeyFile(picker, set);
            return;
        }
        edit([&](Profile &p) { (p.*set)(name.isEmpty() ? std::nullopt : std::optional(name)); });
        refresh();
    });
}

void ConnectionPage::chooseKeyFile(QComboBox *picker,
                                   void (Profile::*set)(const std::optional<QString> &))
{
    const QString folder =
        m_keys ? m_keys->identityKeysDirectory() : IdentityKeyManager::defaultDirectory();
    const QString file =
        QFileDialog::getOpenFileName(this, localized("Choose Identity Key"), folder);
    if (!file.isEmpty()) {
        auto name = keyNameInFolder(file, folder);
        if (name)
            edit([&](Profile &p) { (p.*set)(*name); });
        else
            QMessageBox::warning(this, localized("Choose Identity Key"), name.error().message);
    }
    refresh();
    picker->setFocus();
}

void ConnectionPage::fillIdentityPicker(QComboBox *picker, const QStringList &offered,
                                        const std::optional<QString> &chosen)
{
    const QStringList names = fileNames(offered);
    const QStringList present = m_keys ? fileNames(m_keys->identities()) : QStringList();
    const QSignalBlocker blocker(picker);
    picker->clear();
    picker->addItem(localized("None"), QString());
    for (const QString &name : names)
        picker->addItem(name, name);
    // A file the profile names stays chosen even when it is not offered; when it is not in the
    // folder (any more) it says so.
    if (chosen && !chosen->isEmpty() && !names.contains(*chosen)) {
        picker->addItem(
            present.contains(*chosen) ? *chosen : localized("%1 (missing)").arg(*chosen), *chosen);
    }
    picker->addItem(localized("Choose File…"), chooseEntry);
    selectData(picker, chosen.value_or(QString()));
}

void ConnectionPage::setProfile(Profile *profile)
{
    m_profile = profile;
    refresh();
}

void ConnectionPage::refresh()
{
    if (!m_profile)
        return;
    const Profile &p = *m_profile;
    const OptionDictionary options = p.optionsForReading();
    fillIdentityPicker(m_identity, m_keys ? m_keys->privateKeys() : QStringList(),
                       p.privateKeyName());
    fillIdentityPicker(m_certificate, m_keys ? m_keys->certificates() : QStringList(),
                       p.certificateName());
    EditorFields::showText(m_identityFile, options.value(u"IdentityFile"_s).isEmpty()
                                               ? std::nullopt
                                               : std::optional(options.value(u"IdentityFile"_s)));
    m_identityFile->setEnabled(!p.privateKeyName() || p.privateKeyName()->isEmpty());
    EditorFields::showText(m_jumpHosts, jumpHosts(p));
    if (EditorFields::storedText(m_bindAddress->currentText()) != bindAddressOption(p)) {
        const QSignalBlocker blocker(m_bindAddress);
        m_bindAddress->setEditText(bindAddressOption(p).value_or(QString()));
    }
    const auto family = addressFamily(p);
    selectData(m_addressFamily, family ? rawValue(*family) : QString());
    selectData(m_compression, switchData(compression(p)));
    selectData(m_agentForwarding, switchData(agentForwarding(p)));
    const auto level = logLevel(p);
    selectData(m_logLevel, level ? rawValue(*level) : QString());
    m_noSession->setChecked(noSession(p));
    {
        const QSignalBlocker blocker(m_retries);
        m_retries->setValue(p.retryAttempts());
    }
    m_notify->setChecked(userNotification(p));
}

void ConnectionPage::setEffectiveSwitches(bool compression, bool forwardAgent)
{
    auto text = [](bool on) { return on ? localized("Default (Yes)") : localized("Default (No)"); };
    m_compression->setItemText(0, text(compression));
    m_agentForwarding->setItemText(0, text(forwardAgent));
}

void ConnectionPage::showPermission(NotificationPermission::Status status)
{
    const QString note = NotificationPermission::note(status);
    m_notifyNote->setText(note);
    m_notifyNote->setVisible(!note.isEmpty());
    const bool canOpenSettings = !NotificationPermission::settingsCommand().isEmpty();
    m_notifySettings->setText(status == NotificationPermission::Status::provisional
                                  ? localized("Enable Full Notifications")
                                  : localized("Open System Notification Settings"));
    m_notifySettings->setVisible(!note.isEmpty() && canOpenSettings);
}
