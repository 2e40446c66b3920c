#pragma once

#include "settings.h"

#include <QFileDialog>
#include <QWidget>

class QLineEdit;
class QPushButton;

// A path setting: typed (a leading "~" stays as typed) or picked, written when the typing is
// done, and following the setting when someone else writes it.
class PathSettingField : public QWidget
{
    Q_OBJECT

public:
    PathSettingField(Settings &settings, const SettingKey<QString> &key, QFileDialog::FileMode mode,
                     QWidget *parent = nullptr);

    QLineEdit *edit() const { return m_edit; }
    QPushButton *chooseButton() const { return m_choose; }

private:
    void store(const QString &path);
    void follow(const QString &path);

    Settings &m_settings;
    SettingKey<QString> m_key;
    QLineEdit *m_edit = nullptr;
    QPushButton *m_choose = nullptr;
};
