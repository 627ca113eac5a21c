// What a run shows to its front end (the window or the command line), and how it tells the front
// end that something changed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

namespace quillon {

// Files and bytes of one file type over a run.
struct TypeFigures {
    std::uint32_t files = 0;
    std::uint32_t bytesBefore = 0;
    std::uint32_t bytesAfter = 0;
};

// The run's counters per file type, read by the report and the results summary.
struct TypeCounters {
    TypeFigures pages;
    TypeFigures gifs;
    TypeFigures jpegs;
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
    std::filesystem::path folderIcon;  // shown with the folder's icon
    std::filesystem::path fileIcon;    // shown with the file's icon
    bool stopped = false;
    bool errorsLogged = false;
    TypeCounters counters;
};

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

  private:
    mutable std::mutex mutex_;
    RunDisplay display_;
};

}  // namespace quillon
