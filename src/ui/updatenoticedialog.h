#pragma once

#include "appcastfeed.h"

#include <QDialog>

class QLabel;
class QPushButton;

// Tells the user that a newer release exists: which, since when, its release notes, and the way
// to it. Download opens the release's page in the browser; Skip This Version asks automatic
// checks to stay quiet about it.
class UpdateNoticeDialog : public QDialog
{
    Q_OBJECT

public:
    UpdateNoticeDialog(const QString &currentVersion, QWidget *parent = nullptr);

    void setItem(const AppcastItem &item);
    const AppcastItem &item() const { return m_item; }

Q_SIGNALS:
    void skipRequested(const QString &version);

private:
    void download();

    QString m_currentVersion;
    AppcastItem m_item;
    QLabel *m_headline;
    QLabel *m_details;
    QLabel *m_notes;
    QPushButton *m_download;
};
