#pragma once

#include "softwareupdater.h"
#include "updatenoticedialog.h"

#include <QObject>
#include <QPointer>

class QMessageBox;
class QWidget;

// Shows what checks found. A check the user asked for always answers: the update, "You're up to
// date." or the error. An automatic check speaks only of an update, through the same notice,
// which it fills in again rather than opening a second one.
class UpdateNotices : public QObject
{
    Q_OBJECT

public:
    UpdateNotices(SoftwareUpdater &updater, QWidget *window);

    UpdateNoticeDialog *notice() const { return m_notice; }

private:
    void present(const UpdateCheck &check);
    void showUpdate(const AppcastItem &item, bool raise);
    void showMessage(QMessageBox *box);

    SoftwareUpdater &m_updater;
    QWidget *m_window;
    QPointer<UpdateNoticeDialog> m_notice;
    QPointer<QMessageBox> m_message;
};
