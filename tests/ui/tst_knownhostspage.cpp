#include "addknownhostdialog.h"
#include "dialogscript.h"
#include "knownhostlistmodel.h"
#include "knownhostssettingspage.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

constexpr int timeoutMs = 20000;

const QByteArray lab = "# lab machines\n"
                       "[127.0.0.1]:22022 ssh-ed25519 AAAAC3NzaC1lZDI1NTE5\n"
                       "# retired, keep for the audit\n"
                       "@cert-authority *.example ssh-rsa AAAAB3NzaC1yc2E=\n"
                       "db.example,10.0.0.5 ecdsa-sha2-nistp256 AAAAE2VjZHNh\n";

QString knownHostsFile()
{
    return QDir::homePath() + u"/.ssh/known_hosts"_s;
}

void writeFile(const QByteArray &content)
{
    QDir().mkpath(QFileInfo(knownHostsFile()).absolutePath());
    QFile file(knownHostsFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile()
{
    QFile file(knownHostsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMessageBox *shownBox(const QString &name)
{
    return qobject_cast<QMessageBox *>(DialogScript::shown(name));
}

} // namespace

// The known-hosts page over the real service program and a home of its own.
class KnownHostsPageTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<KnownHostsSettingsPage> m_page;
    std::unique_ptr<QAbstractItemModelTester> m_tester;

    KnownHostListModel *model() const { return m_page->model(); }

    void open(const QString &file = knownHostsFile())
    {
        m_page = std::make_unique<KnownHostsSettingsPage>(QStringLiteral(VELLSSH_SERVICE), file);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy loading(m_page.get(), &KnownHostsSettingsPage::loadingChanged);
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
        QVERIFY(m_page->isLoading());
        m_page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_page.get()));
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isLoading(), timeoutMs);
        QCOMPARE(loading.count(), 2);
        m_page->list()->setFocus();
    }

    void selectRows(const QList<int> &rows)
    {
        QTreeView *list = m_page->list();
        list->clearSelection();
        for (int row : rows)
            list->selectionModel()->select(model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QString cell(int row, int column) const
    {
        return model()->index(row, column).data().toString();
    }

private Q_SLOTS:
    void init() { writeFile(lab); }

    void cleanup()
    {
        m_tester.reset();
        m_page.reset();
    }

    void showsEachLineOfTheFile()
    {
        open();
        QCOMPARE(model()->rowCount(), 5);
        QCOMPARE(cell(0, KnownHostListModel::hostsColumn), u"# lab machines"_s);
        QCOMPARE(cell(0, KnownHostListModel::statusColumn), u"Comment"_s);
        QVERIFY(model()->index(0, 0).data(Qt::ForegroundRole).isValid());
        QCOMPARE(cell(1, KnownHostListModel::hostsColumn), u"[127.0.0.1]:22022"_s);
        QCOMPARE(cell(1, KnownHostListModel::keyTypeColumn), u"ssh-ed25519"_s);
        QCOMPARE(cell(1, KnownHostListModel::statusColumn), u"Valid"_s);
        QCOMPARE(cell(3, KnownHostListModel::markerColumn), u"@cert-authority"_s);
        QCOMPARE(model()->index(4, 0).data(Qt::ToolTipRole).toString(),
                 u"db.example,10.0.0.5 ecdsa-sha2-nistp256 AAAAE2VjZHNh"_s);
    }

    // Three lines with an empty one between them: two entries, written after the others and
    // read back by the service.
    void addsThePastedLinesThroughTheSheet()
    {
        open();
        QTest::keySequence(m_page->list(), QKeySequence::New);
        auto *sheet = qobject_cast<AddKnownHostDialog *>(DialogScript::shown(u"addKnownHost"_s));
        QVERIFY(sheet);
        QCOMPARE(sheet->field()->placeholderText(), u"Enter known host entry"_s);
        QVERIFY(QTest::qWaitForWindowActive(sheet));
        QPushButton *add = nullptr;
        for (QAbstractButton *button : sheet->findChild<QDialogButtonBox *>()->buttons()) {
            if (button->text() == u"Add"_s)
                add = qobject_cast<QPushButton *>(button);
        }
        QVERIFY(add);
        QVERIFY(!add->isEnabled());
        sheet->field()->setPlainText(u"\n\n"_s);
        QVERIFY(!add->isEnabled());
        sheet->field()->setPlainText(
            u"new.example ssh-ed25519 AAAAC3NzaC1lZDI1NTE5\n\n[10.0.0.9]:2200 ssh-rsa AAAAB3Nz\n"_s);
        QVERIFY(add->isEnabled());
        QTest::keyClick(sheet->field(), Qt::Key_Return, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!DialogScript::shown(u"addKnownHost"_s), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), 7, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isLoading(), timeoutMs);
        QCOMPARE(readFile(), lab + "new.example ssh-ed25519 AAAAC3NzaC1lZDI1NTE5\n"
                                   "[10.0.0.9]:2200 ssh-rsa AAAAB3Nz\n");
        QCOMPARE(cell(6, KnownHostListModel::hostsColumn), u"[10.0.0.9]:2200"_s);
        QCOMPARE(cell(6, KnownHostListModel::keyTypeColumn), u"ssh-rsa"_s);
    }

    void copiesTheSelectedLinesInListOrder()
    {
        open();
        selectRows({4, 1});
        QTest::keySequence(m_page->list(), QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 u"[127.0.0.1]:22022 ssh-ed25519 AAAAC3NzaC1lZDI1NTE5\n"
                 u"db.example,10.0.0.5 ecdsa-sha2-nistp256 AAAAE2VjZHNh"_s);
    }

    void removesTheSelectedEntriesAndKeepsTheComments()
    {
        open();
        selectRows({1, 4});
        QTest::keyClick(m_page->list(), Qt::Key_Delete);
        QVERIFY(m_page->isLoading());
        QVERIFY(!m_page->findChild<QAction *>(u"removeKnownHosts"_s)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), 3, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isLoading(), timeoutMs);
        QCOMPARE(readFile(), QByteArray("# lab machines\n"
                                        "# retired, keep for the audit\n"
                                        "@cert-authority *.example ssh-rsa AAAAB3NzaC1yc2E=\n"));
        QVERIFY(!DialogScript::shown(u"knownHostsError"_s));
    }

    // The client adds host keys while the page is open: the list follows, and a removal made
    // before the list caught up still keeps what was added.
    void linesTheClientAddsMeanwhileAreShownAndKept()
    {
        open();
        selectRows({4});
        const QByteArray added = "[127.0.0.1]:22314 ssh-ed25519 AAAAC3NzaC1lZDI1NTE5added\n";
        {
            QFile file(knownHostsFile());
            QVERIFY(file.open(QIODevice::Append));
            file.write(added);
        }
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), 6, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isLoading(), timeoutMs);
        QCOMPARE(m_page->selectedEntries().size(), 1);
        QVERIFY(m_page->selectedEntries().first().content.startsWith(u"db.example"_s));

        const QByteArray comment = "# written by hand\n";
        {
            QFile file(knownHostsFile());
            QVERIFY(file.open(QIODevice::Append));
            file.write(comment);
        }
        selectRows({1});
        QTest::keyClick(m_page->list(), Qt::Key_Delete);
        QTRY_VERIFY_WITH_TIMEOUT(!readFile().contains("[127.0.0.1]:22022"), timeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), 6, timeoutMs);
        QCOMPARE(readFile(), QByteArray(lab).replace("[127.0.0.1]:22022 ssh-ed25519 "
                                                     "AAAAC3NzaC1lZDI1NTE5\n",
                                                     "") +
                                 added + comment);
    }

    // A known_hosts that is a folder can be neither read nor written.
    void aFileTheServiceCannotUseIsReported()
    {
        const QString folder = QDir::homePath() + u"/unusable"_s;
        QDir().mkpath(folder);
        open(folder);
        QTRY_VERIFY_WITH_TIMEOUT(shownBox(u"knownHostsError"_s), timeoutMs);
        QMessageBox *alert = shownBox(u"knownHostsError"_s);
        QCOMPARE(alert->windowTitle(), u"KnownHosts Error"_s);
        QVERIFY2(alert->text().contains(folder), qPrintable(alert->text()));
        QCOMPARE(model()->rowCount(), 0);
        QTest::keyClick(alert, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!shownBox(u"knownHostsError"_s), timeoutMs);

        m_page->addEntryLines({u"h ssh-ed25519 AAAA"_s});
        QTRY_VERIFY_WITH_TIMEOUT(shownBox(u"knownHostsError"_s), timeoutMs);
        QVERIFY(!m_page->isLoading());
        QVERIFY(QFileInfo(folder).isDir());
    }
};

VELL_UI_TEST_MAIN(KnownHostsPageTest)
#include "tst_knownhostspage.moc"
