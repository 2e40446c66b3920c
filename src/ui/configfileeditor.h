#pragma once

#include <QString>
#include <QWidget>

class ConfigEditView;
class QLabel;
class QPushButton;

// One client configuration file in a ConfigEditView, read when the page is first shown,
// written with Save and read again with Revert. A file that cannot be read or written is
// reported in a "Config File Error" alert; text that could not be saved stays in the editor.
class ConfigFileEditor : public QWidget
{
    Q_OBJECT

public:
    explicit ConfigFileEditor(QString path, QWidget *parent = nullptr);

    ConfigEditView *view() const { return m_view; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *revertButton() const { return m_revert; }

    // Both say whether it worked; what did not is in the alert.
    bool load();
    bool save();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateButtons();

    QString m_path;
    bool m_loaded = false;
    // Text that could not be read is never overwritten by a save of what the editor holds.
    bool m_readable = false;
    ConfigEditView *m_view = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_revert = nullptr;
};
