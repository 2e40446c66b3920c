#include "addknownhostdialog.h"

#include "localized.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

AddKnownHostDialog::AddKnownHostDialog(QWidget *parent)
    : QDialog(parent), m_field(new QPlainTextEdit)
{
    setObjectName(u"addKnownHost"_s);
    setWindowTitle(localized("Add Known Host"));
    m_field->setPlaceholderText(localized("Enter known host entry"));
    m_field->setAccessibleName(localized("Known host entries"));
    m_field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_field->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_field->setTabChangesFocus(true);
    m_field->setMinimumSize(520, 160);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    m_add = buttons->addButton(localized("Add"), QDialogButtonBox::AcceptRole);
    m_add->setToolTip(QKeySequence(Qt::CTRL | Qt::Key_Return).toString(QKeySequence::NativeText));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Return belongs to the field, where it starts the next line; Ctrl+Return adds.
    m_field->installEventFilter(this);
    connect(m_field, &QPlainTextEdit::textChanged, this,
            [this] { m_add->setEnabled(!entryLines().isEmpty()); });
    m_add->setEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_field, 1);
    layout->addWidget(buttons);
}

QStringList AddKnownHostDialog::entryLines() const
{
    return m_field->toPlainText().split(u'\n', Qt::SkipEmptyParts);
}

bool AddKnownHostDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool confirm = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                             key->modifiers().testFlag(Qt::ControlModifier);
        if (confirm) {
            if (m_add->isEnabled())
                accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
