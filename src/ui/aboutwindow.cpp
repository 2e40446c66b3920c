#include "aboutwindow.h"

#include "appicon.h"
#include "localized.h"
#include "opensshversion.h"
#include "projectsite.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel *centred(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

QString links()
{
    QStringList anchors;
    for (const char *title : {"Website", "What's New", "Security & Privacy"}) {
        for (const ProjectSite::HelpPage &page : ProjectSite::helpPages()) {
            if (qstrcmp(page.title, title) == 0) {
                anchors.append(u"<a href=\"%1\">%2</a>"_s.arg(page.address.toString(),
                                                              localized(title).toHtmlEscaped()));
            }
        }
    }
    return anchors.join(u" · "_s);
}

} // namespace

AboutWindow::AboutWindow(const QString &version, QWidget *parent)
    : QDialog(parent), m_openSsh(centred({}, this))
{
    setObjectName(u"about"_s);
    setWindowTitle(localized("About ") + u"VellSSH"_s);
    auto *icon = new QLabel(this);
    icon->setPixmap(appIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignHCenter);
    QLabel *name = centred(u"VellSSH"_s, this);
    QFont large = name->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.6);
    name->setFont(large);
    QLabel *versionLabel = centred(localized("Version %1").arg(version), this);
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QLabel *qt = centred(localized("Qt %1").arg(QString::fromLatin1(qVersion())), this);
    m_openSsh->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QLabel *copyright = centred(
        localized("Copyright © 2026 The VellSSH developers. Free software: you may use, study, "
                  "share and improve it under the terms of its licence."),
        this);
    QLabel *web = centred(links(), this);
    web->setOpenExternalLinks(true);
    web->setTextInteractionFlags(Qt::TextBrowserInteraction);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->setContentsMargins(28, 24, 28, 16);
    for (QWidget *widget : {static_cast<QWidget *>(icon), static_cast<QWidget *>(name),
                            static_cast<QWidget *>(versionLabel), static_cast<QWidget *>(qt),
                            static_cast<QWidget *>(m_openSsh)})
        layout->addWidget(widget);
    layout->addSpacing(8);
    layout->addWidget(copyright);
    layout->addWidget(web);
    layout->addWidget(buttons);
    setFixedWidth(400);

    probeOpenSshVersion(this, [this](const std::optional<QString> &release) {
        m_openSsh->setText(release ? localized("OpenSSH %1").arg(*release)
                                   : localized("OpenSSH is not installed."));
        Q_EMIT openSshVersionKnown();
    });
}

QString AboutWindow::openSshText() const
{
    return m_openSsh->text();
}
