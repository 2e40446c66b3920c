#pragma once

#include <QDialog>

class QLabel;

// "about": the application's icon, name and version, the versions of Qt and of the installed
// OpenSSH client (asked for once the window opens), the copyright and the project's links.
class AboutWindow : public QDialog
{
    Q_OBJECT

public:
    explicit AboutWindow(const QString &version, QWidget *parent = nullptr);

    // Empty until the client has answered.
    QString openSshText() const;

Q_SIGNALS:
    void openSshVersionKnown();

private:
    QLabel *m_openSsh;
};
