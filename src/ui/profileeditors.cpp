#include "profileeditors.h"

#include "profiledraft.h"
#include "profileeditor.h"

ProfileEditors::ProfileEditors(const ProfileEditorServices &services, QObject *parent)
    : QObject(parent), m_services(services)
{}

ProfileEditors::~ProfileEditors()
{
    const QList<QPointer<ProfileEditor>> editors = std::exchange(m_editors, {});
    for (const QPointer<ProfileEditor> &editor : editors)
        delete editor.data();
}

Result<ProfileEditor *> ProfileEditors::create(const std::optional<QUuid> &tag)
{
    auto draft = ProfileDraft::forNewProfile(*m_services.store, tag);
    if (!draft)
        return draft.error();
    return open(new ProfileEditor(std::move(draft).value(), m_services));
}

Result<ProfileEditor *> ProfileEditors::edit(const QUuid &profile)
{
    if (ProfileEditor *existing = editorOf(profile)) {
        existing->show();
        existing->raise();
        existing->activateWindow();
        return existing;
    }
    auto draft = ProfileDraft::forProfile(*m_services.store, profile);
    if (!draft)
        return draft.error();
    return open(new ProfileEditor(std::move(draft).value(), m_services));
}

Result<ProfileEditor *> ProfileEditors::duplicate(const QUuid &source)
{
    auto draft = ProfileDraft::forCopyOf(*m_services.store, source);
    if (!draft)
        return draft.error();
    return open(new ProfileEditor(std::move(draft).value(), m_services));
}

ProfileEditor *ProfileEditors::open(ProfileEditor *editor)
{
    // Editors are windows of their own; they go away when closed, saved or not.
    editor->setAttribute(Qt::WA_DeleteOnClose);
    m_editors.append(editor);
    connect(editor, &ProfileEditor::saved, this, &ProfileEditors::profileSaved);
    // A finished editor is on its way out: it no longer counts, and asking for its profile
    // again opens a new one.
    connect(editor, &QDialog::finished, this, [this, editor] { forget(editor); });
    connect(editor, &QObject::destroyed, this, [this](QObject *gone) { forget(gone); });
    editor->show();
    editor->raise();
    editor->activateWindow();
    Q_EMIT editorOpened(editor);
    Q_EMIT openEditorsChanged(true);
    return editor;
}

void ProfileEditors::forget(QObject *editor)
{
    const qsizetype removed = m_editors.removeIf([editor](const QPointer<ProfileEditor> &e) {
        return e.isNull() || static_cast<QObject *>(e.data()) == editor;
    });
    if (removed == 0)
        return;
    Q_EMIT editorClosed();
    Q_EMIT openEditorsChanged(hasOpenEditor());
}

bool ProfileEditors::hasOpenEditor() const
{
    return editorWindow() != nullptr;
}

ProfileEditor *ProfileEditors::editorWindow() const
{
    for (const QPointer<ProfileEditor> &editor : m_editors) {
        if (editor)
            return editor;
    }
    return nullptr;
}

QList<ProfileEditor *> ProfileEditors::editors() const
{
    QList<ProfileEditor *> open;
    for (const QPointer<ProfileEditor> &editor : m_editors) {
        if (editor)
            open.append(editor);
    }
    return open;
}

ProfileEditor *ProfileEditors::editorOf(const QUuid &profile) const
{
    for (ProfileEditor *editor : editors()) {
        if (editor->profileUuid() == profile)
            return editor;
    }
    return nullptr;
}
