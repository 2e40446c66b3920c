#pragma once

#include <QList>
#include <QString>

class QHeaderView;
class QMainWindow;
class QSplitter;

// Where the main window was and how its panes were split, kept in a small file of its own
// beside the settings, so that the settings file holds only preferences.
class WindowStateFile
{
public:
    explicit WindowStateFile(QString path) : m_path(std::move(path)) {}
    // The file in the settings file's folder.
    static WindowStateFile besideSettings(const QString &settingsFilePath);

    // False when nothing was stored, and the window keeps its default geometry.
    bool restore(QMainWindow &window, const QList<QSplitter *> &splitters,
                 QHeaderView *header) const;
    void save(const QMainWindow &window, const QList<QSplitter *> &splitters,
              const QHeaderView *header) const;
    // Whether a pane that the person shows and hides (the inspector) was shown; false when
    // nothing was stored.
    bool isShown(const QString &pane) const;
    void setShown(const QString &pane, bool shown) const;

private:
    QString m_path;
};
