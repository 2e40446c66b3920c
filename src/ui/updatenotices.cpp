#include "updatenotices.h"

#include "localized.h"
#include "messageboxwidth.h"
#include "updatenoticedialog.h"
#include "windowactivation.h"

#include <QMessageBox>

using namespace Qt::StringLiterals;

UpdateNotices::UpdateNotices(SoftwareUpdater &updater, QWidget *window)
    : QObject(window), m_updater(updater), m_window(window)
{
    connect(&updater, &SoftwareUpdater::checkFinished, this, &UpdateNotices::present);
}

void UpdateNotices::present(const UpdateCheck &check)
{
    const bool asked = check.origin == UpdateCheck::Origin::user;
    if (check.update) {
        showUpdate(*check.update, asked);
        return;
    }
    if (!asked)
        return;
    if (check.error) {
        auto *box = new QMessageBox(QMessageBox::Warning, localized("Update Check Failed"),
                                    check.error->message, QMessageBox::Ok, m_window);
        box->setObjectName(u"updateError"_s);
        box->setInformativeText(check.error->recoverySuggestion);
        showMessage(box);
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Information, localized("Software Update"),
                                localized("You're up to date."), QMessageBox::Ok, m_window);
    box->setObjectName(u"upToDate"_s);
    box->setInformativeText(
        localized("VellSSH %1 is the newest version available.").arg(m_updater.currentVersion()));
    showMessage(box);
}

void UpdateNotices::showUpdate(const AppcastItem &item, bool raise)
{
    if (!m_notice) {
        m_notice = new UpdateNoticeDialog(m_updater.currentVersion(), m_window);
        m_notice->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_notice, &UpdateNoticeDialog::skipRequested, &m_updater,
                &SoftwareUpdater::skipVersion);
    }
    m_notice->setItem(item);
    if (!m_notice->isVisible())
        m_notice->show();
    else if (raise)
        bringForward(m_notice);
}

// One answer at a time: a newer one replaces the last.
void UpdateNotices::showMessage(QMessageBox *box)
{
    if (m_message)
        m_message->close();
    box->setAttribute(Qt::WA_DeleteOnClose);
    widenForReading(*box);
    m_message = box;
    box->open();
}
