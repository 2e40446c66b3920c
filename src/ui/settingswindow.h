#pragma once

#include "settingsitemtag.h"

#include <QWidget>

class QTabWidget;
class VellAppDelegate;

// The settings window: one tab per SettingsItemTag, in that order. It remembers the tab that
// was chosen last while it is closed and opened again. Pages that other parts of the program
// build go in with setPage; until then their tab holds an empty page.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsWindow(VellAppDelegate &app, QWidget *parent = nullptr);

    // Takes the page, in place of what the tab held.
    void setPage(SettingsItemTag tag, QWidget *page);
    QWidget *page(SettingsItemTag tag) const;

    SettingsItemTag selectedItem() const;
    void setSelectedItem(SettingsItemTag tag);
    // Shows the window in front on the remembered tab.
    void present();

Q_SIGNALS:
    void selectedItemChanged(SettingsItemTag tag);

private:
    QTabWidget *m_tabs = nullptr;
};
