#include "updatenoticedialog.h"

#include "appicon.h"
#include "localized.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

UpdateNoticeDialog::UpdateNoticeDialog(const QString &currentVersion, QWidget *parent)
    : QDialog(parent), m_currentVersion(currentVersion), m_headline(new QLabel(this)),
      m_details(new QLabel(this)), m_notes(new QLabel(this))
{
    setObjectName(u"updateNotice"_s);
    setWindowTitle(localized("Software Update"));
    auto *icon = new QLabel(this);
    icon->setPixmap(appIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    QFont bold = m_headline->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_headline->setFont(bold);
    m_headline->setWordWrap(true);
    m_details->setWordWrap(true);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notes->setOpenExternalLinks(true);
    m_notes->setTextInteractionFlags(Qt::TextBrowserInteraction);

    auto *buttons = new QDialogButtonBox(this);
    m_download = buttons->addButton(localized("Download"), QDialogButtonBox::AcceptRole);
    QPushButton *skip =
        buttons->addButton(localized("Skip This Version"), QDialogButtonBox::DestructiveRole);
    QPushButton *later = buttons->addButton(localized("Later"), QDialogButtonBox::RejectRole);
    m_download->setDefault(true);
    connect(m_download, &QPushButton::clicked, this, &UpdateNoticeDialog::download);
    connect(skip, &QPushButton::clicked, this, [this] {
        Q_EMIT skipRequested(m_item.version);
        reject();
    });
    connect(later, &QPushButton::clicked, this, &QDialog::reject);

    auto *text = new QVBoxLayout;
    text->addWidget(m_headline);
    text->addWidget(m_details);
    text->addWidget(m_notes);
    text->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(text, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

void UpdateNoticeDialog::setItem(const AppcastItem &item)
{
    m_item = item;
    m_headline->setText(localized("A new version of VellSSH is available."));
    QString details = localized("VellSSH %1 is available. You have version %2.")
                          .arg(item.displayVersion(), m_currentVersion);
    if (item.pubDate.isValid()) {
        details += u' ' + localized("It was released on %1.")
                              .arg(QLocale().toString(item.pubDate.toLocalTime().date(),
                                                      QLocale::LongFormat));
    }
    m_details->setText(details);
    m_notes->setVisible(item.releaseNotesLink.isValid());
    m_notes->setText(u"<a href=\"%1\">%2</a>"_s.arg(
        item.releaseNotesLink.toString().toHtmlEscaped(), localized("Release Notes")));
    m_download->setAccessibleDescription(item.downloadUrl().toString());
}

void UpdateNoticeDialog::download()
{
    QDesktopServices::openUrl(m_item.downloadUrl());
    accept();
}
