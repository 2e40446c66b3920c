#pragma once

#include <QWidget>

class ForwardingForm;
class ForwardingListModel;
class ObjectContext;
class Profile;
class QAction;
class QLabel;
class QListView;

// The port forwardings of a profile: the list in the order they are used, with the form of the
// selected one beside it, and the actions to add, remove, duplicate, reorder and copy them.
class ForwardingEditor : public QWidget
{
    Q_OBJECT

public:
    explicit ForwardingEditor(QWidget *parent = nullptr);

    void setProfile(ObjectContext *context, Profile *profile);
    // Shows or clears "Invalid port forwarding values" under the list.
    void showInvalidValues(bool shown);

    ForwardingListModel *model() const { return m_model; }
    QListView *list() const { return m_list; }
    ForwardingForm *form() const { return m_form; }
    QAction *addAction() const { return m_add; }
    QAction *removeAction() const { return m_remove; }
    QAction *duplicateAction() const { return m_duplicate; }
    QAction *moveUpAction() const { return m_moveUp; }
    QAction *moveDownAction() const { return m_moveDown; }
    QAction *copyAction() const { return m_copy; }

    void selectRow(int row);
    // The first forwarding whose port field holds text that is no port, or -1.
    int firstRowWithUnreadablePort() const;
    int currentRow() const;

Q_SIGNALS:
    void edited();

private:
    QAction *makeAction(const QString &text, const QString &icon, const QKeySequence &keys);
    QWidget *makeButtons();
    void connectActions();
    void selectionChanged();
    void updateActions();
    void moveCurrent(int by);

    ForwardingListModel *m_model;
    QListView *m_list;
    ForwardingForm *m_form;
    QLabel *m_message;
    QAction *m_add;
    QAction *m_remove;
    QAction *m_duplicate;
    QAction *m_moveUp;
    QAction *m_moveDown;
    QAction *m_copy;
};
