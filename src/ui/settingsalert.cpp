#include "settingsalert.h"

#include "messageboxwidth.h"

#include <QMessageBox>

using namespace Qt::StringLiterals;

void showSettingsAlert(QWidget *page, const QString &title, const Error &error)
{
    QWidget *window = page->window();
    auto *box =
        new QMessageBox(QMessageBox::Warning, title, error.message, QMessageBox::Ok, window);
    box->setObjectName(u"settingsAlert"_s);
    box->setInformativeText(error.recoverySuggestion);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    widenForReading(*box);
    QObject::connect(box, &QDialog::finished, window, [window] { window->activateWindow(); });
    box->open();
}
