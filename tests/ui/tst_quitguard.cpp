#include "dialogscript.h"
#include "quitguard.h"
#include "testenvironment.h"

#include <QAction>
#include <QTest>

using namespace Qt::StringLiterals;

// Quitting asks only while an editor is open, over that editor.
class QuitGuardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutAnEditorQuittingGoesOnAndClosingWindowsNeverQuits()
    {
        QuitGuard guard([] { return nullptr; });
        QVERIFY(guard.mayQuit());
        QVERIFY(!DialogScript::shown(u"quitQuestion"_s));
        QVERIFY(!QGuiApplication::quitOnLastWindowClosed());
    }

    void anOpenEditorComesForwardAndTheAnswerDecides_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("quits");
        QTest::newRow("Quit Anyway") << u"Quit Anyway"_s << true;
        QTest::newRow("Cancel") << u"Cancel"_s << false;
        QTest::newRow("Escape") << QString() << false;
        QTest::newRow("Return") << u"\n"_s << false;
    }

    void anOpenEditorComesForwardAndTheAnswerDecides()
    {
        QFETCH(QString, answer);
        QFETCH(bool, quits);
        QWidget main;
        main.show();
        QWidget editor;
        editor.setWindowTitle(u"db [*]"_s);
        editor.showMinimized();
        QuitGuard guard([&editor] { return &editor; });

        QString text;
        QString informative;
        QStringList buttons;
        QWidget *over = nullptr;
        bool editorShown = false;
        DialogScript script;
        script.then(u"quitQuestion"_s, [&](QWidget *dialog) {
            auto *box = qobject_cast<QMessageBox *>(dialog);
            text = box->text();
            informative = box->informativeText();
            for (QAbstractButton *button : box->buttons())
                buttons.append(button->text());
            over = box->parentWidget();
            editorShown = editor.isVisible() && !editor.isMinimized();
            if (answer.isEmpty())
                QTest::keyClick(box, Qt::Key_Escape);
            else if (answer == u"\n"_s)
                QTest::keyClick(box, Qt::Key_Return);
            else
                DialogScript::click(box, answer);
        });
        QCOMPARE(guard.mayQuit(), quits);
        QVERIFY(script.done());
        QCOMPARE(text, u"You have unsaved changes."_s);
        QCOMPARE(informative, u"If you quit now, any unsaved changes will be lost."_s);
        QVERIFY(buttons.contains(u"Quit Anyway"_s));
        QVERIFY(buttons.contains(u"Cancel"_s));
        QCOMPARE(over, &editor);
        QVERIFY(editorShown);
    }
};

VELL_UI_TEST_MAIN(QuitGuardTest)
#include "tst_quitguard.moc"
