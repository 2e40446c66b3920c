#include "profileeditors.h"

#include "profiledraft.h"
#include "profileeditor.h"

ProfileEditors::ProfileEditors(const ProfileEditorServices &services, QObject *parent)
    : QObject(parent), m_services(services)
{}

ProfileEditors::~ProfileEditors()
{
    for (const QPointer<ProfileEditor> &editor : std::as_const(m_editors))
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
    connect(editor, &QObject::destroyed, this, [this](QObject *gone) {
        m_editors.removeIf([gone](const QPointer<ProfileEditor> &e) {
            return e.isNull() || static_cast<QObject *>(e.data()) == gone;
        });
        Q_EMIT editorClosed();
        Q_EMIT openEditorsChanged(hasOpenEditor());
    });
    editor->show();
    editor->raise();
    editor->activateWindow();
    Q_EMIT editorOpened(editor);
    Q_EMIT openEditorsChanged(true);
    return editor;
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
