// The main window driven as a user would, with the run's questions answered from a script.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "ScriptedPrompts.h"
#include "app/QtSettingsStore.h"
#include "pipeline/SettingsKeys.h"
#include "ui/OptionsDlg.h"
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
        QtSettingsStore settings;
        DerivedPaths paths{dir.filePath("Desktop").toStdString(), dir.path().toStdString(),
                           dir.filePath("tmp").toStdString()};
        test::ScriptedPrompts prompts;

        explicit Fixture(const char* settingsFile = "settings.ini")
            : settings(dir.filePath(settingsFile)) {
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

    // The action of a menu of the window, by its text.
    static QAction* MenuAction(CQuillonDlg& window, const QString& text) {
        for (QAction* action : window.menuBar()->findChildren<QAction*>()) {
            if (action->text() == text) {
                return action;
            }
        }
        qFatal("no menu action '%s'", qPrintable(text));
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
                 QString::fromStdString(FormatNumber(results.counters.Of(FileClass::kJpeg).bytesBefore)));
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

    // A run names its report after the selection; another site's report must not be overwritten.
    void SelectionStaysWhileARunGoesOn_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"path", "drop", "folder chooser", "file chooser"}) {
            QTest::newRow(how) << QString(how);
        }
    }
    void SelectionStaysWhileARunGoesOn() {
        QFETCH(QString, how);
        Fixture fixture;
        const QString site = QString::fromStdString(fixture.CopyOfSampleSite().string());
        const QString other = fixture.dir.filePath("other");
        QVERIFY(QDir().mkpath(other));
        fixture.prompts.folderAnswer = other;
        fixture.prompts.fileAnswer = other + "/page.htm";
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(site);
        window.ProcessButton()->click();
        QVERIFY(window.Running());
        QVERIFY(!MenuAction(window, "Optimize &directory...")->isEnabled());
        QVERIFY(!MenuAction(window, "Optimize &file...")->isEnabled());
        if (how == "path") {
            window.SelectPath(other);
        } else if (how == "drop") {
            window.SelectDropped({QUrl::fromLocalFile(other)});
        } else if (how == "folder chooser") {
            window.OptimizeDirectory();
        } else {
            window.OptimizeFile();
        }
        QCOMPARE(window.Selection(), site);
        QCOMPARE(fixture.paths.ReportName(), std::string("'site' Report.html"));
        QCOMPARE(fixture.prompts.shown, QStringList{});  // neither a question nor a chooser
        WaitForRun(window);
        const fs::path reports = fixture.Path("out") / "Quillon Optimized Files";
        QVERIFY(fs::exists(reports / "'site' Report.html"));
        QVERIFY(!fs::exists(reports / "'other' Report.html"));
        QVERIFY(MenuAction(window, "Optimize &directory...")->isEnabled());
    }

    // "Your original files are not modified" must go as soon as in-place runs are saved.
    void SavedInPlaceSettingHidesTheCopyNote_data() {
        QTest::addColumn<QString>("route");
        QTest::newRow("Settings button") << QString("button");
        QTest::newRow("Edit menu") << QString("menu");
    }
    void SavedInPlaceSettingHidesTheCopyNote() {
        QFETCH(QString, route);
        Fixture fixture;
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        QVERIFY(!window.CopyNote()->isHidden());
        bool saved = false;
        QTimer::singleShot(0, [&saved] {
            auto* dialog = qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            for (auto* radio : dialog->Page("Destination")->findChildren<QRadioButton*>()) {
                if (radio->text() == "Compress original files") {
                    radio->click();
                }
            }
            for (auto* button : dialog->findChildren<QPushButton*>()) {
                if (button->text() == "&Save") {
                    saved = true;
                    button->click();
                }
            }
        });
        if (route == "button") {
            window.SettingsButton()->click();
        } else {
            MenuAction(window, "&Settings...")->trigger();
        }
        QVERIFY(saved);
        QCOMPARE(fixture.settings.GetInt(section::kDestination, key::kNewOrReplace, 0), 1u);
        QVERIFY(window.CopyNote()->isHidden());
        QCOMPARE(fixture.prompts.shown, QStringList{});
    }

    void SettingsThatCannotBeSavedAreShownWithFileAndReason() {
        Fixture fixture("blocker/settings.ini");
        QFile blocker(fixture.dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const fs::path site = fixture.Path("tight");
        fs::create_directories(site);
        std::ofstream(site / "a.htm") << "<p>x</p>";
        const QString failure = "The settings and statistics could not be saved in '" +
                                fixture.dir.filePath("blocker/settings.ini") + "': '" +
                                fixture.dir.filePath("blocker") + "' is not a folder.";
        // At the start, then with the lifetime statistics at the end of a run.
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        QCOMPARE(fixture.prompts.shown, QStringList{failure});
        window.SelectPath(QString::fromStdString(site.string()));
        window.ProcessButton()->click();
        WaitForRun(window);
        QCOMPARE(fixture.prompts.shown, (QStringList{failure, kNothingSaved, failure}));
    }

    void WithoutAHomeFolderTheWindowRefusesToStart() {
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("HOME");
        environment.insert("XDG_CONFIG_HOME", config.path());  // where a start would write
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QUILLON_WINDOW_PATH, QStringList{});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 2);
        const QString error = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(error.startsWith("quillon: HOME is not set"), qPrintable(error));
        QVERIFY(QDir(config.path()).isEmpty());
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
