// The settings dialog: its enabled-state rules, choosers, Save, Cancel and Defaults.
#include <QAbstractButton>
#include <QLineEdit>
#include <QtTest>

#include "MemorySettingsStore.h"
#include "ScriptedPrompts.h"
#include "pipeline/SettingsKeys.h"
#include "ui/OptionsDlg.h"

namespace quillon {

class OptionsDlgTest : public QObject {
    Q_OBJECT

  private:
    struct Fixture {
        test::MemorySettingsStore store;
        test::ScriptedPrompts prompts;
    };

    // The button (a check box, a radio button or a push button) of a page with this text.
    static QAbstractButton* Find(QWidget* page, const QString& text) {
        for (QAbstractButton* control : page->findChildren<QAbstractButton*>()) {
            if (control->text() == text) {
                return control;
            }
        }
        qFatal("no control '%s'", qPrintable(text));
    }

    static std::map<std::pair<std::string, std::string>, std::string> Everything(
        const SettingsStore& store) {
        std::map<std::pair<std::string, std::string>, std::string> values;
        for (const SettingKey& entry : AllSettingKeys()) {
            values[{std::string(entry.section), std::string(entry.key)}] =
                entry.type == SettingType::kInt
                    ? std::to_string(store.GetInt(entry.section, entry.key, 77))
                    : store.GetString(entry.section, entry.key, "absent");
        }
        return values;
    }

  private slots:
    // The dialog opens on Destination. Defaults change the controls only; Cancel then leaves
    // every key as it was.
    void DefaultsThenCancelLeavesTheStoreUnchanged() {
        Fixture fixture;
        fixture.store.PutInt(section::kHtml, key::kEnableHtml, 0);
        fixture.store.PutInt(section::kHtml, key::kMetaTagsOption, 2);
        fixture.store.PutString(section::kDestination, key::kDestination, "/srv/out");
        const auto before = Everything(fixture.store);
        const std::size_t keys = fixture.store.Size();
        {
            COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
            QCOMPARE(dialog.CurrentPage(), dialog.Page("Destination"));
            dialog.SelectNode("General");  // a category, which has no page
            QVERIFY(dialog.CurrentPage() == nullptr);
            dialog.RestoreDefaults();
            QVERIFY(Find(dialog.Page("HTML"), "Enable HTML optimizer")->isChecked());
            dialog.reject();
        }
        QCOMPARE(Everything(fixture.store), before);
        QCOMPARE(fixture.store.Size(), keys);
    }

    // A store saved from untouched pages holds what the first start writes, and nothing more.
    void SaveWritesWhatTheStartupPassWrites() {
        Fixture saved;
        {
            COptionsDlg dialog(saved.store, saved.prompts, "/home/ada/Desktop", "/x");
            dialog.Save();
        }
        test::MemorySettingsStore started;
        StorePageDefaults(started, "/home/ada/Desktop");
        QCOMPARE(Everything(saved.store), Everything(started));
        QCOMPARE(saved.store.Size(), started.Size());
    }

    // A switch turns off the options that depend on it; an option it leaves on stays usable.
    // Rows: the page, its option, whether that is enabled after the switches given are clicked.
    void SwitchesEnableTheirOptions_data() {
        QTest::addColumn<QStringList>("row");
        QTest::newRow("JavaScript off")
            << QStringList{"JavaScript", "Remove comments", "off", "Enable JavaScript optimizer"};
        QTest::newRow("GIF off") << QStringList{"GIF", "Force global palette usage", "off",
                                                "Enable GIF optimizer"};
        QTest::newRow("report off")
            << QStringList{"Reports", "Open the Report after optimizing", "off", "Generate Report"};
        QTest::newRow("HTML off") << QStringList{"HTML", "Don't remove Meta tags", "off",
                                                 "Enable HTML optimizer"};
        QTest::newRow("comments kept") << QStringList{
            "HTML", "except non-hiding Server Side Includes", "off", "Remove comments"};
        QTest::newRow("destination given")
            << QStringList{"Destination", "Select ...", "on", "Use:"};
        QTest::newRow("in place: backups") << QStringList{"Destination", "Back-up web page files",
                                                          "on", "Compress original files"};
        QTest::newRow("in place: no destination")
            << QStringList{"Destination", "Use:", "off", "Use:", "Compress original files"};
    }
    void SwitchesEnableTheirOptions() {
        QFETCH(QStringList, row);
        Fixture fixture;
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        QWidget* page = dialog.Page(row[0]);
        for (const QString& text : row.mid(3)) {
            Find(page, text)->click();
        }
        QCOMPARE(Find(page, row[1])->isEnabled(), row[2] == "on");
        if (row[1].startsWith("except")) {  // comments kept keep the includes: it is unticked
            QVERIFY(!Find(page, row[1])->isChecked());
        }
    }

    // A chooser answered fills the path that Save stores; cancelled, it leaves the default.
    void ChoosersFillThePath_data() {
        QTest::addColumn<QStringList>("pageButtonAnswer");
        QTest::newRow("browser") << QStringList{"Reports", "Select Browser ...",
                                                "/usr/bin/my browser"};
        QTest::newRow("browser cancelled") << QStringList{"Reports", "Select Browser ...", ""};
        QTest::newRow("destination") << QStringList{"Destination", "Select ...", "/srv/www"};
    }
    void ChoosersFillThePath() {
        QFETCH(QStringList, pageButtonAnswer);
        const QString page = pageButtonAnswer[0];
        const QString answer = pageButtonAnswer[2];
        Fixture fixture;
        fixture.store.PutInt(section::kReport, key::kUseDefaultBrowser, 0);
        fixture.store.PutInt(section::kReport, key::kUseBrowser, 1);
        fixture.store.PutInt(section::kDestination, key::kUse, 1);
        fixture.store.PutInt(section::kDestination, key::kPromptForDestination, 1);
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        fixture.prompts.fileAnswer = fixture.prompts.folderAnswer = answer;
        Find(dialog.Page(page), pageButtonAnswer[1])->click();
        dialog.Save();
        const bool browser = page == "Reports";
        QCOMPARE(fixture.store.GetString(browser ? section::kReport : section::kDestination,
                                         browser ? key::kBrowserName : key::kDestination, ""),
                 answer.toStdString());
        // No browser chosen: the default browser is used, and the path cannot be typed into.
        QCOMPARE(fixture.store.GetInt(section::kReport, key::kUseDefaultBrowser, 9),
                 answer.isEmpty() ? 1u : 0u);
        QCOMPARE(dialog.Page(page)->findChild<QLineEdit*>()->isEnabled(), !answer.isEmpty());
    }
};

}  // namespace quillon

QTEST_MAIN(quillon::OptionsDlgTest)
#include "OptionsDlgTest.moc"
