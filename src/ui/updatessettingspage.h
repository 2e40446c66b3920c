#pragma once

#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class UpdaterModel;

// The settings window's Updates tab: the channel, automatic checks and their interval, when the
// last check ran, and Check Now. Every control writes through the model at once and follows
// changes made anywhere else.
class UpdatesSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit UpdatesSettingsPage(UpdaterModel &model, QWidget *parent = nullptr);

    QComboBox *channel() const { return m_channel; }
    QCheckBox *automaticChecks() const { return m_automatic; }
    QComboBox *interval() const { return m_interval; }
    QLabel *lastChecked() const { return m_lastChecked; }
    QPushButton *checkNow() const { return m_checkNow; }

private:
    void buildLayout();
    void connectModel();
    void showChannel();
    void showAutomaticChecks();
    void showLastCheck();

    UpdaterModel &m_model;
    QComboBox *m_channel;
    QCheckBox *m_automatic;
    QComboBox *m_interval;
    QLabel *m_lastChecked;
    QPushButton *m_checkNow;
    // Why the last check seen from here failed; the date counts failed checks too.
    std::optional<QString> m_lastFailure;
};
