// What a run shows to its front end (the window or the command line), and how it tells the front
// end that something changed.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "pipeline/FileClass.h"

namespace quillon {

// Files and bytes of one file type over a run.
struct TypeFigures {
    std::uint32_t files = 0;
    std::uint32_t bytesBefore = 0;
    std::uint32_t bytesAfter = 0;
};

// The run's counters per file type, read by the report and the results summary.
struct TypeCounters {
    std::array<TypeFigures, kFileKindCount> kinds;  // in the order of FileKinds()
    TypeFigures& Of(FileClass fileClass) { return kinds[Slot(fileClass)]; }
    const TypeFigures& Of(FileClass fileClass) const { return kinds[Slot(fileClass)]; }

  private:
    static std::size_t Slot(FileClass fileClass);
};

// The fields a run writes for display.
struct RunDisplay {
    std::string status;
    std::string selectionText;  // the folder of the current file while a run goes on
    std::string currentFile;
    std::string typeLabel;
    std::string destinationLabel;
    std::string bytesSavedText;
    std::string percentText;
    std::uint32_t filesDone = 0;
    std::uint32_t filesTotal = 0;
    // The last file whose work ended, with filesDone counting it; empty when the last file
    // counted was passed over (a backup, or a kind that is turned off). Several files are worked
    // on at once, so this is not always currentFile.
    std::filesystem::path fileDone;
    std::filesystem::path folderIcon;  // shown with the folder's icon
    std::filesystem::path fileIcon;    // shown with the file's icon
    bool busy = false;                 // the file list is being built and copied
    bool revertEnabled = false;        // copy mode, once the copy is complete
    bool stopped = false;              // the user quit the run, or it was abandoned
    bool errorsLogged = false;
    TypeCounters counters;
    // The report this run wrote; empty when it wrote none or could not write it.
    std::filesystem::path report;
    // Set when the run ended before it optimized anything: what the front end says in place of
    // the results, or an empty text when a message has told why already.
    std::optional<std::string> ending;
};

// The answers to "Destination Exists".
enum class ExistsAnswer { kReplace, kModify, kCancel };

// The front end's side of a run. The worker writes the display fields through Update and the
// front end reads them through Snapshot; one lock guards both, so a refresh never sees half an
// update.
class RunView {
  public:
    virtual ~RunView() = default;

    template <typename Change>
    void Update(Change&& change) {
        std::lock_guard lock(mutex_);
        change(display_);
    }
    RunDisplay Snapshot() const {
        std::lock_guard lock(mutex_);
        return display_;
    }

    // The display changed and the worker waits until the front end has refreshed: used for the
    // counters, so the progress shown never runs behind the work.
    virtual void SendProgress() = 0;
    // The display changed; returns at once (status texts).
    virtual void PostProgress() = 0;
    // The run ended or was abandoned; returns at once. The worker may still ask about the error
    // log and open the report afterwards.
    virtual void PostRunDone() = 0;

    // The run's questions and messages. The worker asks them on its own thread and waits for
    // the answer; the front end answers each in its own way (a dialog, a terminal, a script).

    // The folder chooser, titled `title`: the chosen folder, or nothing when cancelled.
    virtual std::optional<std::string> ChooseFolder(std::string_view title) = 0;
    virtual ExistsAnswer AskDestinationExists(std::string_view text) = 0;
    // A message with an OK button.
    virtual void ShowMessage(std::string_view text) = 0;
    // A Yes/No question with the stop icon; true for Yes.
    virtual bool AskYesNo(std::string_view text) = 0;
    // Opens the document: with the given program (as its one argument, never through a shell),
    // or, when program is empty, with the program the desktop associates with it.
    virtual void OpenDocument(const std::filesystem::path& program,
                              const std::filesystem::path& document) = 0;

  private:
    mutable std::mutex mutex_;
    RunDisplay display_;
};

}  // namespace quillon
