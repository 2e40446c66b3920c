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

// Qt's state blobs trust their own counts: one damaged byte can ask for gigabytes. Each blob is
// kept with its checksum and read back only when it still matches.
QByteArray storedBlob(const QSettings &file, const QString &key)
{
    const QByteArray blob = file.value(key).toByteArray();
    const bool intact = file.value(key + u"Sum"_s).toUInt() == qChecksum(QByteArrayView(blob));
    return intact ? blob : QByteArray();
}

void storeBlob(QSettings &file, const QString &key, const QByteArray &blob)
{
    file.setValue(key, blob);
    file.setValue(key + u"Sum"_s, uint(qChecksum(QByteArrayView(blob))));
}

// Only a plain file of ours, or none yet: never a link, a FIFO or a device.
bool usable(const QString &path)
{
    const QFileInfo info(path);
    return !info.isSymLink() && (!info.exists() || info.isFile());
}

} // namespace

WindowStateFile WindowStateFile::besideSettings(const QString &settingsFilePath)
{
    return WindowStateFile(QFileInfo(settingsFilePath).absolutePath() + u"/WindowState.conf"_s);
}

bool WindowStateFile::restore(QMainWindow &window, const QList<QSplitter *> &splitters,
                              QHeaderView *header) const
{
    if (!usable(m_path))
        return false;
    const QSettings file(m_path, QSettings::IniFormat);
    const QByteArray geometry = storedBlob(file, u"MainWindow/geometry"_s);
    if (geometry.isEmpty() || !window.restoreGeometry(geometry))
        return false;
    for (qsizetype i = 0; i < splitters.size(); ++i)
        splitters.at(i)->restoreState(storedBlob(file, splitterKey(i)));
    if (header)
        header->restoreState(storedBlob(file, u"MainWindow/columns"_s));
    return true;
}

void WindowStateFile::save(const QMainWindow &window, const QList<QSplitter *> &splitters,
                           const QHeaderView *header) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (!usable(m_path))
        return;
    QSettings file(m_path, QSettings::IniFormat);
    storeBlob(file, u"MainWindow/geometry"_s, window.saveGeometry());
    for (qsizetype i = 0; i < splitters.size(); ++i)
        storeBlob(file, splitterKey(i), splitters.at(i)->saveState());
    if (header)
        storeBlob(file, u"MainWindow/columns"_s, header->saveState());
    file.sync();
}

bool WindowStateFile::isShown(const QString &pane) const
{
    return usable(m_path) &&
           QSettings(m_path, QSettings::IniFormat).value(u"MainWindow/show-"_s + pane).toBool();
}

void WindowStateFile::setShown(const QString &pane, bool shown) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (!usable(m_path))
        return;
    QSettings file(m_path, QSettings::IniFormat);
    file.setValue(u"MainWindow/show-"_s + pane, shown);
    file.sync();
}
