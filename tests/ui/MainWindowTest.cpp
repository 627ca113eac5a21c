// The main window driven as a user would, with the run's questions answered from a script or, in
// the window's own message boxes, by a user the test plays.
#include <QClipboard>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <map>

#include "Corpus.h"
#include "ScriptedPrompts.h"
#include "app/QtSettingsStore.h"
#include "pipeline/SettingsKeys.h"
#include "ui/OptionsDlg.h"
#include "ui/QuillonDlg.h"
#include "ui/ResultsDlg.h"
#include "ui/WidgetPrompts.h"

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
        // Thousands of pages take a run long enough to stop it on the way, and as each is done
        // in a moment, it stops at once (a large GIF holds it up for a minute in a coverage build).
        fs::path SlowSite(int pages = 6000) const {
            const fs::path site = CopyOfSampleSite();
            for (int i = 0; i < pages; ++i) {
                test::WriteText(site / ("page-" + std::to_string(i) + ".htm"), "<p>  a    b  </p>");
            }
            return site;
        }
    };

    // A user at the window's real dialogs: clicks `button` where a message box offers it (or its
    // one button), closes any other dialog, and notes what each showed.
    struct User {
        QStringList seen;
        QTimer timer;
        explicit User(const QString& button) {
            QObject::connect(&timer, &QTimer::timeout, [this, button] {
                QWidget* modal = QApplication::activeModalWidget();
                if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    seen << box->text();
                    for (QAbstractButton* offered : box->buttons()) {
                        if (offered->text().remove('&') == button || box->buttons().size() == 1) {
                            offered->click();
                            break;
                        }
                    }
                } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                    seen << dialog->metaObject()->className();
                    dialog->reject();
                }
            });
            timer.start(20);
        }
    };

    // Every regular file below folder, by path relative to it.
    static std::map<std::string, std::string> Snapshot(const fs::path& folder) {
        std::map<std::string, std::string> contents;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file()) {
                contents[entry.path().lexically_relative(folder).string()] = test::ReadText(entry);
            }
        }
        return contents;
    }

    // What a run that nothing stops makes of each file of SlowSite (its pages all alike).
    static std::string Optimized(std::string name) {
        static const auto optimized = [] {
            Fixture reference;
            reference.settings.PutInt(section::kDestination, key::kNewOrReplace, 1);
            const fs::path site = reference.SlowSite(1);
            CQuillonDlg window(reference.settings, reference.paths, reference.prompts);
            QSignalSpy finished(&window, &CQuillonDlg::RunFinished);
            window.SelectPath(QString::fromStdString(site.string()));
            window.ProcessButton()->click();
            finished.wait(80000);
            return Snapshot(site);
        }();
        return optimized.at(name.starts_with("page-") ? "page-0.htm" : name);
    }

    // True once the run optimizes files, the listing and the copy behind it.
    static bool Optimizing(const CQuillonDlg& window) {
        return !QStringList{"Idle", "Building file list", "Backing up source files"}.contains(
            window.StatusText());
    }

    // The bytes of the files a run optimizes (it leaves scripts and style sheets alone).
    static std::uintmax_t Bytes(const fs::path& folder) {
        std::uintmax_t total = 0;
        for (const auto& [name, bytes] : Snapshot(folder)) {
            total += name.ends_with(".js") || name.ends_with(".css") ? 0 : bytes.size();
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
    // The results give the figures of the files on disk and name the report the run wrote,
    // offered only when there is one; a document that no program can open (the report, its
    // folder, the user's guide) is named in a message instead of passing in silence. A path given
    // at the start is run at once, as if dropped and processed.
    void RunShowsTheResultsOfTheFilesOnDisk_data() {
        QTest::addColumn<bool>("startPath");
        QTest::addColumn<bool>("reportWritable");
        QTest::newRow("Process") << false << true;
        QTest::newRow("path given at the start") << true << true;
        QTest::newRow("report not written") << false << false;
    }
    void RunShowsTheResultsOfTheFilesOnDisk() {
        QFETCH(bool, startPath);
        QFETCH(bool, reportWritable);
        Fixture fixture;
        fixture.settings.PutInt(section::kReport, key::kAutoOpenReports, 1);
        fixture.prompts.openAnswer = false;
        const fs::path reports = fixture.Path("out") / "Quillon Optimized Files";
        if (!reportWritable) {
            test::WriteText(reports, "a file where the report's folder should be");
        }
        const QString site = QString::fromStdString(fixture.CopyOfSampleSite().string());
        test::WriteText(site.toStdString() + "/<a>&\"b'.htm", "<p>  a  </p>");  // for the report
        const std::uintmax_t before = Bytes(site.toStdString());
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts,
                           startPath ? site : QString());
        if (!startPath) {
            window.SelectPath(site);
            window.ProcessButton()->click();
        }
        QVERIFY(window.Running());
        WaitForRun(window);
        QCOMPARE(window.Selection(), site);  // as before the run

        QCOMPARE(fixture.prompts.results.size(), std::size_t{1});
        const RunResults& results = fixture.prompts.results.front();
        QCOMPARE(results.total.files, 10u);  // pages, JPEGs and the two GIFs
        QCOMPARE(std::uintmax_t{results.total.bytesBefore}, before);
        QCOMPARE(std::uintmax_t{results.total.bytesAfter}, Bytes(fixture.Path("out") / "site"));
        const QString report = QString::fromStdString((reports / "'site' Report.html").string());
        const QString noProgram =
            "No program on this computer could open\n\n\t%1\n\nPlease open "
            "it with a program of your choice.";
        QCOMPARE(fixture.prompts.reports, QStringList{reportWritable ? report : QString()});
        QCOMPARE(fixture.prompts.started, reportWritable ? QStringList{report} : QStringList{});
        QCOMPARE(
            fixture.prompts.shown,
            QStringList{reportWritable ? noProgram.arg(report) : "Unable to create HTML report!"});
        if (reportWritable) {
            fixture.prompts.resultsActions.openReportFolder();
            QCOMPARE(fixture.prompts.started.back(), QString::fromStdString(reports.string()));
            QCOMPARE(fixture.prompts.shown.back(),
                     noProgram.arg(QString::fromStdString(reports.string())));
        }
        window.OpenUserGuide();
        const QString guide = QString::fromStdString(fixture.paths.ManualPath().string());
        QCOMPARE(fixture.prompts.started.back(), guide);
        QCOMPARE(fixture.prompts.shown.back(),
                 "Unable to locate a viewer for PDF files on your computer.\n\nThe guide is\n\n\t" +
                     guide);

        // The dialog itself: the path, and buttons that work only on a report that exists.
        CResults dialog(results, fixture.prompts.reports.front());
        QCOMPARE(dialog.Figure(0, 0), QString("5"));  // pages
        QSignalSpy folderRequests(&dialog, &CResults::OpenReportFolderRequested);
        int offered = 0;
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            if (QStringList{"View &Report", "Open &Folder", "&Copy Path"}.contains(
                    button->text())) {
                QCOMPARE(button->isEnabled(), reportWritable);
                button->click();
                ++offered;
            }
        }
        QCOMPARE(offered, 3);
        QCOMPARE(folderRequests.size(), reportWritable ? 1 : 0);
        if (reportWritable) {
            const std::string written = test::ReadText(report.toStdString());
            QVERIFY(written.find("&lt;a&gt;&amp;&quot;b&#39;.htm") != std::string::npos);
            QCOMPARE(dialog.findChild<ElidedLabel*>("reportPath")->FullText(), report);
            QCOMPARE(QGuiApplication::clipboard()->text(), report);
        }
    }

    // Each ending that optimized nothing says why, in place of "No further compression", which a
    // run that found nothing to save says.
    void EndingsThatOptimizedNothingSayWhy_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("ending");
        QTest::newRow("destination chooser cancelled")
            << "chooser"
            << "No destination folder was chosen, so nothing was copied or optimized.";
        QTest::newRow("selection gone")
            << "gone"
            << "The selected folder or file\n\n\t%1/site\n\nno longer exists, so nothing was "
               "optimized. Please select it again.";
        QTest::newRow("nothing left to save") << "tight" << kNothingSaved;
    }
    void EndingsThatOptimizedNothingSayWhy() {
        QFETCH(QString, how);
        QFETCH(QString, ending);
        Fixture fixture;
        const fs::path site = how == "tight" ? fixture.Path("tight") : fixture.CopyOfSampleSite();
        if (how == "chooser") {
            fixture.settings.PutInt(section::kDestination, key::kPromptForDestination, 0);
        } else if (how == "tight") {
            test::WriteText(site / "a.htm", "<p>x</p>");
        }
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.SelectPath(QString::fromStdString(site.string()));
        if (how == "gone") {
            fs::remove_all(site);
        }
        window.ProcessButton()->click();
        WaitForRun(window);
        QCOMPARE(fixture.prompts.shown.back(), ending.replace("%1", fixture.dir.path()));
        QCOMPARE(fixture.prompts.shown.count(kNothingSaved), how == "tight" ? 1 : 0);
        QVERIFY(fixture.prompts.results.empty());
        QCOMPARE(fs::exists(fixture.Path("out") / "Quillon Optimized Files"), how == "tight");
    }

    // A run with errors asks about the error log once its results are closed, not over them.
    void ErrorLogQuestionWaitsForTheResults() {
        const QString question =
            "Quillon encountered errors during processing.\nWould you like to view the error log?";
        Fixture fixture;
        fixture.settings.PutInt(section::kDestination, key::kNewOrReplace, 1);
        const fs::path site = fixture.CopyOfSampleSite();
        test::WriteText(fixture.Path("elsewhere.htm"), "<p>  a  </p>");
        fs::create_symlink(fixture.Path("elsewhere.htm"), site / "outside.htm");  // logged
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        // While the results are open the run gets every chance to ask, until it waits.
        fixture.prompts.whileOpen = [&] {
            while (!window.RunCallWaiting() && !fixture.prompts.shown.contains(question)) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
        };
        window.SelectPath(QString::fromStdString(site.string()));
        window.ProcessButton()->click();
        WaitForRun(window);
        QCOMPARE(fixture.prompts.results.size(), std::size_t{1});
        QCOMPARE(fixture.prompts.shown, QStringList{question});
        QCOMPARE(fixture.prompts.stacked, QStringList{});
    }

    // A run stopped on the way shows no results and leaves every file whole: its old content
    // or what a run that nothing stops makes of it, and no temporary file. Quit keeps the copy
    // whole, Revert deletes it, and closing the window stops the run as Quit does and waits for it.
    // In place Revert stays off, since it would delete the originals. Pause holds a run, which then
    // ends as if never paused.
    void StoppingARunLeavesEveryFileWhole_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("Quit") << "quit" << false;
        QTest::newRow("Revert") << "revert" << false;
        QTest::newRow("window closed") << "close" << true;
        QTest::newRow("Pause, then Resume") << "pause" << true;
    }
    void StoppingARunLeavesEveryFileWhole() {
        QFETCH(QString, action);
        QFETCH(bool, inPlace);
        Fixture fixture;
        fixture.settings.PutInt(section::kDestination, key::kNewOrReplace, inPlace ? 1 : 0);
        // Unpaused, the sample site is done in a moment.
        const fs::path site = action == "pause" ? fixture.CopyOfSampleSite() : fixture.SlowSite();
        const auto original = Snapshot(site);
        auto window =
            std::make_unique<CQuillonDlg>(fixture.settings, fixture.paths, fixture.prompts);
        QSignalSpy finished(window.get(), &CQuillonDlg::RunFinished);
        window->SelectPath(QString::fromStdString(site.string()));
        window->ProcessButton()->click();
        if (action == "pause") {
            window->PauseButton()->click();
            QTest::qWait(1500);
            QVERIFY(window->Running() && finished.isEmpty());
            window->PauseButton()->click();  // Resume
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(Optimizing(*window), 80000);
            QCOMPARE(window->SettingsButton()->isEnabled(), !inPlace);
            if (action == "close") {
                QVERIFY(window->close());
            } else {
                (action == "quit" ? window->ProcessButton() : window->SettingsButton())->click();
            }
        }
        if (action != "close") {
            QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 80000);
        }
        window.reset();
        QCOMPARE(fixture.prompts.results.size(), action == "pause" ? 1u : 0u);
        QCOMPARE(fixture.prompts.shown, QStringList{});
        const fs::path copy = inPlace ? site : fixture.Path("out") / "site";
        QCOMPARE(fs::exists(copy), action != "revert");
        if (action == "quit") {  // the copies a stopped run still owed are made
            QCOMPARE(Snapshot(copy).size(), original.size());
        }
        for (const auto& [name, bytes] : action == "revert" ? original : Snapshot(copy)) {
            const bool backup = name.ends_with(".BAK");
            const std::string of = backup ? name.substr(0, name.size() - 4) : name;
            QVERIFY2(original.contains(of), name.c_str());  // no temporary file
            const bool before = bytes == original.at(of);
            QVERIFY2(backup ? before : (before && action != "pause") || bytes == Optimized(of),
                     name.c_str());
        }
        QVERIFY(inPlace || Snapshot(site) == original);
    }

    // The run's questions and messages come to the window's own message boxes, answered there:
    // "Destination Exists", then the results, which the user closes, or why nothing was copied;
    // or, while a run in another window holds the tree, that this one cannot start. The other
    // run goes on to its end.
    void AnsweredInTheWindowsMessageBoxes_data() {
        QTest::addColumn<QString>("button");
        for (const char* button : {"Replace", "Modify", "Cancel"}) {
            QTest::newRow(button) << QString(button);
        }
        QTest::newRow("tree held by another window") << QString("OK");
    }
    void AnsweredInTheWindowsMessageBoxes() {
        QFETCH(QString, button);
        const bool held = button == "OK";
        const QString copy = button == "Replace" ? "site" : button == "Modify" ? "site1" : "";
        Fixture fixture, other;
        const QString site =
            QString::fromStdString((held ? other.SlowSite() : fixture.CopyOfSampleSite()).string());
        const fs::path out = fixture.Path("out");
        CQuillonDlg first(other.settings, other.paths, other.prompts);
        QSignalSpy firstDone(&first, &CQuillonDlg::RunFinished);
        if (held) {
            first.SelectPath(site);
            first.ProcessButton()->click();
            QTRY_VERIFY_WITH_TIMEOUT(Optimizing(first), 80000);
        } else {
            fs::create_directories(out / "site");
        }
        WidgetPrompts boxes;
        User user(button);
        CQuillonDlg window(fixture.settings, fixture.paths, boxes);
        window.SelectPath(site);
        window.ProcessButton()->click();
        WaitForRun(window);
        const QString indented =
            "\n\n    " + (held ? site : fixture.dir.filePath("out/site")) + "\n\n";
        const QString asked =
            held ? "Another Quillon run is working on" : "The specified destination exists:";
        QVERIFY2(user.seen.value(0).startsWith(asked + indented), qPrintable(user.seen.join('|')));
        QCOMPARE(user.seen.mid(1), held ? QStringList{}
                                   : copy.isEmpty()
                                       ? QStringList{"The destination" + indented +
                                                     "exists and was left as it is: "
                                                     "nothing was copied or optimized."}
                                       : QStringList{"quillon::CResults"});
        QCOMPARE(fs::exists(out / "site" / "index.htm"), copy == "site");
        QCOMPARE(fs::exists(out / "site1"), copy == "site1");
        if (held) {
            QTRY_COMPARE_WITH_TIMEOUT(firstDone.size(), 1, 80000);
            QCOMPARE(other.prompts.results.size(), std::size_t{1});
        }
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
        QDropEvent drop(QPointF(5, 5), possible, &data, Qt::LeftButton, Qt::ShiftModifier);
        const bool accepted = taken != Qt::IgnoreAction;
        for (QDropEvent* event : {static_cast<QDropEvent*>(&enter), &drop}) {
            QCoreApplication::sendEvent(&window, event);
            QCOMPARE(event->isAccepted(), accepted);
            QCOMPARE(accepted ? event->dropAction() : taken, taken);
        }
        QCOMPARE(window.Selection(), accepted ? fixture.dir.filePath("site") : QString());
    }

    // What the user did wrong is said, and the selection stays as it was. While a run goes on
    // nothing changes it, the menus and Cut included: the run names its report after it, and
    // another site's report must not be overwritten. After the help pane and after a run the
    // window has its idle size again, with no empty space where they were.
    void SelectionStaysAsItShould() {
        Fixture fixture;
        const QString site = QString::fromStdString(fixture.CopyOfSampleSite().string());
        const QString other = fixture.dir.filePath("other");
        fixture.prompts.folderAnswer = other;
        fixture.prompts.fileAnswer = other + "/page.htm";
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        window.show();
        window.ProcessButton()->click();
        window.SelectPath(site);
        const QList<QUrl> dropped = {QUrl::fromLocalFile(other)};
        window.SelectDropped(dropped + dropped);
        fixture.prompts.okAnswer = false;  // to the question whether to replace the selection
        window.SelectDropped(dropped);
        QCOMPARE(
            fixture.prompts.shown,
            (QStringList{"Please select a file or folder before pressing the 'Process' button.",
                         "Please drop only a single file or folder onto the application.",
                         "Replace current the current selection - site ?"}));
        const QSize idle = window.size();
        QPushButton* help = nullptr;
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            help = button->text().startsWith("He&lp") ? button : help;
        }
        QVERIFY(help != nullptr);
        help->click();
        QVERIFY(window.height() > idle.height());
        help->click();
        QCOMPARE(window.size(), idle);
        fixture.prompts.shown.clear();
        window.ProcessButton()->click();
        for (const char* action : {"Optimize &directory...", "Optimize &file...", "C&ut"}) {
            QVERIFY2(!MenuAction(window, action)->isEnabled(), action);
        }
        window.SelectPath(other);
        window.SelectDropped(dropped);
        window.OptimizeDirectory();
        window.OptimizeFile();
        QCOMPARE(window.Selection(), site);
        QCOMPARE(fixture.paths.ReportName(), std::string("'site' Report.html"));
        QCOMPARE(fixture.prompts.shown, QStringList{});  // neither a question nor a chooser
        WaitForRun(window);
        QCOMPARE(window.size(), idle);
        const fs::path reports = fixture.Path("out") / "Quillon Optimized Files";
        QVERIFY(fs::exists(reports / "'site' Report.html"));
        QVERIFY(!fs::exists(reports / "'other' Report.html"));
        QVERIFY(MenuAction(window, "Optimize &directory...")->isEnabled());
        QVERIFY(MenuAction(window, "C&ut")->isEnabled());
    }

    // "Your original files are not modified" goes as soon as in-place runs are saved. Settings
    // that cannot be saved are shown with file and reason: at the start, after Save in the
    // settings dialog, and with the lifetime statistics at the end of a run.
    void SavingTheSettings_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("settings saved") << true;
        QTest::newRow("settings file below a file") << false;
    }
    void SavingTheSettings() {
        QFETCH(bool, writable);
        Fixture fixture(writable ? "settings.ini" : "blocker/settings.ini");
        test::WriteText(fixture.Path("blocker"), "");
        const fs::path site = fixture.Path("tight");
        test::WriteText(site / "a.htm", "<p>x</p>");
        CQuillonDlg window(fixture.settings, fixture.paths, fixture.prompts);
        QVERIFY(!window.CopyNote()->isHidden());
        QTimer::singleShot(0, [] {
            for (const char* text : {"Compress original files", "&Save"}) {
                QWidget* dialog = QApplication::activeModalWidget();
                for (auto* button : dialog->findChildren<QAbstractButton*>()) {
                    if (button->text() == text) {
                        button->click();
                    }
                }
            }
        });
        window.SettingsButton()->click();
        QCOMPARE(fixture.settings.GetInt(section::kDestination, key::kNewOrReplace, 0), 1u);
        QVERIFY(window.CopyNote()->isHidden());
        window.SelectPath(QString::fromStdString(site.string()));
        window.ProcessButton()->click();
        WaitForRun(window);
        const QStringList failures =
            writable ? QStringList()
                     : QStringList{"The settings and statistics could not be saved in '" +
                                   fixture.dir.filePath("blocker/settings.ini") + "': '" +
                                   fixture.dir.filePath("blocker") + "' is not a folder."};
        QCOMPARE(fixture.prompts.shown,
                 failures + failures + QStringList{kNothingSaved} + failures);
    }

    // The program without a display or a home folder: -h and --version answer, a start is
    // refused, and none writes anything.
    void CommandLineWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");  // the start of standard output, else of error
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "Usage: quillon [PATH]\n";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "quillon ";
        QTest::newRow("start") << QStringList{} << 2 << "quillon: HOME is not set";
    }
    void CommandLineWithoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "HOME"}) {
            environment.remove(name);
        }
        environment.insert("XDG_CONFIG_HOME", config.path());  // where a start would write
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QUILLON_WINDOW_PATH, arguments);
        QVERIFY(program.waitForFinished(20000) && program.exitStatus() == QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString text = QString::fromUtf8(exitCode == 0 ? program.readAllStandardOutput()
                                                             : program.readAllStandardError());
        QVERIFY2(text.startsWith(output), qPrintable(text));
        QVERIFY(QDir(config.path()).isEmpty());
    }
};

const QString MainWindowTest::kNothingSaved =
    "No further compression is possible.\nThank you for using Quillon to speed up your web site!";

}  // namespace quillon

QTEST_MAIN(quillon::MainWindowTest)
#include "MainWindowTest.moc"
