#include "quitguard.h"

#include "localized.h"
#include "messageboxwidth.h"
#include "windowactivation.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>

using namespace Qt::StringLiterals;

QuitGuard::QuitGuard(EditorSource openEditor, QObject *parent)
    : QObject(parent), m_openEditor(std::move(openEditor))
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &QuitGuard::commitData);
}

bool QuitGuard::mayQuit()
{
    QWidget *editor = m_openEditor();
    if (!editor)
        return true;
    bringForward(editor);
    QApplication::alert(editor);
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    localized("You have unsaved changes."), QMessageBox::NoButton, editor);
    box.setObjectName(u"quitQuestion"_s);
    box.setInformativeText(localized("If you quit now, any unsaved changes will be lost."));
    QPushButton *quit = box.addButton(localized("Quit Anyway"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(localized("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    widenForReading(box);
    box.exec();
    return box.clickedButton() == quit;
}

void QuitGuard::requestQuit()
{
    if (mayQuit())
        QCoreApplication::quit();
}

// Logging out asks the same, where the session manager lets the application ask at all.
void QuitGuard::commitData(QSessionManager &manager)
{
    if (!m_openEditor() || !manager.allowsInteraction())
        return;
    if (!mayQuit())
        manager.cancel();
    manager.release();
}
