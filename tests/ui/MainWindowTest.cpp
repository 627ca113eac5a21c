// The main window driven as a user would, with the run's questions answered from a script.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
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

    // The letters that Alt reaches in the window: its menus and its visible buttons.
    static QStringList Mnemonics(CQuillonDlg& window) {
        QStringList letters;
        const auto add = [&letters](const QString& text) {
            const QKeySequence key = QKeySequence::mnemonic(text);
            letters << (key.isEmpty() ? "none in '" + text + "'" : key.toString());
        };
        for (QAction* menu : window.menuBar()->actions()) {
            add(menu->text());
        }
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            if (button->isVisible()) {
                add(button->text());
            }
        }
        return letters;
    }

    static const QString kNothingSaved;
    static const QString kErrorLogQuestion;

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
        CResults dialog(results, fixture.prompts.reports.front());
        QCOMPARE(dialog.Figure(0, 0), QString("4"));
        QCOMPARE(dialog.Figure(1, 2), QString::fromStdString(FormatNumber(
                                          results.counters.Of(FileClass::kJpeg).bytesBefore)));
        QCOMPARE(dialog.SmallerText(), QString::fromStdString(results.smallerText));
        QCOMPARE(dialog.BarPosition(0), results.barPositions[0]);
        // Back to idle, with the selection of before the run.
        QVERIFY(!window.Running());
        QCOMPARE(window.ProcessButton()->text(), QString("&Process"));
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
        QCOMPARE(window.ProcessButton()->text(), QString("&Process"));
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
        QCOMPARE(window.SettingsButton()->text(), QString("&Revert"));
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
                 QStringList{"Unable to locate a viewer for PDF files on your computer.\n\nThe "
                             "guide is\n\n\t" +
                             QString::fromStdString(fixture.paths.ManualPath().string())});
    }

    // The results name the report the run wrote and offer it only when there is one; a document
    // that no program can open is named in a message instead of passing in silence.
    void ResultsNameTheReportAndSayWhenNoProgramOpensIt_data() {
        QTest::addColumn<bool>("reportWritable");
        QTest::newRow("report written") << true;
        QTest::newRow("report not written") << false;
    }
    void ResultsNameTheReportAndSayWhenNoProgramOpensIt() {
        QFETCH(bool, reportWritable);
        Fixture fixture;
        fixture.settings.PutInt(section::kReport, key::kAutoOpenReports, 1);
        fixture.prompts.openAnswer = false;
        const fs::path reports = fixture.Path("out") / "Quillon Optimized Files";
        if (!reportWritable) {
            fs::create_directories(reports.parent_path());
            std::ofstream(reports) << "a file where the report's folder should be";
        }
        const QString site = QString::fromStdString(fixture.CopyOfSampleSite().string());
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(site);
        window.ProcessButton()->click();
        WaitForRun(window);

        const QString report = QString::fromStdString((reports / "'site' Report.html").string());
        const QString noProgram =
            "No program on this computer could open\n\n\t%1\n\nPlease open "
            "it with a program of your choice.";
        QCOMPARE(fixture.prompts.results.size(), std::size_t{1});
        if (reportWritable) {
            QCOMPARE(fixture.prompts.reports, QStringList{report});
            QCOMPARE(fixture.prompts.started, QStringList{report});  // opened after the run
            QCOMPARE(fixture.prompts.shown, QStringList{noProgram.arg(report)});
            fixture.prompts.resultsActions.openReportFolder();
            QCOMPARE(fixture.prompts.started.back(), QString::fromStdString(reports.string()));
            QCOMPARE(fixture.prompts.shown.back(),
                     noProgram.arg(QString::fromStdString(reports.string())));
        } else {
            QCOMPARE(fixture.prompts.reports, QStringList{QString()});
            QCOMPARE(fixture.prompts.started, QStringList{});  // no missing report opened
            QCOMPARE(fixture.prompts.shown, QStringList{"Unable to create HTML report!"});
        }

        // The dialog itself: the path, and buttons that work only on a report that exists.
        const QString shownReport = fixture.prompts.reports.front();
        CResults dialog(fixture.prompts.results.front(), shownReport);
        QSignalSpy folderRequests(&dialog, &CResults::OpenReportFolderRequested);
        for (const char* text : {"View &Report", "Open &Folder", "&Copy Path"}) {
            QPushButton* button = nullptr;
            for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
                button = candidate->text() == text ? candidate : button;
            }
            QVERIFY2(button != nullptr, text);
            QCOMPARE(button->isEnabled(), reportWritable);
            button->click();
        }
        QCOMPARE(folderRequests.size(), reportWritable ? 1 : 0);
        if (reportWritable) {
            QCOMPARE(dialog.findChild<ElidedLabel*>("reportPath")->FullText(), report);
            QCOMPARE(QGuiApplication::clipboard()->text(), report);
        }
    }

    // Each ending that optimized nothing says why, in place of "No further compression".
    void EndingsThatOptimizedNothingSayWhy_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("ending");
        QTest::newRow("destination chooser cancelled")
            << "chooser"
            << "No destination folder was chosen, so nothing was copied or optimized.";
        QTest::newRow("Cancel at Destination Exists")
            << "exists"
            << "The destination\n\n\t%1/out/site\n\nexists and was left as it is: nothing was "
               "copied or optimized.";
        QTest::newRow("selection gone")
            << "gone"
            << "The selected folder or file\n\n\t%1/site\n\nno longer exists, so nothing was "
               "optimized. Please select it again.";
    }
    void EndingsThatOptimizedNothingSayWhy() {
        QFETCH(QString, how);
        QFETCH(QString, ending);
        Fixture fixture;
        const fs::path site = fixture.CopyOfSampleSite();
        if (how == "chooser") {
            fixture.settings.PutInt(section::kDestination, key::kPromptForDestination, 0);
        } else if (how == "exists") {
            fs::create_directories(fixture.Path("out") / "site");
            fixture.prompts.existsAnswer = ExistsAnswer::kCancel;
        }
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(QString::fromStdString(site.string()));
        if (how == "gone") {
            fs::remove_all(site);
        }
        window.ProcessButton()->click();
        WaitForRun(window);
        QCOMPARE(fixture.prompts.shown.back(), ending.arg(fixture.dir.path()));
        QVERIFY(!fixture.prompts.shown.contains(kNothingSaved));
        QVERIFY(fixture.prompts.results.empty());
        QVERIFY(!fs::exists(fixture.Path("out") / "Quillon Optimized Files"));
    }

    // A run with errors asks about the error log once its results are closed, not over them.
    void ErrorLogQuestionWaitsForTheResults() {
        Fixture fixture;
        fixture.settings.PutInt(section::kDestination, key::kNewOrReplace, 1);
        const fs::path site = fixture.CopyOfSampleSite();
        std::ofstream(fixture.Path("elsewhere.htm")) << "<p>  a  </p>";
        fs::create_symlink(fixture.Path("elsewhere.htm"), site / "outside.htm");  // logged
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        // While the results are open the run gets every chance to ask, until it waits.
        fixture.prompts.whileOpen = [&] {
            while (!window.RunCallWaiting() && !fixture.prompts.shown.contains(kErrorLogQuestion)) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
        };
        window.SelectPath(QString::fromStdString(site.string()));
        window.ProcessButton()->click();
        WaitForRun(window);
        QCOMPARE(fixture.prompts.results.size(), std::size_t{1});
        QCOMPARE(fixture.prompts.shown, QStringList{kErrorLogQuestion});
        QCOMPARE(fixture.prompts.stacked, QStringList{});
    }

    // Alt reaches every visible button and menu, each by a letter of its own; Cut, which cannot
    // change the selection of a run, is off while one goes on. After the help pane and after a
    // run the window has its idle size again.
    void KeyboardReachesEveryButtonOnce_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("letters");
        const QStringList menus{"Alt+F", "Alt+E", "Alt+H"};
        QTest::newRow("idle") << "idle" << menus + QStringList{"Alt+S", "Alt+P", "Alt+L"};
        QTest::newRow("help open") << "help" << menus + QStringList{"Alt+S", "Alt+P", "Alt+L"};
        QTest::newRow("running") << "running" << menus + QStringList{"Alt+A", "Alt+R", "Alt+Q"};
        QTest::newRow("paused") << "paused" << menus + QStringList{"Alt+U", "Alt+R", "Alt+Q"};
    }
    void KeyboardReachesEveryButtonOnce() {
        QFETCH(QString, state);
        QFETCH(QStringList, letters);
        Fixture fixture;
        const QString site = QString::fromStdString(fixture.CopyOfSampleSite().string());
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.show();
        window.SelectPath(site);
        QAction* cut = MenuAction(window, "C&ut");
        QVERIFY(cut->isEnabled());
        const QSize idleSize = window.size();
        if (state == "help") {
            QApplication::setActiveWindow(&window);
            QVERIFY(QTest::qWaitForWindowActive(&window));
            // Through the window system, where shortcuts are resolved.
            QTest::keyClick(window.windowHandle(), Qt::Key_L, Qt::AltModifier);
            const auto helpOpen = [&window] {
                for (QPushButton* button : window.findChildren<QPushButton*>()) {
                    if (button->text() == "He&lp  <<") {
                        return true;
                    }
                }
                return false;
            };
            QTRY_VERIFY2(helpOpen(), "Alt+L opens the help pane");  // a mnemonic clicks later
            QVERIFY(window.height() > idleSize.height());
            QCOMPARE(Mnemonics(window), letters);
            QTest::keyClick(window.windowHandle(), Qt::Key_L, Qt::AltModifier);
            QTRY_VERIFY(!helpOpen());
            QCOMPARE(window.size(), idleSize);  // no empty space where the pane was
            return;
        }
        if (state == "running" || state == "paused") {
            QSignalSpy finished(&window, &CQuillonDlg::RunFinished);
            window.ProcessButton()->click();
            if (state == "paused") {
                window.PauseButton()->click();
            }
            // Read before the end of the run can be handled.
            const QStringList shown = Mnemonics(window);
            const bool cutEnabled = cut->isEnabled();
            window.ProcessButton()->click();  // Quit
            QVERIFY(finished.wait(60000));
            QCOMPARE(shown, letters);
            QVERIFY(!cutEnabled);
            QVERIFY(cut->isEnabled());
            QCOMPARE(window.size(), idleSize);
            return;
        }
        QCOMPARE(Mnemonics(window), letters);
    }

    // A drop only reads the path: the source is told copy (or link), never move.
    void DropIsTakenAsCopyOrLink_data() {
        QTest::addColumn<Qt::DropActions>("possible");
        QTest::addColumn<Qt::DropAction>("taken");
        QTest::newRow("move proposed, copy possible")
            << (Qt::CopyAction | Qt::MoveAction | Qt::LinkAction) << Qt::CopyAction;
        QTest::newRow("move or link") << (Qt::MoveAction | Qt::LinkAction) << Qt::LinkAction;
        QTest::newRow("move only") << Qt::DropActions(Qt::MoveAction) << Qt::IgnoreAction;
    }
    void DropIsTakenAsCopyOrLink() {
        QFETCH(Qt::DropActions, possible);
        QFETCH(Qt::DropAction, taken);
        Fixture fixture;
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(fixture.dir.filePath("site"))});
        // Shift proposes a move.
        QDragEnterEvent enter(QPoint(5, 5), possible, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(&window, &enter);
        QDropEvent drop(QPointF(5, 5), possible, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(&window, &drop);
        const bool accepted = taken != Qt::IgnoreAction;
        QCOMPARE(enter.isAccepted(), accepted);
        QCOMPARE(drop.isAccepted(), accepted);
        if (accepted) {
            QCOMPARE(enter.dropAction(), taken);
            QCOMPARE(drop.dropAction(), taken);
        }
        QCOMPARE(window.Selection(), accepted ? fixture.dir.filePath("site") : QString());
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

    // The program without a display: --help and --version answer, a start without a home folder
    // is refused, and none of them writes anything.
    void CommandLineWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("home");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>(
            "output");  // the start of standard output, else of standard error
        QTest::newRow("--help") << QStringList{"--help"} << true << 0 << "Usage: quillon [PATH]\n";
        QTest::newRow("-h without HOME") << QStringList{"-h"} << false << 0 << "Usage: quillon";
        QTest::newRow("--version")
            << QStringList{"--version"} << true << 0 << "quillon " QUILLON_VERSION "\n";
        QTest::newRow("no HOME") << QStringList{} << false << 2 << "quillon: HOME is not set";
    }
    void CommandLineWithoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, home);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            environment.remove(name);
        }
        if (!home) {
            environment.remove("HOME");
        }
        environment.insert("XDG_CONFIG_HOME", config.path());  // where a start would write
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QUILLON_WINDOW_PATH, arguments);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString text = QString::fromUtf8(exitCode == 0 ? program.readAllStandardOutput()
                                                             : program.readAllStandardError());
        QVERIFY2(text.startsWith(output), qPrintable(text));
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
const QString MainWindowTest::kErrorLogQuestion =
    "Quillon encountered errors during processing.\nWould you like to view the error log?";

}  // namespace quillon

QTEST_MAIN(quillon::MainWindowTest)
#include "MainWindowTest.moc"
