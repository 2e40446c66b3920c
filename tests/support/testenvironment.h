#pragma once

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A throw-away home for one test process: HOME, the XDG folders, TMPDIR, the real-home lookup
// and /etc/ssh all point into a temporary folder, so no test ever reads or writes the
// developer's own files or the system's; the updater's feed points to this machine.
class TestEnvironment
{
public:
    TestEnvironment();

    QString root() const { return m_dir.path(); }
    QString home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/data"); }
    QString configHome() const { return m_dir.path() + QStringLiteral("/config"); }
    // Where the system-wide client configuration goes in place of /etc/ssh.
    QString etcSsh() const { return m_dir.path() + QStringLiteral("/etc/ssh"); }
    // The same variables for a child process.
    QProcessEnvironment processEnvironment() const;

private:
    QTemporaryDir m_dir;
};

// Like QTEST_GUILESS_MAIN, with a TestEnvironment made before anything else runs. A test
// binary that also serves as its own helper process passes a function that handles
// "--helper ..." invocations.
#define VELL_TEST_MAIN_WITH_HELPER(TestObject, helper)                                             \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        if (argc > 1 && qstrcmp(argv[1], "--helper") == 0) {                                       \
            QCoreApplication app(argc, argv);                                                      \
            return helper(QCoreApplication::arguments().mid(2));                                   \
        }                                                                                          \
        TestEnvironment environment;                                                               \
        QCoreApplication app(argc, argv);                                                          \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

#define VELL_TEST_MAIN(TestObject)                                                                 \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TestEnvironment environment;                                                               \
        QCoreApplication app(argc, argv);                                                          \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
