#include "pathchooser.h"

#include "homedirectory.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QFileDialog *choosePath(QWidget *page, QFileDialog::FileMode mode, const QString &title,
                        const QString &start, const std::function<void(const QString &)> &chosen)
{
    auto *dialog = new QFileDialog(page->window(), title);
    dialog->setObjectName(u"pathChooser"_s);
    dialog->setFileMode(mode);
    // Sockets and hidden folders (~/.ssh, ~/.gnupg) are what this picker is for.
    dialog->setFilter(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (mode == QFileDialog::Directory)
        dialog->setOption(QFileDialog::ShowDirsOnly);
    const QString expanded = expandingTilde(start);
    const QFileInfo info(expanded);
    if (!start.isEmpty() && info.isDir())
        dialog->setDirectory(expanded);
    else if (!start.isEmpty())
        dialog->selectFile(expanded);
    else
        dialog->setDirectory(realHomeDirectory());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &QFileDialog::fileSelected, page, chosen);
    dialog->open();
    return dialog;
}

QString abbreviatingTilde(const QString &path)
{
    const QString home = QDir::cleanPath(realHomeDirectory());
    if (path == home)
        return u"~"_s;
    if (home != u"/"_s && path.startsWith(home + u'/'))
        return u"~"_s + path.mid(home.size());
    return path;
}
