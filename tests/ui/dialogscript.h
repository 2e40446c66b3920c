#pragma once

#include "uitestmain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the dialogs that the code under test shows and waits in, as a person would: each
// step waits for a shown top-level window of that object name, then acts on it.
class DialogScript
{
public:
    using Act = std::function<void(QWidget *)>;

    DialogScript()
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
    }

    void then(const QString &objectName, Act act)
    {
        m_steps.append({objectName, std::move(act)});
        m_poll.start();
    }
    bool done() const { return m_steps.isEmpty(); }
    int acted() const { return m_acted; }

    static QWidget *shown(const QString &objectName)
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->objectName() == objectName)
                return window;
        }
        return nullptr;
    }

    static void click(QWidget *dialog, const QString &text)
    {
        for (QAbstractButton *button : qobject_cast<QMessageBox *>(dialog)->buttons()) {
            if (button->text() == text)
                return button->click();
        }
    }

    // Goes to the path's folder and types its name into the chooser, as a person does. Typed
    // rather than selected: selecting leaves the name field alone while it has the focus, and
    // the chooser then answers with the folder it shows.
    static void typeInChooser(QWidget *dialog, const QString &path)
    {
        auto *chooser = qobject_cast<QFileDialog *>(dialog);
        const QFileInfo info(path);
        chooser->setDirectory(info.absolutePath());
        chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(info.fileName());
    }

private:
    struct Step
    {
        QString objectName;
        Act act;
    };

    void poll()
    {
        if (m_steps.isEmpty())
            return m_poll.stop();
        QWidget *dialog = shown(m_steps.first().objectName);
        // A dialog already answered may still be on its way out.
        if (!dialog || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        ++m_acted;
        m_steps.takeFirst().act(dialog);
    }

    QList<Step> m_steps;
    QTimer m_poll;
    int m_acted = 0;
};
