#pragma once

#include <QObject>

#include <functional>

class QSessionManager;
class QWidget;

// Quitting is held back only while a profile editor is open: the person sees that editor and
// answers "Quit Anyway" or "Cancel". Tunnels never hold it back, and closing the last window
// does not quit at all: the tunnels keep running behind the tray.
class QuitGuard : public QObject
{
    Q_OBJECT

public:
    // The open editor window, or none.
    using EditorSource = std::function<QWidget *()>;

    explicit QuitGuard(EditorSource openEditor, QObject *parent = nullptr);

    // Whether quitting may go on: at once without an open editor, otherwise as answered.
    bool mayQuit();
    void requestQuit();

private:
    void commitData(QSessionManager &manager);

    EditorSource m_openEditor;
};
