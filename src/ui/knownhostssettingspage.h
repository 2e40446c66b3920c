#pragma once

#include "knownhostentry.h"

#include <QFileSystemWatcher>
#include <QTimer>
#include <QWidget>

#include <functional>

class KnownHostListModel;
class KnownHostsParser;
class QAction;
class QLabel;
class QTreeView;

// The entries of the real home's known_hosts, read and written by the SSH service: adding
// pasted lines, copying and removing the selected ones. The file is read again after every
// write, so the list always shows what the service made of it, and whenever it changes while
// the page is shown. Nothing here waits for the service: every exchange calls back.
class KnownHostsSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit KnownHostsSettingsPage(QString serviceProgram, QString file = defaultFile(),
                                    QWidget *parent = nullptr);

    static QString defaultFile();

    QTreeView *list() const { return m_list; }
    KnownHostListModel *model() const { return m_model; }
    bool isLoading() const { return m_loading; }
    // In list order.
    QList<KnownHostEntry> selectedEntries() const;

    void reload();
    void showAddSheet();
    // Each non-empty line becomes an entry at the end of the file.
    void addEntryLines(const QStringList &lines);
    void copySelected();
    void removeSelected();

Q_SIGNALS:
    void loadingChanged(bool loading);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildActions();
    void setLoading(bool loading);
    void updateActions();
    void write(const QList<KnownHostEntry> &entries);
    void showEntries(const QList<KnownHostEntry> &entries);
    void read(const std::function<void(QList<KnownHostEntry>)> &use);
    void change(const std::function<void(QList<KnownHostEntry> &)> &edit);
    void watchFile();
    void followFile();
    void fail(const QString &message);
    KnownHostsParser *newParser();

    QString m_program;
    QString m_file;
    KnownHostListModel *m_model;
    QTreeView *m_list;
    QLabel *m_loadingLabel;
    QAction *m_add = nullptr;
    QAction *m_copy = nullptr;
    QAction *m_remove = nullptr;
    bool m_loading = false;
    QFileSystemWatcher m_watcher;
    QTimer m_changed;
};
