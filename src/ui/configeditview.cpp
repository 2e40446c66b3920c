#include "configeditview.h"

#include "localized.h"

#include <QAction>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr qreal textInset = 8;

} // namespace

ConfigEditView::ConfigEditView(QWidget *parent) : QWidget(parent)
{
    m_editor = new QPlainTextEdit;
    m_editor->setObjectName(u"configText"_s);
    m_editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_editor->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_editor->setUndoRedoEnabled(true);
    m_editor->setTabChangesFocus(false);
    m_editor->document()->setDocumentMargin(textInset);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_editor, 1);
    layout->addWidget(makeFindBar());
    setFocusProxy(m_editor);

    auto *find = new QAction(this);
    find->setShortcuts(QKeySequence::keyBindings(QKeySequence::Find));
    find->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QAction::triggered, this, &ConfigEditView::showFindBar);
    addAction(find);
    auto *next = new QAction(this);
    next->setShortcuts(QKeySequence::keyBindings(QKeySequence::FindNext));
    next->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(next, &QAction::triggered, this, &ConfigEditView::findNext);
    addAction(next);
    auto *previous = new QAction(this);
    previous->setShortcuts(QKeySequence::keyBindings(QKeySequence::FindPrevious));
    previous->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(previous, &QAction::triggered, this, &ConfigEditView::findPrevious);
    addAction(previous);
}

QWidget *ConfigEditView::makeFindBar()
{
    m_findBar = new QWidget;
    m_findBar->setObjectName(u"findBar"_s);
    m_findField = new QLineEdit;
    m_findField->setObjectName(u"findField"_s);
    m_findField->setAccessibleName(localized("Find"));
    m_findField->setPlaceholderText(localized("Find"));
    m_findField->setClearButtonEnabled(true);
    m_findField->installEventFilter(this);
    m_notFound = new QLabel(localized("Not found"));
    m_notFound->setForegroundRole(QPalette::PlaceholderText);
    m_notFound->hide();

    auto button = [this](const QString &text, const QString &icon) {
        auto *b = new QToolButton;
        b->setText(text);
        b->setToolTip(text);
        b->setAccessibleName(text);
        b->setIcon(QIcon::fromTheme(icon));
        b->setFocusPolicy(Qt::TabFocus);
        m_findBar->layout()->addWidget(b);
        return b;
    };
    auto *layout = new QHBoxLayout(m_findBar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_findField, 1);
    layout->addWidget(m_notFound);
    connect(button(localized("Previous"), u"go-up"_s), &QToolButton::clicked, this,
            &ConfigEditView::findPrevious);
    connect(button(localized("Next"), u"go-down"_s), &QToolButton::clicked, this,
            &ConfigEditView::findNext);
    connect(button(localized("Close"), u"window-close"_s), &QToolButton::clicked, this,
            &ConfigEditView::hideFindBar);
    connect(m_findField, &QLineEdit::textEdited, this, [this] { find(false, true); });
    m_findBar->hide();
    return m_findBar;
}

bool ConfigEditView::isFindBarShown() const
{
    return m_findBar->isVisibleTo(const_cast<ConfigEditView *>(this));
}

void ConfigEditView::showFindBar()
{
    m_findBar->show();
    m_findField->setFocus(Qt::ShortcutFocusReason);
    m_findField->selectAll();
}

void ConfigEditView::hideFindBar()
{
    m_findBar->hide();
    m_notFound->hide();
    m_editor->setFocus(Qt::OtherFocusReason);
}

bool ConfigEditView::findNext()
{
    return find(false, false);
}

bool ConfigEditView::findPrevious()
{
    return find(true, false);
}

// Typing searches again from where the last match began, so that the match grows with the
// word; Next and Previous move on from it.
bool ConfigEditView::find(bool backward, bool fromSelectionStart)
{
    const QString text = m_findField->text();
    if (text.isEmpty()) {
        showMatchState(true);
        return false;
    }
    QTextDocument *document = m_editor->document();
    const QTextCursor current = m_editor->textCursor();
    QTextCursor from(document);
    if (backward)
        from.setPosition(current.selectionStart());
    else
        from.setPosition(fromSelectionStart ? current.selectionStart() : current.selectionEnd());
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextCursor match = document->find(text, from, flags);
    if (match.isNull()) {
        QTextCursor around(document);
        around.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        match = document->find(text, around, flags);
    }
    showMatchState(!match.isNull());
    if (match.isNull())
        return false;
    m_editor->setTextCursor(match);
    m_editor->ensureCursorVisible();
    return true;
}

void ConfigEditView::showMatchState(bool found)
{
    m_notFound->setVisible(!found);
}

bool ConfigEditView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_findField || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Escape:
        hideFindBar();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (key->modifiers() & Qt::ShiftModifier)
            findPrevious();
        else
            findNext();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}
