#include "optionfilter.h"
#include "propertylist.h"
#include "sshclientconfig.h"
#include "testenvironment.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray plist(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" + body + "</plist>";
}

QByteArray help(const char *html)
{
    return "<key>help</key><data>" + QByteArray(html).toBase64() + "</data>";
}

const QByteArray info = plist(
    "<dict>"
    "<key>ForwardAgent</key><dict><key>type</key><string>choice</string>"
    "<key>candidates</key><array><string>yes</string><string>no</string></array>" +
    help("Forward the agent connection") +
    "</dict>"
    "<key>ForwardX11</key><dict><key>type</key><string>Choice</string>" +
    help("X11 display") +
    "</dict>"
    "<key>ProxyCommand</key><dict><key>strict</key><true/></dict>"
    "<key>ControlPath</key><dict><key>strict</key><true/><key>type</key><integer>3</integer></dict>"
    "<key>Broken</key><dict><key>help</key><data>/w==</data></dict>"
    "</dict>");

const QByteArray groups = plist("<array>"
                                "<dict><key>name</key><string>Forwarding</string>"
                                "<key>options</key><array><string>ForwardAgent</string>"
                                "<string>Missing</string><string>ForwardX11</string></array></dict>"
                                "<dict><key>name</key><string>No options key</string></dict>"
                                "<dict><key>name</key><string>Proxy</string>"
                                "<key>options</key><array><string>ProxyCommand</string>"
                                "<string>ForwardAgent</string></array></dict>"
                                "</array>");

} // namespace

class CatalogueTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheResourcesTolerantly()
    {
        const SSHClientConfig config(info, groups);
        QCOMPARE(config.options().size(), 5);
        const auto agent = config.options().value(u"ForwardAgent"_s);
        QCOMPARE(agent.type, SSHClientConfig::ValueType::choice);
        QCOMPARE(agent.candidateValues, (QStringList{u"yes"_s, u"no"_s}));
        QCOMPARE(agent.helpContent, u"Forward the agent connection"_s);
        QCOMPARE(config.options().value(u"ForwardX11"_s).type, SSHClientConfig::ValueType::string);
        QCOMPARE(config.options().value(u"ControlPath"_s).type, SSHClientConfig::ValueType::string);
        QVERIFY(!config.options().value(u"Broken"_s).helpContent);
        QCOMPARE(config.strictOptionNames(), (QSet<QString>{u"ProxyCommand"_s, u"ControlPath"_s}));

        QCOMPARE(config.groups().size(), 2);
        QCOMPARE(config.groups()[0].options.size(), 2);
        QCOMPARE(config.knownOptionNames(), (QStringList{u"ForwardAgent"_s, u"ForwardX11"_s,
                                                         u"ProxyCommand"_s, u"ForwardAgent"_s}));
        QVERIFY(!config.knownOptionNameSet().contains(u"ControlPath"_s));
    }

    void brokenResourcesGiveAnEmptyCatalogue()
    {
        for (const QByteArray &broken :
             {QByteArray(), QByteArray("not xml"), plist("<array/>"),
              plist("<dict><key>A</key><string>not a dict</string></dict>"),
              plist("<dict><key>A</key><dict>")}) {
            const SSHClientConfig config(broken, groups);
            QVERIFY(config.options().isEmpty());
            QVERIFY(config.knownOptionNames().isEmpty());
        }
        const SSHClientConfig noGroups(info, "<plist><dict/></plist>");
        QCOMPARE(noGroups.options().size(), 5);
        QVERIFY(noGroups.groups().isEmpty());
    }

    void propertyListValues()
    {
        const auto value = readPropertyList(
            plist("<array><integer>-4</integer><real>0.5</real><false/><date>2026-01-02T03:04:05Z"
                  "</date><data>aGk=</data></array>"));
        QVERIFY(value);
        const QVariantList list = value->toList();
        QCOMPARE(list.value(0).toLongLong(), -4);
        QCOMPARE(list.value(1).toDouble(), 0.5);
        QCOMPARE(list.value(2).typeId(), QMetaType::Bool);
        QCOMPARE(list.value(3).toDateTime().date(), QDate(2026, 1, 2));
        QCOMPARE(list.value(4).toByteArray(), QByteArray("hi"));
        QVERIFY(!readPropertyList(plist("<integer>x</integer>")));
    }

    void theShippedCatalogue()
    {
        const SSHClientConfig &config = SSHClientConfig::shared();
        QStringList known = config.knownOptionNames();
        for (const QString &name :
             {u"ExitOnForwardFailure"_s, u"ServerAliveInterval"_s, u"ServerAliveCountMax"_s,
              u"RemoteCommand"_s, u"LocalCommand"_s, u"ProxyCommand"_s})
            QVERIFY2(known.contains(name), qPrintable(name));
        QCOMPARE(known.removeDuplicates(), 0);
        for (const QString &quick : {u"AddressFamily"_s, u"ForwardAgent"_s, u"LogLevel"_s})
            QVERIFY(!known.contains(quick));
        QVERIFY(config.strictOptionNames().contains(u"ProxyCommand"_s));
        for (const auto &option : config.options())
            QVERIFY2(option.helpContent && !option.helpContent->isEmpty(), qPrintable(option.name));
    }

    void editorFilter()
    {
        const SSHClientConfig config(info, groups);
        auto names = [](const QList<SSHClientConfig::Group> &filtered) {
            QStringList result;
            for (const auto &group : filtered) {
                for (const auto &option : group.options)
                    result.append(group.name + u'/' + option.name);
            }
            return result;
        };
        QCOMPARE(names(filterOptions(config.groups(), u"  forward   agent "_s,
                                     SearchScope::optionName, CustomizedOption::all, {})),
                 (QStringList{u"Forwarding/ForwardAgent"_s, u"Proxy/ForwardAgent"_s}));
        QCOMPARE(names(filterOptions(config.groups(), u"display"_s, SearchScope::all,
                                     CustomizedOption::all, {})),
                 QStringList{u"Forwarding/ForwardX11"_s});
        QCOMPARE(names(filterOptions(config.groups(), u""_s, SearchScope::quickHelp,
                                     CustomizedOption::customized,
                                     {{u"ProxyCommand"_s, u"nc"_s}, {u"ForwardX11"_s, u""_s}})),
                 QStringList{u"Proxy/ProxyCommand"_s});
        QVERIFY(filterOptions(config.groups(), u"proxy"_s, SearchScope::quickHelp,
                              CustomizedOption::all, {})
                    .isEmpty());
    }

    void quickHelpPage()
    {
        const SSHClientConfig config(info, groups);
        const QString page =
            ::quickHelpPage(config.options().value(u"ForwardAgent"_s), u"#336699"_s);
        QVERIFY(page.contains(u"Forward the agent connection"_s));
        QVERIFY(page.contains(u"color: #336699"_s));
        QVERIFY(page.contains(u"font-size: 1.875rem"_s));
        QVERIFY(!page.contains(u"BODY_HTML"_s) && !page.contains(u"_FONTSIZE"_s));
        QVERIFY(::quickHelpPage(config.options().value(u"ProxyCommand"_s), u"#000"_s).isEmpty());
    }
};

VELL_TEST_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
