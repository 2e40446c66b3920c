#include "peerclosed.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A client, its proxy commands and their ask-pass helpers: a handful of processes.
constexpr int maxProcesses = 64;
// The kernel's number for CLOSE_WAIT in /proc/net/tcp.
constexpr QByteArrayView closeWait = "08";

QList<pid_t> processTree(pid_t root)
{
    QList<pid_t> tree{root};
    for (qsizetype i = 0; i < tree.size() && tree.size() < maxProcesses; ++i) {
        QFile children(u"/proc/%1/task/%1/children"_s.arg(tree[i]));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &word : children.readAll().split(' ')) {
            if (const pid_t pid = pid_t(word.trimmed().toInt()))
                tree.append(pid);
        }
    }
    return tree;
}

QSet<QByteArray> socketInodes(const QList<pid_t> &processes)
{
    QSet<QByteArray> inodes;
    for (pid_t pid : processes) {
        const QString folder = u"/proc/%1/fd"_s.arg(pid);
        for (const QString &fd :
             QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[64];
            const ssize_t length = ::readlink(QFile::encodeName(folder + u'/' + fd).constData(),
                                              target, sizeof target);
            const QByteArrayView link(target, length > 0 ? length : 0);
            if (link.startsWith("socket:[") && link.endsWith(']'))
                inodes.insert(link.sliced(8, link.size() - 9).toByteArray());
        }
    }
    return inodes;
}

bool anyClosedByPeer(const QString &table, const QSet<QByteArray> &inodes)
{
    QFile file(table);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // "sl local rem st tx:rx tr:when retrnsmt uid timeout inode ...", after a heading line.
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() > 9 && fields[3] == closeWait && inodes.contains(fields[9]))
            return true;
    }
    return false;
}

} // namespace

bool holdsConnectionClosedByPeer(pid_t root)
{
    if (root <= 0)
        return false;
    const QSet<QByteArray> inodes = socketInodes(processTree(root));
    if (inodes.isEmpty())
        return false;
    const QString net = u"/proc/%1/net/"_s.arg(root);
    return anyClosedByPeer(net + u"tcp"_s, inodes) || anyClosedByPeer(net + u"tcp6"_s, inodes);
}
