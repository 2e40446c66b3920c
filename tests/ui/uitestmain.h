#pragma once

#include "testenvironment.h"

#include <QApplication>
#include <QTest>

// A widget test's main(): the temporary home first, then the application object, named as
// the application names itself.
#define VELL_UI_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TestEnvironment environment;                                                               \
        QApplication app(argc, argv);                                                              \
        QApplication::setApplicationDisplayName(QStringLiteral("VellSSH"));                        \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
