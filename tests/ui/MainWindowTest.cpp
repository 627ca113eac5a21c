// The main window driven as a user would, with the run's questions answered from a script.
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "ScriptedPrompts.h"
#include "app/QtSettingsStore.h"
#include "pipeline/SettingsKeys.h"
#include "ui/QuillonDlg.h"
#include "ui/ResultsDlg.h"

namespace quillon {

namespace fs = std::filesystem;

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    // A window over a fresh settings file, a desktop and a temporary folder of its own.
    struct Fixture {
        QTemporaryDir dir;
        QtSettingsStore settings{dir.filePath("settings.ini")};
        DerivedPaths paths{dir.filePath("Desktop").toStdString(), dir.path().toStdString(),
                           dir.filePath("tmp").toStdString()};
        test::ScriptedPrompts prompts;

        Fixture() {
            QDir(dir.path()).mkpath("tmp");
            settings.PutInt(section::kDestination, key::kPromptForDestination, 1);
            settings.PutString(section::kDestination, key::kDestination,
                               dir.filePath("out").toStdString());
        }
        fs::path Path(const char* name) const { return fs::path(dir.filePath(name).toStdString()); }
        fs::path CopyOfSampleSite() const {
            const fs::path site = Path("site");
            fs::copy(QUILLON_EXAMPLES_DIR "/site", site, fs::copy_options::recursive);
            return site;
        }
    };

    static std::uintmax_t Bytes(const fs::path& folder) {
        std::uintmax_t total = 0;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string extension = entry.path().extension().string();
            if (entry.is_regular_file() && extension != ".js" && extension != ".css") {
                total += entry.file_size();
            }
        }
        return total;
    }

    static void WaitForRun(CQuillonDlg& window) {
        QSignalSpy finished(&window, &CQuillonDlg::RunFinished);
        QVERIFY(finished.wait(60000));
    }

    static const QString kNothingSaved;

  private slots:
    void ProcessWithNothingSelectedStartsNothing() {
        Fixture fixture;
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.ProcessButton()->click();
        QCOMPARE(
            fixture.prompts.shown,
            QStringList{"Please select a file or folder before pressing the 'Process' button."});
        QVERIFY(!window.Running());
    }

    void DroppingTwoItemsKeepsTheSelection() {
        Fixture fixture;
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(fixture.dir.filePath("a"));
        window.SelectDropped({QUrl::fromLocalFile(fixture.dir.filePath("b")),
                              QUrl::fromLocalFile(fixture.dir.filePath("c"))});
        QCOMPARE(fixture.prompts.shown,
                 QStringList{"Please drop only a single file or folder onto the application."});
        QCOMPARE(window.Selection(), fixture.dir.filePath("a"));
    }

    void CancellingTheReplaceQuestionKeepsTheOldSelection() {
        Fixture fixture;
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(fixture.dir.filePath("first"));
        fixture.prompts.okAnswer = false;
        window.SelectDropped({QUrl::fromLocalFile(fixture.dir.filePath("second"))});
        QCOMPARE(fixture.prompts.shown,
                 QStringList{"Replace current the current selection - first ?"});
        QCOMPARE(window.Selection(), fixture.dir.filePath("first"));
        QCOMPARE(fixture.paths.ReportName(), std::string("'first' Report.html"));
    }

    void RunShowsTheResultsOfTheFilesOnDisk() {
        Fixture fixture;
        const fs::path site = fixture.CopyOfSampleSite();
        const std::uintmax_t before = Bytes(site);
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(QString::fromStdString(site.string()));
        window.ProcessButton()->click();
        QVERIFY(window.Running());
        QCOMPARE(window.ProcessButton()->text(), QString("&Quit"));
        WaitForRun(window);

        QCOMPARE(fixture.prompts.results.size(), std::size_t{1});
        const RunResults& results = fixture.prompts.results.front();
        QVERIFY(results.saved);
        QCOMPARE(results.total.files, 9u);  // pages, JPEGs and the two GIFs
        QCOMPARE(std::uintmax_t{results.total.bytesBefore}, before);
        QCOMPARE(std::uintmax_t{results.total.bytesAfter}, Bytes(fixture.Path("out") / "site"));
        // The dialog shows those figures.
        CResults dialog(results);
        QCOMPARE(dialog.Figure(0, 0), QString("4"));
        QCOMPARE(dialog.Figure(1, 2),
                 QString::fromStdString(FormatNumber(results.counters.jpegs.bytesBefore)));
        QCOMPARE(dialog.SmallerText(), QString::fromStdString(results.smallerText));
        QCOMPARE(dialog.BarPosition(0), results.barPositions[0]);
        // Back to idle, with the selection of before the run.
        QVERIFY(!window.Running());
        QCOMPARE(window.ProcessButton()->text(), QString("Process"));
        QCOMPARE(window.Selection(), QString::fromStdString(site.string()));
    }

    void RunThatSavesNothingShowsTheMessage() {
        Fixture fixture;
        const fs::path site = fixture.Path("tight");
        fs::create_directories(site);
        std::ofstream(site / "a.htm") << "<p>x</p>";
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(QString::fromStdString(site.string()));
        window.ProcessButton()->click();
        WaitForRun(window);
        QVERIFY(fixture.prompts.results.empty());
        QCOMPARE(fixture.prompts.shown, QStringList{kNothingSaved});
    }

    void QuitShowsNeitherResultsNorMessage() {
        Fixture fixture;
        const fs::path site = fixture.Path("big");
        fs::create_directories(site);
        for (int i = 0; i < 2000; ++i) {
            std::ofstream(site / ("p" + std::to_string(i) + ".htm")) << "<p>  a   b  </p>\n\n";
        }
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(QString::fromStdString(site.string()));
        QSignalSpy finished(&window, &CQuillonDlg::RunFinished);
        window.ProcessButton()->click();
        window.ProcessButton()->click();  // Quit
        QVERIFY(!window.Running());
        QCOMPARE(window.ProcessButton()->text(), QString("Process"));
        QVERIFY(finished.wait(60000));
        QVERIFY(fixture.prompts.results.empty());
        QVERIFY(fixture.prompts.shown.isEmpty());
    }

    void InPlaceModeKeepsRevertDisabled() {
        Fixture fixture;
        fixture.settings.PutInt(section::kDestination, key::kNewOrReplace, 1);
        const fs::path site = fixture.CopyOfSampleSite();
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(QString::fromStdString(site.string()));
        QSignalSpy finished(&window, &CQuillonDlg::RunFinished);
        window.ProcessButton()->click();
        QCOMPARE(window.SettingsButton()->text(), QString("Revert"));
        // Through every refresh of the run.
        QVERIFY(!window.SettingsButton()->isEnabled());
        while (!finished.wait(10)) {
            QVERIFY(!window.SettingsButton()->isEnabled());
        }
        QVERIFY(fs::exists(site / "index.htm.BAK"));
        QVERIFY(window.SettingsButton()->isEnabled());
        QCOMPARE(window.SettingsButton()->text(), QString("&Settings"));
    }

    void StartPathStartsARunAtOnce() {
        Fixture fixture;
        const fs::path site = fixture.CopyOfSampleSite();
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts,
                           QString::fromStdString(site.string()));
        QVERIFY(window.Running());
        WaitForRun(window);
        QCOMPARE(fixture.prompts.results.size(), std::size_t{1});
    }

    void GuideWithoutAViewerSaysSo() {
        Fixture fixture;
        fixture.prompts.openAnswer = false;
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.OpenUserGuide();
        QCOMPARE(fixture.prompts.started,
                 QStringList{QString::fromStdString(fixture.paths.ManualPath().string())});
        QCOMPARE(fixture.prompts.shown,
                 QStringList{"Unable to locate a viewer for PDF files on your computer"});
    }

    void StartupWritesEveryPageKey() {
        Fixture fixture;
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        fixture.settings.Sync();
        QSettings raw(fixture.dir.filePath("settings.ini"), QSettings::IniFormat);
        for (const SettingKey& entry : AllSettingKeys()) {
            const QString path = QString::fromUtf8(entry.section.data(), entry.section.size()) +
                                 '/' + QString::fromUtf8(entry.key.data(), entry.key.size());
            QCOMPARE(raw.contains(path), entry.page != SettingsPage::kNone);
        }
    }
};

const QString MainWindowTest::kNothingSaved =
    "No further compression is possible.\nThank you for using Quillon to speed up your web site!";

}  // namespace quillon

QTEST_MAIN(quillon::MainWindowTest)
#include "MainWindowTest.moc"
