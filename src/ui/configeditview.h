#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

// Configuration text as people edit it in a terminal editor: plain text in a fixed-pitch
// font, wrapped at the view's width, with undo and a find bar that searches as one types
// (Ctrl+F opens it, Return and Shift+Return go to the next and previous match, Escape closes it).
class ConfigEditView : public QWidget
{
    Q_OBJECT

public:
    explicit ConfigEditView(QWidget *parent = nullptr);

    QPlainTextEdit *editor() const { return m_editor; }
    QLineEdit *findField() const { return m_findField; }
    bool isFindBarShown() const;

    void showFindBar();
    void hideFindBar();
    // From the cursor on, around the end; false when the text holds no match.
    bool findNext();
    bool findPrevious();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeFindBar();
    bool find(bool backward, bool fromSelectionStart);
    void showMatchState(bool found);

    QPlainTextEdit *m_editor = nullptr;
    QWidget *m_findBar = nullptr;
    QLineEdit *m_findField = nullptr;
    QLabel *m_notFound = nullptr;
};
