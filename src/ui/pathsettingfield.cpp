#include "pathsettingfield.h"

#include "localized.h"
#include "pathchooser.h"
#include "settingsalert.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

PathSettingField::PathSettingField(Settings &settings, const SettingKey<QString> &key,
                                   QFileDialog::FileMode mode, QWidget *parent)
    : QWidget(parent), m_settings(settings), m_key(key)
{
    setObjectName(key.name);
    m_edit = new QLineEdit;
    m_edit->setClearButtonEnabled(true);
    m_choose = new QPushButton(localized("Choose…"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_choose);
    setFocusProxy(m_edit);

    connect(m_edit, &QLineEdit::editingFinished, this, [this] { store(m_edit->text()); });
    connect(m_choose, &QPushButton::clicked, this, [this, mode] {
        choosePath(this, mode, localized("Choose a File"), m_edit->text(),
                   [this](const QString &path) { store(abbreviatingTilde(path)); });
    });
    m_settings.updates<QString>(m_key, this, [this](const QString &path) { follow(path); });
}

void PathSettingField::store(const QString &path)
{
    const QString trimmed = path.trimmed();
    if (trimmed != m_settings.get(m_key)) {
        if (Status error = m_settings.set(m_key, trimmed)) {
            showSettingsAlert(this, localized("Settings Error"), *error);
            return;
        }
    }
    m_edit->setModified(false);
    if (m_edit->text() != trimmed)
        m_edit->setText(trimmed);
}

// Typing under way is the user's and stays; what is written shows once it is done.
void PathSettingField::follow(const QString &path)
{
    if (m_edit->text() != path && !m_edit->isModified())
        m_edit->setText(path);
}
