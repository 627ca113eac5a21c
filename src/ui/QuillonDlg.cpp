#include "ui/QuillonDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <optional>

#include "app/Platform.h"
#include "pipeline/Results.h"
#include "pipeline/SettingsKeys.h"
#include "ui/HelpPane.h"
#include "ui/OptionsDlg.h"

namespace quillon {
namespace {

constexpr const char* kCodeColour = "color: #340080;";

QLineEdit* ReadOnlyField() {
    auto* field = new QLineEdit;
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    return field;
}

QPixmap IconOf(const std::filesystem::path& path) {
    static const QFileIconProvider provider;
    return provider.icon(QFileInfo(QString::fromStdString(path.string()))).pixmap(16, 16);
}

// A drop only reads the path, so the source must never delete its item: copy, or else link.
std::optional<Qt::DropAction> ReadingDropAction(const QMimeData* data, Qt::DropActions possible) {
    if (!data->hasUrls()) {
        return std::nullopt;
    }
    if (possible & Qt::CopyAction) {
        return Qt::CopyAction;
    }
    if (possible & Qt::LinkAction) {
        return Qt::LinkAction;
    }
    return std::nullopt;
}

}  // namespace

CQuillonDlg::CQuillonDlg(QtSettingsStore& settings, DerivedPaths& paths, UserPrompts& prompts,
                         const QString& startPath, QWidget* parent)
    : QMainWindow(parent), settings_(settings), paths_(paths), prompts_(prompts) {
    setWindowTitle("Quillon");
    setAcceptDrops(true);
    // Every settings key exists from the first start on.
    StorePageDefaults(settings_, paths_.DesktopFolder());
    SaveSettings();  // a store that cannot be written is better known before the first run
    view_ = std::make_unique<WindowRunView>(
        this, prompts_, [this] { Refresh(); }, [this] { OnRunDone(); });
    view_->Update([](RunDisplay& display) {
        display.status = "Idle";
        display.bytesSavedText = "0";
    });
    BuildMenus();
    setCentralWidget(BuildCentralWidget());
    help_->ShowFile("main.html");
    CreateRunObjects();
    SetRunningLayout(false);
    SetIdleButtons();
    Refresh();
    UpdateEditMenu();
    if (!startPath.isEmpty()) {
        SetSelection(startPath);
        OnProcessButton();
    }
}

CQuillonDlg::~CQuillonDlg() {
    DestroyRunObjects();
}

void CQuillonDlg::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    optimizeDirectoryAction_ =
        file->addAction("Optimize &directory...", this, &CQuillonDlg::OptimizeDirectory);
    optimizeFileAction_ = file->addAction("Optimize &file...", this, &CQuillonDlg::OptimizeFile);
    file->addSeparator();
    file->addAction("E&xit", this, &QWidget::close);
    QMenu* edit = menuBar()->addMenu("&Edit");
    cutAction_ = edit->addAction("C&ut", this, &CQuillonDlg::ClearSelection);
    cutAction_->setShortcut(QKeySequence::Delete);
    selectAllAction_ = edit->addAction("Select &All", this, [this] {
        selectedLook_ = true;
        selectionIcon_->setFrameStyle(QFrame::Box);
        UpdateEditMenu();
    });
    edit->addSeparator();
    edit->addAction("&Settings...", this, &CQuillonDlg::OpenSettings);
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&About Quillon...", this, &CQuillonDlg::ShowAbout);
    help->addAction("&Open User's Guide", this, &CQuillonDlg::OpenUserGuide);
}

QWidget* CQuillonDlg::BuildCentralWidget() {
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);

    auto* selectionRow = new QHBoxLayout;
    selectionIcon_ = new QLabel;
    selectionIcon_->setFixedSize(36, 36);
    selectionIcon_->setAlignment(Qt::AlignCenter);
    selectionName_ = new ElidedLabel;
    selectionName_->setStyleSheet("font-weight: 700; font-size: 12px;");
    selectionRow->addWidget(selectionIcon_);
    selectionRow->addWidget(selectionName_, 1);
    layout->addLayout(selectionRow);

    instruction_ = new QLabel(
        "To validate and optimize web site files, drop a folder or file here or select "
        "'Optimize' from the File menu.");
    instruction_->setWordWrap(true);
    instruction_->setStyleSheet(kCodeColour);
    layout->addWidget(instruction_);
    copyNote_ =
        new QLabel("Quillon makes an optimized copy.\nYour original files are not modified.");
    layout->addWidget(copyNote_);

    auto* current = new QGridLayout;
    folderIcon_ = new QLabel;
    fileIcon_ = new QLabel;
    currentFile_ = ReadOnlyField();
    typeLabel_ = ReadOnlyField();
    percent_ = new QLabel;
    percent_->setStyleSheet(kCodeColour);
    destination_ = ReadOnlyField();
    current->addWidget(folderIcon_, 0, 0);
    current->addWidget(destination_, 0, 1, 1, 2);
    current->addWidget(fileIcon_, 1, 0);
    current->addWidget(currentFile_, 1, 1);
    current->addWidget(typeLabel_, 1, 2);
    current->setColumnStretch(1, 1);
    layout->addLayout(current);
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    separator_ = line;
    layout->addWidget(separator_);

    progress_ = new QProgressBar;
    progress_->setRange(0, 100);
    progress_->setValue(0);
    layout->addWidget(progress_);
    status_ = ReadOnlyField();
    layout->addWidget(status_);

    auto* savedRow = new QHBoxLayout;
    bytesSaved_ = ReadOnlyField();
    bytesSaved_->setAlignment(Qt::AlignRight);
    QFont big = bytesSaved_->font();
    big.setPixelSize(27);
    bytesSaved_->setFont(big);
    bytesSavedLabel_ = new QLabel("bytes saved");
    savedRow->addWidget(bytesSaved_, 1);
    savedRow->addWidget(bytesSavedLabel_);
    savedRow->addWidget(percent_);
    layout->addLayout(savedRow);

    auto* buttons = new QHBoxLayout;
    pauseButton_ = new QPushButton("P&ause");
    settingsButton_ = new QPushButton("&Settings");
    processButton_ = new QPushButton("&Process");
    helpButton_ = new QPushButton;
    buttons->addWidget(pauseButton_);
    buttons->addStretch();
    buttons->addWidget(settingsButton_);
    buttons->addWidget(processButton_);
    buttons->addWidget(helpButton_);
    layout->addLayout(buttons);
    connect(pauseButton_, &QPushButton::clicked, this, &CQuillonDlg::OnPauseButton);
    connect(settingsButton_, &QPushButton::clicked, this, &CQuillonDlg::OnSettingsButton);
    connect(processButton_, &QPushButton::clicked, this, &CQuillonDlg::OnProcessButton);

    help_ = new HelpPane(paths_.HelpFolder());
    layout->addWidget(help_);
    help_->AttachToggle(helpButton_, [this] { FitToContents(this); });
    central->setMinimumWidth(440);
    return central;
}

void CQuillonDlg::CreateRunObjects() {
    if (!processor_) {
        processor_ = std::make_unique<CFileProcessor>(settings_, *view_, paths_.TempFolder());
    }
    if (!worker_) {
        worker_ = std::make_unique<CWorker>(settings_, *view_, paths_);
    }
    worker_->SetProcessor(processor_.get());
}

// The worker may still be asking about the error log or opening the report after it posted the
// end of the run; its questions are answered here while we wait for it.
void CQuillonDlg::DestroyRunObjects() {
    if (processor_) {
        processor_->Cancel();
    }
    // The events handled here may end the run and destroy the objects themselves.
    while (worker_) {
        view_->EndClosed();  // a question held for the end of the run would wait forever
        worker_->Resume();
        if (worker_->Idle()) {
            worker_.reset();
            break;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(2);
    }
    processor_.reset();  // writes the lifetime statistics
}

void CQuillonDlg::SetSelection(const QString& path) {
    selection_ = QFileInfo(path).absoluteFilePath();
    selectedLook_ = false;
    selectionIcon_->setFrameStyle(QFrame::NoFrame);
    static const QFileIconProvider provider;
    selectionIcon_->setPixmap(provider.icon(QFileInfo(selection_)).pixmap(32, 32));
    const std::string displayName = DisplayName(selection_.toStdString());
    paths_.SetReportName(displayName);
    view_->Update([](RunDisplay& display) { display.selectionText.clear(); });
    Refresh();
    UpdateEditMenu();
}

// While a run goes on the selection stays: the run names its report after it.
void CQuillonDlg::SelectPath(const QString& path) {
    if (path.isEmpty() || running_) {
        return;
    }
    if (!selection_.isEmpty()) {
        const QString current = QString::fromStdString(DisplayName(selection_.toStdString()));
        if (!prompts_.OkCancel(
                this, QString("Replace current the current selection - %1 ?").arg(current))) {
            return;
        }
    }
    SetSelection(path);
}

void CQuillonDlg::SelectDropped(const QList<QUrl>& urls) {
    if (running_) {
        return;
    }
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        prompts_.Message(this, "Please drop only a single file or folder onto the application.",
                         MessageIcon::kWarning);
        return;
    }
    SelectPath(urls.front().toLocalFile());
}

void CQuillonDlg::ClearSelection() {
    if (running_) {
        return;
    }
    selectedLook_ = false;
    selection_.clear();
    selectionIcon_->clear();
    selectionIcon_->setFrameStyle(QFrame::NoFrame);
    paths_.SetReportName("");
    Refresh();
    UpdateEditMenu();
}

void CQuillonDlg::OptimizeDirectory() {
    if (running_) {
        return;
    }
    SelectPath(prompts_.ChooseFolder(this, "Please select a folder for Quillon to optimize."));
}

void CQuillonDlg::OptimizeFile() {
    if (running_) {
        return;
    }
    SelectPath(prompts_.ChooseFile(this, "Please select a file for Quillon to optimize",
                                   "HTML Files (*.html *.htm);;JPEG Files (*.jpeg *.jpg);;"
                                   "GIF Files (*.gif);;All Files (*)"));
}

void CQuillonDlg::OnProcessButton() {
    if (running_) {
        QuitRun();
        return;
    }
    if (selection_.isEmpty()) {
        prompts_.Message(this,
                         "Please select a file or folder before pressing the 'Process' button.",
                         MessageIcon::kWarning);
        return;
    }
    savedSelection_ = selection_;
    CreateRunObjects();
    running_ = true;
    view_->Update([](RunDisplay& display) {
        display.stopped = false;
        display.revertEnabled = false;
    });
    compressOriginals_ = settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) != 0;
    SetRunningLayout(true);
    settingsButton_->setText("&Revert");
    processButton_->setText("&Quit");
    settingsButton_->setEnabled(false);
    worker_->PostStartRun(selection_.toStdString());
}

// Quit: the pipeline stops at its next checkpoint; the end of the run shows no results.
void CQuillonDlg::QuitRun() {
    view_->Update([](RunDisplay& display) { display.stopped = true; });
    running_ = false;
    processor_->Cancel();
    paused_ = false;
    worker_->Resume();
    SetRunningLayout(false);
    SetIdleButtons();
}

void CQuillonDlg::OnSettingsButton() {
    if (!running_) {
        OpenSettings();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    worker_->Revert();
    QApplication::restoreOverrideCursor();
    QuitRun();
}

void CQuillonDlg::OpenSettings() {
    COptionsDlg dialog(settings_, prompts_, paths_.DesktopFolder(), paths_.HelpFolder(), this);
    if (dialog.exec() == QDialog::Accepted) {
        UpdateCopyNote();
        SaveSettings();
    }
}

void CQuillonDlg::SaveSettings() {
    if (!settings_.Sync()) {
        prompts_.Message(this, QString::fromStdString(settings_.SyncError()), MessageIcon::kStop);
    }
}

void CQuillonDlg::OnPauseButton() {
    if (!running_ || !worker_) {
        return;
    }
    paused_ = !paused_;
    pauseButton_->setText(paused_ ? "Res&ume" : "P&ause");
    if (paused_) {
        worker_->Pause();
    } else {
        worker_->Resume();
    }
}

void CQuillonDlg::OpenUserGuide() {
    const QString guide = QString::fromStdString(paths_.ManualPath().string());
    prompts_.OpenDocument({}, guide, [window = QPointer<CQuillonDlg>(this), guide] {
        if (window) {
            window->prompts_.Message(
                window,
                "Unable to locate a viewer for PDF files on your computer.\n\nThe guide is\n\n\t" +
                    guide,
                MessageIcon::kWarning);
        }
    });
}

void CQuillonDlg::ShowAbout() {
    prompts_.Message(this, "Quillon 2.0\n\nMakes web sites smaller and faster to download.",
                     MessageIcon::kInformation);
}

// Shows the display fields as the run left them.
void CQuillonDlg::Refresh() {
    const RunDisplay display = view_->Snapshot();
    status_->setText(QString::fromStdString(display.status));
    currentFile_->setText(QString::fromStdString(display.currentFile));
    typeLabel_->setText(QString::fromStdString(display.typeLabel));
    SetElidedText(destination_, DestinationText(display));
    bytesSaved_->setText(QString::fromStdString(display.bytesSavedText));
    percent_->setText(QString::fromStdString(display.percentText));
    if (running_ && !display.selectionText.empty()) {
        const QString folder = QString::fromStdString(display.selectionText);
        selectionName_->SetFullText(folder, folder);
    } else {
        selectionName_->SetFullText(QString::fromStdString(DisplayName(selection_.toStdString())),
                                    QDir::toNativeSeparators(selection_));
    }
    if (display.busy) {
        progress_->setRange(0, 0);
    } else {
        progress_->setRange(0, 100);
        if (display.filesTotal != 0) {
            progress_->setValue(
                static_cast<int>(std::uint64_t{display.filesDone} * 100 / display.filesTotal));
        }
    }
    if (running_) {
        folderIcon_->setPixmap(display.folderIcon.empty() ? QPixmap() : IconOf(display.folderIcon));
        fileIcon_->setPixmap(display.fileIcon.empty() ? QPixmap() : IconOf(display.fileIcon));
        settingsButton_->setEnabled(display.revertEnabled && !compressOriginals_);
    }
}

// The whole path of the copy (or, in place, of the selection) once the run knows it for sure:
// the label alone named only its last folder.
QString CQuillonDlg::DestinationText(const RunDisplay& display) const {
    const QString label = QString::fromStdString(display.destinationLabel);
    if (!running_ || !worker_ || label.isEmpty() ||
        !(compressOriginals_ || display.revertEnabled)) {
        return label;
    }
    return QDir::toNativeSeparators(QString::fromStdString(worker_->CopyRoot().string()));
}

void CQuillonDlg::OnRunDone() {
    ShowEnding();
    view_->EndClosed();
    running_ = false;
    paused_ = false;
    SetRunningLayout(false);
    SetIdleButtons();
    view_->Update([](RunDisplay& display) {
        display.folderIcon.clear();
        display.fileIcon.clear();
        display.bytesSavedText.clear();
        display.percentText.clear();
        display.errorsLogged = false;
        display.selectionText.clear();
        display.status = "Idle";
    });
    DestroyRunObjects();
    ReleaseFreedMemory();  // the window stays open: what the run kept for reuse goes back
    SaveSettings();        // the lifetime statistics
    selection_ = savedSelection_;
    Refresh();
    emit RunFinished();
}

void CQuillonDlg::ShowEnding() {
    const RunDisplay display = view_->Snapshot();
    if (display.ending) {
        if (!display.ending->empty()) {
            prompts_.Message(this, QString::fromStdString(*display.ending),
                             MessageIcon::kInformation);
        }
        return;
    }
    if (display.stopped) {
        return;
    }
    const RunResults results = ComputeResults(display.counters);
    if (results.saved) {
        const std::filesystem::path report = display.report;
        ResultsActions actions;
        actions.viewReport = [this] { OpenReport(settings_, paths_, *view_); };
        actions.openReportFolder = [this, report] {
            view_->OpenDocument({}, report.parent_path());
        };
        prompts_.ShowResults(this, results, QString::fromStdString(report.string()), actions);
    } else {
        prompts_.Message(this,
                         "No further compression is possible.\nThank you for using Quillon to "
                         "speed up your web site!",
                         MessageIcon::kInformation);
    }
}

void CQuillonDlg::SetIdleButtons() {
    settingsButton_->setText("&Settings");
    processButton_->setText("&Process");
    settingsButton_->setEnabled(true);
    pauseButton_->setText("P&ause");
}

void CQuillonDlg::SetRunningLayout(bool running) {
    instruction_->setVisible(!running);
    helpButton_->setVisible(!running);
    optimizeDirectoryAction_->setEnabled(!running);
    optimizeFileAction_->setEnabled(!running);
    UpdateCopyNote();
    if (running) {
        help_->SetExpanded(false);
    }
    QWidget* const runningOnly[] = {folderIcon_, fileIcon_,    currentFile_,     typeLabel_,
                                    percent_,    destination_, separator_,       progress_,
                                    status_,     bytesSaved_,  bytesSavedLabel_, pauseButton_};
    for (QWidget* widget : runningOnly) {
        widget->setVisible(running);
    }
    UpdateEditMenu();
    FitToContents(this);
}

void CQuillonDlg::UpdateCopyNote() {
    // Only a run that copies leaves the originals alone.
    copyNote_->setVisible(!running_ &&
                          settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) == 0);
}

// The selection stays while a run goes on, so Cut has nothing to do then.
void CQuillonDlg::UpdateEditMenu() {
    cutAction_->setEnabled(!selection_.isEmpty() && !running_);
    selectAllAction_->setEnabled(!selection_.isEmpty() && !selectedLook_);
}

void CQuillonDlg::dragEnterEvent(QDragEnterEvent* event) {
    const auto action = ReadingDropAction(event->mimeData(), event->possibleActions());
    if (action && !running_) {
        event->setDropAction(*action);
        event->accept();
    }
}

void CQuillonDlg::dropEvent(QDropEvent* event) {
    const auto action = ReadingDropAction(event->mimeData(), event->possibleActions());
    if (!action || running_) {
        event->ignore();
        return;
    }
    event->setDropAction(*action);
    event->accept();
    SelectDropped(event->mimeData()->urls());
}

void CQuillonDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction("Optimize &directory...", this, &CQuillonDlg::OptimizeDirectory)
        ->setEnabled(!running_);
    menu.addAction("Optimize &file...", this, &CQuillonDlg::OptimizeFile)->setEnabled(!running_);
    menu.exec(event->globalPos());
}

void CQuillonDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        ClearSelection();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void CQuillonDlg::closeEvent(QCloseEvent* event) {
    if (running_) {
        QuitRun();
    }
    DestroyRunObjects();
    ReleaseFreedMemory();  // the window stays open: what the run kept for reuse goes back
    SaveSettings();        // the lifetime statistics
    event->accept();
}

QString CQuillonDlg::StatusText() const {
    return status_->text();
}
QString CQuillonDlg::BytesSavedText() const {
    return bytesSaved_->text();
}

}  // namespace quillon
