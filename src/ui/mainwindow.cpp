#include "mainwindow.h"

#include "vellappdelegate.h"

using namespace Qt::StringLiterals;

MainWindow::MainWindow(VellAppDelegate &app, QWidget *parent) : QMainWindow(parent), m_app(app)
{
    setObjectName(u"tunnel-main"_s);
    setWindowTitle(u"VellSSH"_s);
    resize(defaultSize);
}
