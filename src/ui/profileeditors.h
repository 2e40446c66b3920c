#pragma once

#include "profileeditorservices.h"
#include "result.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <optional>

class ProfileEditor;
class QWidget;

// The profile editors of the application: it opens them (a new profile, optionally with a tag
// chosen; an edit; a copy), raises the one that already edits a profile instead of opening a
// second, and knows whether any is open, so that quitting can wait for them.
class ProfileEditors : public QObject
{
    Q_OBJECT

public:
    explicit ProfileEditors(const ProfileEditorServices &services, QObject *parent = nullptr);
    ~ProfileEditors() override;

    Result<ProfileEditor *> create(const std::optional<QUuid> &tag = std::nullopt);
    Result<ProfileEditor *> edit(const QUuid &profile);
    Result<ProfileEditor *> duplicate(const QUuid &source);

    bool hasOpenEditor() const;
    // The editor to bring forward when the user must finish or close it first.
    ProfileEditor *editorWindow() const;
    QList<ProfileEditor *> editors() const;
    ProfileEditor *editorOf(const QUuid &profile) const;

Q_SIGNALS:
    void editorOpened(ProfileEditor *editor);
    void editorClosed();
    void openEditorsChanged(bool hasOpenEditor);
    // An editor saved its profile.
    void profileSaved(const QUuid &profile);

private:
    ProfileEditor *open(ProfileEditor *editor);
    void forget(QObject *editor);

    ProfileEditorServices m_services;
    QList<QPointer<ProfileEditor>> m_editors;
};
