#pragma once

#include "profileeditorservices.h"
#include "result.h"

#include <QDialog>
#include <QUuid>

#include <memory>

class AdvancedPage;
class ConnectionPage;
class GeneralPage;
class OptionsEvaluator;
class ProfileDraft;
class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;

// The window that edits one profile, in one of the editing modes: the General, Connection and
// Advanced pages over a draft of the profile, Save and Cancel. Save writes the draft into the
// main context as one undo step, or says beside the fields why it cannot; Cancel drops the
// draft and nothing else.
class ProfileEditor : public QDialog
{
    Q_OBJECT

public:
    static constexpr QSize defaultSize{900, 780};

    ProfileEditor(std::unique_ptr<ProfileDraft> draft, const ProfileEditorServices &services,
                  QWidget *parent = nullptr);
    ~ProfileEditor() override;

    ProfileDraft &draft() const { return *m_draft; }
    // The profile this editor writes; a new one's uuid is known from the start.
    QUuid profileUuid() const;

    // Saves when the rules allow it; true when the profile was saved and the window closes.
    bool save();

    QTabWidget *pages() const { return m_pages; }
    GeneralPage *generalPage() const { return m_general; }
    ConnectionPage *connectionPage() const { return m_connection; }
    AdvancedPage *advancedPage() const { return m_advanced; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *cancelButton() const { return m_cancel; }
    QLabel *hintLabel() const { return m_hint; }
    QLabel *bannerLabel() const { return m_banner; }
    OptionsEvaluator *evaluator() const { return m_evaluator.get(); }

Q_SIGNALS:
    void saved(const QUuid &profile);

private:
    void build();
    QWidget *makeButtons();
    void connectDraft();
    void showProfile();
    void draftChanged();
    // Marks every field in error; the first page that holds one, or none.
    QWidget *showValidation();
    void showSaveError(const Error &error);
    void showBanner(const QString &text);
    void requestEvaluation();
    void startEvaluation();
    void showEffectiveValues();
    void updateCommand();
    QString userConfigFile() const;

    std::unique_ptr<ProfileDraft> m_draft;
    ProfileEditorServices m_services;
    std::unique_ptr<OptionsEvaluator> m_evaluator;
    QTimer *m_evaluationDelay;
    bool m_evaluationPending = false;
    QString m_evaluatedTarget;
    bool m_validating = false;

    QLabel *m_banner;
    QTabWidget *m_pages;
    GeneralPage *m_general;
    ConnectionPage *m_connection;
    AdvancedPage *m_advanced;
    QLabel *m_hint;
    QPushButton *m_save;
    QPushButton *m_cancel;
};
