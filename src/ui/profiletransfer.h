#pragma once

#include "profileimport.h"
#include "sshinvocation.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>

class ObjectContext;
class Profile;
class QAction;
class QMimeData;
class QWidget;
class Tag;
struct TransferableProfile;
namespace ExchangeDialogs {
struct ImportReport;
}

// How profiles leave and enter the application at a person's request: interchange files
// through the file dialogs and from the command line, and the clipboard and drops with their
// two forms (the profile itself, and its ssh command as text). One import runs at a time:
// files that arrive while one waits for an answer are opened after it.
class ProfileTransfer : public QObject
{
    Q_OBJECT

public:
    // What the window has in focus: the selected profiles, and the tag shown, into which
    // pasted profiles go.
    struct Focus
    {
        QList<Profile *> profiles;
        Tag *tag = nullptr;
    };
    using FocusSource = std::function<Focus()>;
    // The inputs of the equivalent ssh command that copied profiles carry as text.
    using InvocationSource = std::function<InvocationInputs()>;

    ProfileTransfer(ObjectContext &context, InvocationSource invocation, QWidget *window);
    ~ProfileTransfer() override;

    void setFocusSource(FocusSource source);

    // "Import Profiles…", "Export All Profiles…", "Export Selected Profiles…", and Cut, Copy,
    // Paste with the standard keys; enabled as the focus, the library and the clipboard allow.
    QAction *importAction() const { return m_import; }
    QAction *exportAllAction() const { return m_exportAll; }
    QAction *exportSelectedAction() const { return m_exportSelected; }
    QAction *cutAction() const { return m_cut; }
    QAction *copyAction() const { return m_copy; }
    QAction *pasteAction() const { return m_paste; }

    // Imports the files one after the other, asking about every profile that is already there
    // and reporting each file's result.
    void openFiles(const QStringList &paths);
    // Writes the export document; the person reads a failure.
    bool exportTo(const QString &path, const QList<Profile *> &profiles);

    std::unique_ptr<QMimeData> mimeDataFor(const QList<Profile *> &profiles) const;
    void copy(const QList<Profile *> &profiles);
    // Copy and move to the trash, as one step to undo. Pasting them in this run brings them
    // back instead of making copies.
    void cut(const QList<Profile *> &profiles);
    void paste(Tag *tag = nullptr);
    static bool carriesProfiles(const QMimeData *data);
    // A drop onto a tag (or onto no tag): profiles of this run are copied, others imported;
    // every one gets the tag. False when the data holds no profile.
    bool dropProfiles(const QMimeData &data, Tag *tag);

public Q_SLOTS:
    // Call when the selection or the tag shown changes.
    void focusChanged();

private:
    void makeActions();
    void chooseAndImport();
    void chooseAndExport(bool all);
    void drain();
    void importFile(const QString &path, ExchangeDialogs::ImportReport &report,
                    const ConflictQuestion &ask);
    void pasteRecords(QList<TransferableProfile> records, Tag *tag);
    QList<Profile *> takeCutProfiles(QList<TransferableProfile> &records);
    void clipboardChanged();
    QList<Profile *> liveProfiles() const;
    Profile *profile(const QUuid &uuid) const;
    QString startFolder() const;
    Focus focus() const;

    ObjectContext &m_context;
    InvocationSource m_invocation;
    QWidget *m_window;
    FocusSource m_focus;
    QStringList m_pending;
    bool m_busy = false;
    // What the last cut moved to the trash.
    QSet<QUuid> m_cutProfiles;
    QString m_lastFolder;
    QAction *m_import = nullptr;
    QAction *m_exportAll = nullptr;
    QAction *m_exportSelected = nullptr;
    QAction *m_cut = nullptr;
    QAction *m_copy = nullptr;
    QAction *m_paste = nullptr;
};
