#include "settingswindow.h"

#include "advancedsettingspage.h"
#include "generalsettingspage.h"
#include "localized.h"
#include "locationssettingspage.h"
#include "syncsettingspage.h"
#include "vellappdelegate.h"
#include "windowactivation.h"

#include <QAction>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QString title(SettingsItemTag tag)
{
    switch (tag) {
    case SettingsItemTag::general:
        return localized("General");
    case SettingsItemTag::locations:
        return localized("Locations");
    case SettingsItemTag::identities:
        return localized("Identities");
    case SettingsItemTag::knownHosts:
        return localized("Known Hosts");
    case SettingsItemTag::advanced:
        return localized("Advanced");
    case SettingsItemTag::sync:
        return localized("Sync");
    case SettingsItemTag::updates:
        return localized("Updates");
    }
    Q_UNREACHABLE();
}

constexpr SettingsItemTag allItems[] = {SettingsItemTag::general,    SettingsItemTag::locations,
                                        SettingsItemTag::identities, SettingsItemTag::knownHosts,
                                        SettingsItemTag::advanced,   SettingsItemTag::sync,
                                        SettingsItemTag::updates};

int indexOf(SettingsItemTag tag)
{
    return static_cast<int>(tag);
}

} // namespace

SettingsWindow::SettingsWindow(VellAppDelegate &app, QWidget *parent) : QWidget(parent)
{
    setObjectName(u"settings"_s);
    setWindowTitle(localized("Settings"));
    setWindowFlag(Qt::Window);
    setMinimumSize(560, 440);
    resize(720, 600);

    m_tabs = new QTabWidget;
    m_tabs->setDocumentMode(true);
    for (SettingsItemTag tag : allItems)
        m_tabs->addTab(new QWidget, title(tag));
    setPage(SettingsItemTag::general, new GeneralSettingsPage(app.settings()));
    setPage(SettingsItemTag::locations, new LocationsSettingsPage(app.settings()));
    setPage(SettingsItemTag::advanced, new AdvancedSettingsPage(app.settings()));
    setPage(SettingsItemTag::sync, new SyncSettingsPage(app));
    m_tabs->setCurrentIndex(0);
    connect(m_tabs, &QTabWidget::currentChanged, this,
            [this](int index) { Q_EMIT selectedItemChanged(static_cast<SettingsItemTag>(index)); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_tabs);

    auto *close = new QAction(localized("Close"), this);
    close->setShortcuts(QKeySequence::keyBindings(QKeySequence::Close));
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

void SettingsWindow::setPage(SettingsItemTag tag, QWidget *page)
{
    const int index = indexOf(tag);
    const bool selected = m_tabs->currentIndex() == index;
    QWidget *old = m_tabs->widget(index);
    const QSignalBlocker quiet(m_tabs);
    m_tabs->removeTab(index);
    m_tabs->insertTab(index, page, title(tag));
    if (selected)
        m_tabs->setCurrentIndex(index);
    old->deleteLater();
}

QWidget *SettingsWindow::page(SettingsItemTag tag) const
{
    return m_tabs->widget(indexOf(tag));
}

SettingsItemTag SettingsWindow::selectedItem() const
{
    return static_cast<SettingsItemTag>(m_tabs->currentIndex());
}

void SettingsWindow::setSelectedItem(SettingsItemTag tag)
{
    m_tabs->setCurrentIndex(indexOf(tag));
}

void SettingsWindow::present()
{
    bringForward(this);
}
