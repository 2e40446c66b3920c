#pragma once

#include <QMainWindow>

class VellAppDelegate;

// The window a user lives in: "tunnel-main".
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(VellAppDelegate &app, QWidget *parent = nullptr);

    static constexpr QSize defaultSize{1200, 750};

private:
    VellAppDelegate &m_app;
};
