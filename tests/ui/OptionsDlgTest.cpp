// The settings dialog: pages bound to their keys, the enabled-state rules, Save, Cancel and
// Defaults.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
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
        COptionsDlg Dialog() { return {store, prompts, "/home/ada/Desktop", "/nonexistent"}; }
    };

    // The control of a page with this text.
    template <typename Control>
    static Control* Find(QWidget* page, const QString& text) {
        for (Control* control : page->findChildren<Control*>()) {
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
    void OpensOnDestinationAndCategoriesShowNoPage() {
        Fixture fixture;
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/nonexistent");
        QCOMPARE(dialog.CurrentPage(), dialog.Page("Destination"));
        for (const char* category : {"General", "Web Pages", "Graphics"}) {
            dialog.SelectNode(category);
            QVERIFY(dialog.CurrentPage() == nullptr);
        }
        dialog.SelectNode("JPEG");
        QCOMPARE(dialog.CurrentPage(), dialog.Page("JPEG"));
    }

    void DefaultsThenCancelLeavesTheStoreUnchanged() {
        Fixture fixture;
        fixture.store.PutInt(section::kHtml, key::kEnableHtml, 0);
        fixture.store.PutInt(section::kHtml, key::kMetaTagsOption, 2);
        fixture.store.PutString(section::kDestination, key::kDestination, "/srv/out");
        const auto before = Everything(fixture.store);
        const std::size_t keys = fixture.store.Size();
        {
            COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
            dialog.RestoreDefaults();
            QVERIFY(Find<QCheckBox>(dialog.Page("HTML"), "Enable HTML optimizer")->isChecked());
            dialog.reject();
        }
        QCOMPARE(Everything(fixture.store), before);
        QCOMPARE(fixture.store.Size(), keys);
    }

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

    void SaveStoresTheControls() {
        Fixture fixture;
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        Find<QRadioButton>(dialog.Page("HTML"), "Don't remove Meta tags")->click();
        Find<QCheckBox>(dialog.Page("GIF"), "Enable GIF optimizer")->click();
        Find<QRadioButton>(dialog.Page("Destination"), "Compress original files")->click();
        dialog.Save();
        QCOMPARE(fixture.store.GetInt(section::kHtml, key::kMetaTagsOption, 9), 2u);
        QCOMPARE(fixture.store.GetInt(section::kGif, key::kEnableGif, 9), 0u);
        QCOMPARE(fixture.store.GetInt(section::kDestination, key::kNewOrReplace, 9), 1u);
    }

    void CancelledBrowserChoiceFallsBackToTheDefaultBrowser() {
        Fixture fixture;
        fixture.store.PutInt(section::kReport, key::kUseDefaultBrowser, 0);
        fixture.store.PutInt(section::kReport, key::kUseBrowser, 1);
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        QWidget* page = dialog.Page("Reports");
        auto* select = Find<QPushButton>(page, "Select Browser ...");
        QVERIFY(select->isEnabled());
        fixture.prompts.fileAnswer.clear();
        select->click();
        QCOMPARE(fixture.prompts.shown, QStringList{"Select a browser to use"});
        QVERIFY(Find<QRadioButton>(page, "Use my default browser")->isChecked());
        QVERIFY(!Find<QRadioButton>(page, "Use:")->isChecked());
        QVERIFY(!select->isEnabled());
        QVERIFY(!page->findChild<QLineEdit*>()->isEnabled());
    }

    void ChosenBrowserFillsThePath() {
        Fixture fixture;
        fixture.store.PutInt(section::kReport, key::kUseBrowser, 1);
        fixture.store.PutInt(section::kReport, key::kUseDefaultBrowser, 0);
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        fixture.prompts.fileAnswer = "/usr/bin/my browser";
        Find<QPushButton>(dialog.Page("Reports"), "Select Browser ...")->click();
        dialog.Save();
        QCOMPARE(fixture.store.GetString(section::kReport, key::kBrowserName, ""),
                 std::string("/usr/bin/my browser"));
    }

    void HtmlPageRules() {
        Fixture fixture;
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        QWidget* page = dialog.Page("HTML");
        auto* removeComments = Find<QCheckBox>(page, "Remove comments");
        auto* keepIncludes = Find<QCheckBox>(page, "except non-hiding Server Side Includes");
        QVERIFY(keepIncludes->isChecked() && keepIncludes->isEnabled());
        removeComments->click();
        QVERIFY(!keepIncludes->isChecked());
        QVERIFY(!keepIncludes->isEnabled());
        Find<QCheckBox>(page, "Enable HTML optimizer")->click();
        for (const char* option :
             {"Remove optional close tags", "Strict Quote Rules", "Remove comments"}) {
            QVERIFY2(!Find<QCheckBox>(page, option)->isEnabled(), option);
        }
        QVERIFY(!Find<QRadioButton>(page, "Don't remove Meta tags")->isEnabled());
    }

    void OptimizerPagesDisableTheirOptions() {
        Fixture fixture;
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        struct Row {
            const char* page;
            const char* master;
            const char* option;
        };
        for (const Row& row :
             {Row{"JavaScript", "Enable JavaScript optimizer", "Remove comments"},
              Row{"GIF", "Enable GIF optimizer", "Force global palette usage"},
              Row{"Reports", "Generate Report", "Open the Report after optimizing"}}) {
            QWidget* page = dialog.Page(row.page);
            QVERIFY2(Find<QCheckBox>(page, row.option)->isEnabled(), row.page);
            Find<QCheckBox>(page, row.master)->click();
            QVERIFY2(!Find<QCheckBox>(page, row.option)->isEnabled(), row.page);
        }
    }

    void DestinationPageRules() {
        Fixture fixture;
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        QWidget* page = dialog.Page("Destination");
        auto* prompt = Find<QRadioButton>(page, "Prompt for destination");
        auto* use = Find<QRadioButton>(page, "Use:");
        auto* select = Find<QPushButton>(page, "Select ...");
        auto* backup = Find<QCheckBox>(page, "Back-up web page files");
        QVERIFY(prompt->isChecked());
        QVERIFY(!select->isEnabled());
        QVERIFY(!backup->isEnabled());
        use->click();
        QVERIFY(select->isEnabled());
        prompt->click();
        QVERIFY(!select->isEnabled());
        Find<QRadioButton>(page, "Compress original files")->click();
        QVERIFY(!prompt->isEnabled() && !use->isEnabled());
        QVERIFY(backup->isEnabled());
        QCOMPARE(page->findChild<QLineEdit*>()->text(),
                 QString("/home/ada/Desktop/Quillon Optimized Files"));
    }

    void ChosenDestinationFillsThePath() {
        Fixture fixture;
        fixture.store.PutInt(section::kDestination, key::kUse, 1);
        fixture.store.PutInt(section::kDestination, key::kPromptForDestination, 1);
        COptionsDlg dialog(fixture.store, fixture.prompts, "/home/ada/Desktop", "/x");
        fixture.prompts.folderAnswer = "/srv/www";
        Find<QPushButton>(dialog.Page("Destination"), "Select ...")->click();
        dialog.Save();
        QCOMPARE(fixture.store.GetString(section::kDestination, key::kDestination, ""),
                 std::string("/srv/www"));
        QCOMPARE(fixture.store.GetInt(section::kDestination, key::kUse, 9), 1u);
    }
};

}  // namespace quillon

QTEST_MAIN(quillon::OptionsDlgTest)
#include "OptionsDlgTest.moc"
