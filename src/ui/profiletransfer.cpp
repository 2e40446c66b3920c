#include "profiletransfer.h"

#include "exchangedialogs.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileimport.h"
#include "queries.h"
#include "regularfiles.h"
#include "tag.h"
#include "transferableprofile.h"
#include "undostack.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QMimeData>
#include <QStandardPaths>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString exportSuffix = u"velltunnel"_s;

bool isImportable(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"velltunnel"_s || suffix == u"vellshell"_s || suffix == u"json"_s;
}

QString stepName(const QList<Profile *> &profiles, const QString &one, const QString &named,
                 const QString &several)
{
    if (profiles.size() > 1)
        return several;
    if (const auto &name = profiles.first()->name())
        return named.arg(*name);
    return one;
}

QString exportFileName(const QList<Profile *> &profiles, bool all)
{
    const QString base =
        !all && profiles.size() == 1 ? profiles.first()->displayName() : localized("Profiles");
    return QString(base).replace(u'/', u'-') + u'.' + exportSuffix;
}

QList<QUuid> uuidsOf(const QList<Profile *> &profiles)
{
    QList<QUuid> uuids;
    for (const Profile *profile : profiles) {
        if (profile->uuid())
            uuids.append(*profile->uuid());
    }
    return uuids;
}

} // namespace

ProfileTransfer::ProfileTransfer(ObjectContext &context, InvocationSource invocation,
                                 QWidget *window)
    : QObject(window), m_context(context), m_invocation(std::move(invocation)), m_window(window)
{
    makeActions();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &ProfileTransfer::clipboardChanged);
    connect(&m_context, &ObjectContext::objectsDidChange, this, &ProfileTransfer::focusChanged);
    focusChanged();
    clipboardChanged();
}

ProfileTransfer::~ProfileTransfer() = default;

void ProfileTransfer::makeActions()
{
    auto action = [this](const QString &text, const QString &name, QKeySequence::StandardKey key,
                         auto slot) {
        auto *made = new QAction(text, this);
        made->setObjectName(name);
        if (key != QKeySequence::UnknownKey)
            made->setShortcut(key);
        connect(made, &QAction::triggered, this, slot);
        return made;
    };
    m_import = action(localized("Import Profiles…"), u"importProfiles"_s, QKeySequence::Open,
                      [this] { chooseAndImport(); });
    m_exportAll = action(localized("Export All Profiles…"), u"exportAllProfiles"_s,
                         QKeySequence::UnknownKey, [this] { chooseAndExport(true); });
    m_exportSelected = action(localized("Export Selected Profiles…"), u"exportSelectedProfiles"_s,
                              QKeySequence::UnknownKey, [this] { chooseAndExport(false); });
    m_cut = action(localized("Cut"), u"cutProfiles"_s, QKeySequence::Cut,
                   [this] { cut(focus().profiles); });
    m_copy = action(localized("Copy"), u"copyProfiles"_s, QKeySequence::Copy,
                    [this] { copy(focus().profiles); });
    m_paste = action(localized("Paste"), u"pasteProfiles"_s, QKeySequence::Paste,
                     [this] { paste(focus().tag); });
}

void ProfileTransfer::setFocusSource(FocusSource source)
{
    m_focus = std::move(source);
    focusChanged();
}

ProfileTransfer::Focus ProfileTransfer::focus() const
{
    return m_focus ? m_focus() : Focus{};
}

void ProfileTransfer::focusChanged()
{
    const QList<Profile *> selected = focus().profiles;
    m_copy->setEnabled(!selected.isEmpty());
    m_exportSelected->setEnabled(!selected.isEmpty());
    m_cut->setEnabled(std::any_of(selected.cbegin(), selected.cend(),
                                  [](const Profile *profile) { return !profile->isInTrash(); }));
    const QList<Profile *> all = m_context.profiles();
    m_exportAll->setEnabled(std::any_of(all.cbegin(), all.cend(), [](const Profile *profile) {
        return isValidProfile(profile) && !profile->isInTrash();
    }));
}

QList<Profile *> ProfileTransfer::liveProfiles() const
{
    return profilesIn(m_context, SidebarItem::all());
}

Profile *ProfileTransfer::profile(const QUuid &uuid) const
{
    const QList<Profile *> all = m_context.profiles();
    const auto found = std::find_if(
        all.cbegin(), all.cend(), [&](const Profile *profile) { return profile->uuid() == uuid; });
    return found == all.cend() ? nullptr : *found;
}

QString ProfileTransfer::startFolder() const
{
    if (!m_lastFolder.isEmpty())
        return m_lastFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(documents).exists() ? documents : QDir::homePath();
}

void ProfileTransfer::chooseAndImport()
{
    QFileDialog dialog(m_window, localized("Import Profiles"), startFolder());
    dialog.setObjectName(u"importDialog"_s);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(localized("VellSSH Profiles (*.velltunnel *.vellshell *.json)"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_lastFolder = dialog.directory().absolutePath();
    QStringList files;
    for (const QString &path : dialog.selectedFiles()) {
        if (isImportable(path))
            files.append(path);
        else
            ExchangeDialogs::showFailure(
                m_window, localized("Import/Export Error"),
                localized("“%1” is no profiles file: choose a .velltunnel, .vellshell or .json "
                          "file.")
                    .arg(path));
    }
    openFiles(files);
}

void ProfileTransfer::chooseAndExport(bool all)
{
    QList<Profile *> profiles = all ? liveProfiles() : focus().profiles;
    if (profiles.isEmpty())
        return;
    sortByDefaultOrder(profiles);
    QFileDialog dialog(
        m_window, all ? localized("Export All Profiles") : localized("Export Selected Profiles"),
        startFolder());
    dialog.setObjectName(u"exportDialog"_s);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(localized("VellSSH Tunnel Profiles (*.velltunnel)"));
    dialog.setDefaultSuffix(exportSuffix);
    dialog.selectFile(exportFileName(profiles, all));
    // Profiles can go while the dialog is open (a sync, another window): they are looked up
    // again afterwards.
    const QList<QUuid> chosen = uuidsOf(profiles);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    m_lastFolder = dialog.directory().absolutePath();
    profiles.clear();
    for (const QUuid &uuid : chosen) {
        if (Profile *profile = this->profile(uuid))
            profiles.append(profile);
    }
    exportTo(dialog.selectedFiles().first(), profiles);
}

bool ProfileTransfer::exportTo(const QString &path, const QList<Profile *> &profiles)
{
    if (Status error = writeExportFile(path, profiles)) {
        ExchangeDialogs::showFailure(
            m_window, localized("Import/Export Error"),
            localized("“%1” could not be written: %2").arg(path, error->message));
        return false;
    }
    return true;
}

void ProfileTransfer::openFiles(const QStringList &paths)
{
    m_pending.append(paths);
    // Not in the caller's turn: a drop, or a bus call from a second start, would otherwise
    // stay unfinished until every question was answered.
    QMetaObject::invokeMethod(this, &ProfileTransfer::drain, Qt::QueuedConnection);
}

// A file that arrives while an import waits for an answer joins the queue, so that imports
// never interleave in one undo step. Files opened together are one run: "Apply to All" is
// offered while more files wait, and holds for them.
void ProfileTransfer::drain()
{
    if (m_busy)
        return;
    m_busy = true;
    ExchangeDialogs::ImportReport report;
    std::optional<ConflictDecision> forAll;
    // A question left unanswered means the application is quitting: no more files.
    const auto stop = [this] { m_pending.clear(); };
    const ConflictQuestion ask = ExchangeDialogs::conflictQuestion(m_window, stop);
    const ConflictQuestion askOnce = [&](const QString &name, bool offerApplyToAll) {
        if (forAll)
            return *forAll;
        const ConflictDecision decision = ask(name, offerApplyToAll || !m_pending.isEmpty());
        if (decision.applyToAll)
            forAll = decision;
        return decision;
    };
    // One step to undo as well.
    UndoStack *undo = m_context.undoStack();
    if (undo)
        undo->beginUndoGrouping();
    qsizetype files = 0;
    for (; !m_pending.isEmpty(); ++files)
        importFile(m_pending.takeFirst(), report, askOnce);
    if (undo) {
        if (files > 1 && report.total && report.total->added + report.total->replaced > 0)
            undo->setActionName(localized("Import Profiles"));
        undo->endUndoGrouping();
    }
    m_busy = false;
    ExchangeDialogs::showImportReport(m_window, report);
}

namespace {

// The names of the file's profiles whose options run a command here; none when the file cannot
// be read (the import then says why).
QStringList profilesRunningCommands(const QString &path)
{
    static const QStringList commandOptions{u"proxycommand"_s, u"localcommand"_s,
                                            u"knownhostscommand"_s};
    const Result<QByteArray> bytes = readRegularFile(path, maxImportBytes, Links::follow);
    const Result<QJsonArray> profiles =
        bytes ? importableProfiles(*bytes) : Result<QJsonArray>(bytes.error());
    QStringList names;
    if (!profiles)
        return names;
    for (const QJsonValue &profile : *profiles) {
        const QJsonObject options = profile[u"options"_s].toObject();
        for (auto it = options.begin(); it != options.end(); ++it) {
            if (commandOptions.contains(it.key().toLower())) {
                names.append(u"“"_s + profile[u"name"_s].toString().left(80) + u"”"_s);
                break;
            }
        }
    }
    return names;
}

} // namespace

void ProfileTransfer::importFile(const QString &path, ExchangeDialogs::ImportReport &report,
                                 const ConflictQuestion &ask)
{
    const QStringList running = profilesRunningCommands(path);
    if (!running.isEmpty()) {
        const std::optional<bool> trusted =
            ExchangeDialogs::confirmCommands(m_window, path, running);
        if (!trusted)
            m_pending.clear();
        if (!trusted.value_or(false))
            return;
    }
    report.add(importProfiles(path, m_context, ConflictPolicy::ask, ask));
}

std::unique_ptr<QMimeData> ProfileTransfer::mimeDataFor(const QList<Profile *> &profiles) const
{
    QList<Profile *> ordered = profiles;
    sortByDefaultOrder(ordered);
    const InvocationInputs inputs = m_invocation();
    QList<TransferableProfile> records;
    for (const Profile *profile : ordered)
        records.append(TransferableProfile::from(*profile, inputs));
    return mimeData(records);
}

void ProfileTransfer::copy(const QList<Profile *> &profiles)
{
    if (profiles.isEmpty())
        return;
    m_cutProfiles.clear();
    QGuiApplication::clipboard()->setMimeData(mimeDataFor(profiles).release());
}

void ProfileTransfer::cut(const QList<Profile *> &profiles)
{
    QList<Profile *> live;
    std::copy_if(profiles.cbegin(), profiles.cend(), std::back_inserter(live),
                 [](const Profile *profile) { return !profile->isInTrash(); });
    if (live.isEmpty())
        return;
    copy(live);
    const QList<QUuid> uuids = uuidsOf(live);
    m_cutProfiles = {uuids.cbegin(), uuids.cend()};
    UndoStack *undo = m_context.undoStack();
    if (undo)
        undo->beginUndoGrouping();
    moveToTrash(live);
    m_context.processPendingChanges();
    if (undo) {
        undo->setActionName(stepName(live, localized("Cut Profile"), localized("Cut “%1”"),
                                     localized("Cut Profiles")));
        undo->endUndoGrouping();
    }
    if (Status error = m_context.saveIfChanged())
        ExchangeDialogs::showFailure(m_window, localized("Import/Export Error"), error->message);
}

void ProfileTransfer::paste(Tag *tag)
{
    if (const QMimeData *data = QGuiApplication::clipboard()->mimeData())
        dropProfiles(*data, tag);
}

bool ProfileTransfer::carriesProfiles(const QMimeData *data)
{
    return data && data->hasFormat(TransferableProfile::mimeType);
}

bool ProfileTransfer::dropProfiles(const QMimeData &data, Tag *tag)
{
    QList<TransferableProfile> records = transferables(data);
    if (records.isEmpty())
        return false;
    pasteRecords(std::move(records), tag);
    return true;
}

QList<Profile *> ProfileTransfer::takeCutProfiles(QList<TransferableProfile> &records)
{
    QList<Profile *> recovered;
    records.removeIf([&](const TransferableProfile &record) {
        if (record.json.value(u"transferId"_s).toString() != transferId())
            return false;
        const QUuid uuid(record.json.value(u"uuid"_s).toString());
        Profile *cut = m_cutProfiles.contains(uuid) ? profile(uuid) : nullptr;
        if (!cut || !cut->isInTrash())
            return false;
        recovered.append(cut);
        return true;
    });
    return recovered;
}

void ProfileTransfer::pasteRecords(QList<TransferableProfile> records, Tag *tag)
{
    // The person cannot paste while a question is open; a drop delivered meanwhile is dropped.
    if (m_busy)
        return;
    m_busy = true;
    const QList<Profile *> recovered = takeCutProfiles(records);
    UndoStack *undo = m_context.undoStack();
    if (undo)
        undo->beginUndoGrouping();
    if (!recovered.isEmpty()) {
        if (tag) {
            for (Profile *profile : recovered)
                profile->addTag(tag);
        }
        recover(recovered, m_context);
    }
    Status error;
    if (!records.isEmpty())
        error = importTransferables(records, m_context, tag,
                                    ExchangeDialogs::conflictQuestion(m_window));
    if (undo) {
        if (!recovered.isEmpty())
            undo->setActionName(records.isEmpty()
                                    ? stepName(recovered, localized("Paste Profile"),
                                               localized("Paste “%1”"), localized("Paste Profiles"))
                                    : localized("Paste Profiles"));
        undo->endUndoGrouping();
    }
    m_busy = false;
    if (error)
        ExchangeDialogs::showFailure(m_window, localized("Import/Export Error"), error->message);
    drain();
}

void ProfileTransfer::clipboardChanged()
{
    m_paste->setEnabled(carriesProfiles(QGuiApplication::clipboard()->mimeData()));
}
