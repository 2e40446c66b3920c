#include "windowstatefile.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>

using namespace Qt::StringLiterals;

namespace {

QString splitterKey(qsizetype index)
{
    return u"MainWindow/splitter%1"_s.arg(index);
}

} // namespace

WindowStateFile WindowStateFile::besideSettings(const QString &settingsFilePath)
{
    return WindowStateFile(QFileInfo(settingsFilePath).absolutePath() + u"/WindowState.conf"_s);
}

bool WindowStateFile::restore(QMainWindow &window, const QList<QSplitter *> &splitters,
                              QHeaderView *header) const
{
    const QSettings file(m_path, QSettings::IniFormat);
    const QByteArray geometry = file.value(u"MainWindow/geometry"_s).toByteArray();
    if (geometry.isEmpty() || !window.restoreGeometry(geometry))
        return false;
    for (qsizetype i = 0; i < splitters.size(); ++i)
        splitters.at(i)->restoreState(file.value(splitterKey(i)).toByteArray());
    if (header)
        header->restoreState(file.value(u"MainWindow/columns"_s).toByteArray());
    return true;
}

void WindowStateFile::save(const QMainWindow &window, const QList<QSplitter *> &splitters,
                           const QHeaderView *header) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSettings file(m_path, QSettings::IniFormat);
    file.setValue(u"MainWindow/geometry"_s, window.saveGeometry());
    for (qsizetype i = 0; i < splitters.size(); ++i)
        file.setValue(splitterKey(i), splitters.at(i)->saveState());
    if (header)
        file.setValue(u"MainWindow/columns"_s, header->saveState());
    file.sync();
}

bool WindowStateFile::isShown(const QString &pane) const
{
    return QSettings(m_path, QSettings::IniFormat).value(u"MainWindow/show-"_s + pane).toBool();
}

void WindowStateFile::setShown(const QString &pane, bool shown) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSettings file(m_path, QSettings::IniFormat);
    file.setValue(u"MainWindow/show-"_s + pane, shown);
    file.sync();
}
