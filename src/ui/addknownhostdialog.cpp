#include "addknownhostdialog.h"

#include "localized.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
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
    // Return belongs to the field, where it starts the next line.
    for (const QKeySequence keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] {
            if (m_add->isEnabled())
                accept();
        });
    }
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
