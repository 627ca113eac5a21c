// The main window: select one folder or file, start, pause, quit or revert a run, and watch it.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>

#include "app/QtSettingsStore.h"
#include "pipeline/DerivedPaths.h"
#include "pipeline/FileProcessor.h"
#include "pipeline/Worker.h"
#include "ui/ElidedLabel.h"
#include "ui/Prompts.h"
#include "ui/WindowRunView.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QUrl;

namespace quillon {

class HelpPane;

class CQuillonDlg : public QMainWindow {
    Q_OBJECT

  public:
    // A non-empty startPath is selected as a drop would be, and its run starts at once.
    CQuillonDlg(QtSettingsStore& settings, DerivedPaths& paths, UserPrompts& prompts,
                const QString& startPath = {}, QWidget* parent = nullptr);
    ~CQuillonDlg() override;

    // The user's actions, as the menus, buttons and drops trigger them.
    void SelectPath(const QString& path);
    void SelectDropped(const QList<QUrl>& urls);
    void ClearSelection();
    void OptimizeDirectory();
    void OptimizeFile();
    void OnProcessButton();   // Process / Quit
    void OnSettingsButton();  // Settings / Revert
    void OnPauseButton();     // Pause / Resume
    void OpenSettings();      // the settings dialog, from the button or the Edit menu
    void OpenUserGuide();
    void ShowAbout();

    bool Running() const { return running_; }
    const QString& Selection() const { return selection_; }
    QPushButton* ProcessButton() const { return processButton_; }
    QPushButton* SettingsButton() const { return settingsButton_; }
    QPushButton* PauseButton() const { return pauseButton_; }
    QProgressBar* Progress() const { return progress_; }
    QLabel* CopyNote() const { return copyNote_; }
    QString StatusText() const;
    QString BytesSavedText() const;
    // For tests: a call of the run (the error-log question, say) waits for the end of the run to
    // be closed.
    bool RunCallWaiting() const { return view_->CallWaiting(); }

  signals:
    // The end of a run has been handled: results shown, the window idle again.
    void RunFinished();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    QWidget* BuildCentralWidget();
    void Refresh();
    void OnRunDone();
    // The results, the no-compression message or why the run ended early; nothing after Quit.
    void ShowEnding();
    QString DestinationText(const RunDisplay& display) const;
    void SetRunningLayout(bool running);
    void SetIdleButtons();
    void UpdateEditMenu();
    void QuitRun();
    void CreateRunObjects();
    void DestroyRunObjects();
    void SetSelection(const QString& path);
    // Shows the note that the originals stay as they are only when a run would copy them.
    void UpdateCopyNote();
    // Writes the settings and statistics out; a failure is shown, naming the file and why.
    void SaveSettings();

    QtSettingsStore& settings_;
    DerivedPaths& paths_;
    UserPrompts& prompts_;
    std::unique_ptr<WindowRunView> view_;
    std::unique_ptr<CFileProcessor> processor_;
    std::unique_ptr<CWorker> worker_;

    QString selection_;
    QString savedSelection_;
    bool running_ = false;
    bool paused_ = false;
    bool compressOriginals_ = false;
    bool selectedLook_ = false;

    QLabel* selectionIcon_ = nullptr;
    ElidedLabel* selectionName_ = nullptr;
    QLabel* instruction_ = nullptr;
    QLabel* copyNote_ = nullptr;
    QLabel* folderIcon_ = nullptr;
    QLabel* fileIcon_ = nullptr;
    QLineEdit* currentFile_ = nullptr;
    QLineEdit* typeLabel_ = nullptr;
    QLabel* percent_ = nullptr;
    QLineEdit* destination_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLineEdit* status_ = nullptr;
    QLineEdit* bytesSaved_ = nullptr;
    QLabel* bytesSavedLabel_ = nullptr;
    QWidget* separator_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* settingsButton_ = nullptr;
    QPushButton* processButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    HelpPane* help_ = nullptr;
    QAction* optimizeDirectoryAction_ = nullptr;
    QAction* optimizeFileAction_ = nullptr;
    QAction* cutAction_ = nullptr;
    QAction* selectAllAction_ = nullptr;
};

}  // namespace quillon
