#include "identitiessettingspage.h"

#include "homedirectory.h"
#include "identitykeymanager.h"
#include "identitylistmodel.h"
#include "localized.h"
#include "settingspageparts.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// "~/.ssh" reads better than the full path of the same folder.
QString abbreviatedHome(const QString &path)
{
    const QString home = realHomeDirectory();
    if (path == home || path.startsWith(home + u'/'))
        return u'~' + path.mid(home.size());
    return path;
}

} // namespace

IdentitiesSettingsPage::IdentitiesSettingsPage(IdentityKeyManager &manager, QWidget *parent)
    : QWidget(parent), m_manager(manager), m_model(new IdentityListModel(manager, this)),
      m_list(new QTreeView)
{
    setObjectName(u"identitiesSettings"_s);
    setUpEntryList(m_list, m_model, localized("Identities"), QSize(360, 180));
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(IdentityListModel::nameColumn, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(IdentityListModel::kindColumn,
                                           QHeaderView::ResizeToContents);
    buildActions();

    auto *note = new QLabel(usageNote(abbreviatedHome(manager.identityKeysDirectory())));
    note->setWordWrap(true);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(m_list, 1);
    layout->addWidget(
        makeListButtons({{m_import, localized("Import…")}, {m_delete, localized("Delete")}}));

    keepSelectionAcrossReloads();
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &IdentitiesSettingsPage::updateActions);
    connect(&m_manager, &IdentityKeyManager::refreshFailed, this, [this](const QString &message) {
        showSettingsAlert(this, u"identityRefreshError"_s, localized("Identity Refresh Error"),
                          message);
    });
    updateActions();
}

QString IdentitiesSettingsPage::usageNote(const QString &directory)
{
    static constexpr char key[] = "IDENTITY_USAGE_NOTES";
    const QString translated = localized(key);
    if (translated != QLatin1String(key))
        return translated.arg(directory);
    return u"These are the files in %1 that profiles can use as identities. A profile names its "
           u"private key and its certificate by file name only; the SSH client reads them from "
           u"this folder each time the tunnel connects. Imported private keys are made readable "
           u"by you alone. Deleting a file that a profile still names leaves the profile as it "
           u"is, and its next connection fails to read the key."_s.arg(directory);
}

void IdentitiesSettingsPage::buildActions()
{
    m_import = makeListAction(m_list, u"importIdentities"_s, localized("Import Identity Keys…"),
                              u"document-import"_s, QKeySequence::Open);
    m_delete = makeListAction(m_list, u"deleteIdentities"_s, localized("Delete Identities"),
                              u"edit-delete"_s, QKeySequence::Delete);
    connect(m_import, &QAction::triggered, this, &IdentitiesSettingsPage::chooseFilesToImport);
    connect(m_delete, &QAction::triggered, this, &IdentitiesSettingsPage::deleteSelected);
}

// A reload replaces every row; what was selected stays selected when its file is still there.
void IdentitiesSettingsPage::keepSelectionAcrossReloads()
{
    auto kept = std::make_shared<QStringList>();
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this, kept] { *kept = selectedIdentities(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this, kept] {
        QItemSelection selection;
        for (const QString &path : std::as_const(*kept)) {
            const int row = m_model->rowOf(path);
            if (row >= 0)
                selection.select(m_model->index(row, 0),
                                 m_model->index(row, m_model->columnCount() - 1));
        }
        m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        updateActions();
    });
}

void IdentitiesSettingsPage::updateActions()
{
    m_delete->setEnabled(m_list->selectionModel()->hasSelection());
}

QStringList IdentitiesSettingsPage::selectedIdentities() const
{
    QStringList paths;
    for (const QModelIndex &index : m_list->selectionModel()->selectedRows())
        paths.append(m_model->pathAt(index.row()));
    paths.sort();
    return paths;
}

void IdentitiesSettingsPage::chooseFilesToImport()
{
    auto *chooser = new QFileDialog(this, localized("Import Identity Keys"), QDir::homePath());
    chooser->setObjectName(u"importIdentityKeys"_s);
    chooser->setFileMode(QFileDialog::ExistingFiles);
    chooser->setAcceptMode(QFileDialog::AcceptOpen);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::filesSelected, this, &IdentitiesSettingsPage::importFiles);
    chooser->open();
}

void IdentitiesSettingsPage::importFiles(const QStringList &paths)
{
    const QStringList refused = m_manager.importFiles(paths);
    if (!refused.isEmpty())
        showSettingsAlert(this, u"identityImportError"_s, localized("Import Identity Keys"),
                          refused.join(u'\n'));
}

void IdentitiesSettingsPage::deleteSelected()
{
    const QStringList paths = selectedIdentities();
    if (paths.isEmpty())
        return;
    const QString count = QString::number(paths.size());
    askSettingsQuestion(
        this, u"confirmIdentityDeletion"_s, localized("Delete Identities"),
        localized("Are you sure you want to delete the %1 selected identity(s)?").arg(count),
        localized("%1 identity(s) will be deleted immediately. You cannot undo this action.")
            .arg(count),
        localized("Delete"), [this, paths] {
            const QStringList failed = m_manager.deleteIdentities(paths);
            if (!failed.isEmpty())
                showSettingsAlert(this, u"identityDeleteError"_s, localized("Delete Identities"),
                                  failed.join(u'\n'));
        });
}
