#include "knownhostssettingspage.h"

#include "addknownhostdialog.h"
#include "knownhostlistmodel.h"
#include "knownhostsparser.h"
#include "localized.h"
#include "settingspageparts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

KnownHostsSettingsPage::KnownHostsSettingsPage(QString serviceProgram, QString file,
                                               QWidget *parent)
    : QWidget(parent), m_program(std::move(serviceProgram)), m_file(std::move(file)),
      m_model(new KnownHostListModel(this)), m_list(new QTreeView),
      m_loadingLabel(new QLabel(localized("Loading…")))
{
    setObjectName(u"knownHostsSettings"_s);
    setUpEntryList(m_list, m_model, localized("Known Hosts"), QSize(480, 200));
    QHeaderView *header = m_list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(KnownHostListModel::hostsColumn, QHeaderView::Stretch);
    for (int column : {KnownHostListModel::keyTypeColumn, KnownHostListModel::markerColumn,
                       KnownHostListModel::statusColumn})
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    buildActions();
    watchFile();

    auto *intro = new QLabel(localized(
        "The `known_hosts` file stores the public keys of remote servers you've connected to, "
        "helping to ensure that you're connecting to the same server each time and preventing "
        "man-in-the-middle attacks."));
    intro->setTextFormat(Qt::MarkdownText);
    intro->setWordWrap(true);
    m_loadingLabel->setVisible(false);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(makeListButtons({{m_add, localized("Add…")},
                                       {m_copy, localized("Copy")},
                                       {m_remove, localized("Remove")}}),
                      1);
    bottom->addWidget(m_loadingLabel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    layout->addLayout(bottom);

    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &KnownHostsSettingsPage::updateActions);
    connect(m_model, &QAbstractItemModel::modelReset, this, &KnownHostsSettingsPage::updateActions);
    updateActions();
}

QString KnownHostsSettingsPage::defaultFile()
{
    return KnownHostsParser::defaultFile();
}

void KnownHostsSettingsPage::buildActions()
{
    m_add = makeListAction(m_list, u"addKnownHost"_s, localized("Add Known Host…"), u"list-add"_s,
                           QKeySequence::New);
    m_copy = makeListAction(m_list, u"copyKnownHosts"_s, localized("Copy Known Hosts"),
                            u"edit-copy"_s, QKeySequence::Copy);
    m_remove = makeListAction(m_list, u"removeKnownHosts"_s, localized("Remove Known Hosts"),
                              u"list-remove"_s, QKeySequence::Delete);
    connect(m_add, &QAction::triggered, this, &KnownHostsSettingsPage::showAddSheet);
    connect(m_copy, &QAction::triggered, this, &KnownHostsSettingsPage::copySelected);
    connect(m_remove, &QAction::triggered, this, &KnownHostsSettingsPage::removeSelected);
}

void KnownHostsSettingsPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_loading)
        reload();
}

void KnownHostsSettingsPage::setLoading(bool loading)
{
    m_loading = loading;
    m_loadingLabel->setVisible(loading);
    updateActions();
    Q_EMIT loadingChanged(loading);
}

void KnownHostsSettingsPage::updateActions()
{
    const bool selected = m_list->selectionModel()->hasSelection();
    m_add->setEnabled(!m_loading);
    m_copy->setEnabled(selected);
    m_remove->setEnabled(selected && !m_loading);
}

QList<KnownHostEntry> KnownHostsSettingsPage::selectedEntries() const
{
    QModelIndexList rows = m_list->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QList<KnownHostEntry> entries;
    for (const QModelIndex &index : std::as_const(rows))
        entries.append(m_model->entries().at(index.row()));
    return entries;
}

KnownHostsParser *KnownHostsSettingsPage::newParser()
{
    return new KnownHostsParser(m_program, this);
}

void KnownHostsSettingsPage::fail(const QString &message)
{
    showSettingsAlert(this, u"knownHostsError"_s, localized("KnownHosts Error"), message);
}

// A failed read leaves the list as it was.
void KnownHostsSettingsPage::read(const std::function<void(QList<KnownHostEntry>)> &use)
{
    // This read sees every change noticed so far, the page's own writes included.
    m_changed.stop();
    setLoading(true);
    KnownHostsParser *parser = newParser();
    parser->load(m_file, [this, parser, use](Result<QList<KnownHostEntry>> entries) {
        parser->deleteLater();
        if (!entries) {
            setLoading(false);
            fail(entries.error().message);
            return;
        }
        use(*std::move(entries));
    });
}

void KnownHostsSettingsPage::reload()
{
    read([this](const QList<KnownHostEntry> &entries) {
        showEntries(entries);
        setLoading(false);
    });
}

// The file changes under the page whenever the client records a host key: what the person
// selected stays selected, by content.
void KnownHostsSettingsPage::showEntries(const QList<KnownHostEntry> &entries)
{
    QStringList selected;
    for (const KnownHostEntry &entry : selectedEntries())
        selected.append(entry.content);
    m_model->setEntries(entries);
    QItemSelection kept;
    for (int row = 0; row < entries.size() && !selected.isEmpty(); ++row) {
        if (selected.removeOne(entries.at(row).content))
            kept.select(m_model->index(row, 0), m_model->index(row, 0));
    }
    m_list->selectionModel()->select(kept, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
}

// The list shown stays the file's until the file has been read again; a write that fails
// leaves it showing what is there.
void KnownHostsSettingsPage::write(const QList<KnownHostEntry> &entries)
{
    setLoading(true);
    KnownHostsParser *parser = newParser();
    parser->dump(m_file, entries, [this, parser](Status status) {
        parser->deleteLater();
        if (status) {
            setLoading(false);
            fail(status->message);
            return;
        }
        reload();
    });
}

void KnownHostsSettingsPage::showAddSheet()
{
    if (m_loading)
        return;
    auto *sheet = new AddKnownHostDialog(this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::accepted, this, [this, sheet] { addEntryLines(sheet->entryLines()); });
    sheet->open();
}

// The client adds lines to the file while the page is open: a change is made to what the file
// holds now, never to the list as it was last shown.
void KnownHostsSettingsPage::change(const std::function<void(QList<KnownHostEntry> &)> &edit)
{
    read([this, edit](QList<KnownHostEntry> entries) {
        edit(entries);
        write(entries);
    });
}

void KnownHostsSettingsPage::addEntryLines(const QStringList &lines)
{
    if (lines.isEmpty() || m_loading)
        return;
    change([lines](QList<KnownHostEntry> &entries) {
        for (const QString &line : lines)
            entries.append({line, KnownHostEntry::Status::ok, {}, {}, {}});
    });
}

void KnownHostsSettingsPage::copySelected()
{
    QStringList lines;
    for (const KnownHostEntry &entry : selectedEntries())
        lines.append(entry.content);
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(u'\n'));
}

void KnownHostsSettingsPage::removeSelected()
{
    if (m_loading)
        return;
    QStringList removed;
    for (const KnownHostEntry &entry : selectedEntries())
        removed.append(entry.content);
    if (removed.isEmpty())
        return;
    // By content, one line for each selected one: lines written since stay where they are.
    change([removed](QList<KnownHostEntry> &entries) {
        for (const QString &content : removed) {
            const auto it =
                std::find_if(entries.begin(), entries.end(),
                             [&](const KnownHostEntry &e) { return e.content == content; });
            if (it != entries.end())
                entries.erase(it);
        }
    });
}

void KnownHostsSettingsPage::watchFile()
{
    m_changed.setSingleShot(true);
    m_changed.setInterval(200);
    connect(&m_changed, &QTimer::timeout, this, [this] {
        if (m_loading)
            return m_changed.start();
        if (isVisible())
            reload();
    });
    // The folder too: a file replaced by rename or made anew is no longer the one watched.
    const auto changed = [this] {
        followFile();
        m_changed.start();
    };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    followFile();
}

void KnownHostsSettingsPage::followFile()
{
    const QString folder = QFileInfo(m_file).absolutePath();
    if (QFileInfo(folder).isDir() && !m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
    if (QFileInfo(m_file).isFile() && !m_watcher.files().contains(m_file))
        m_watcher.addPath(m_file);
}
