#include "pipeline/FileProcessor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "BxCode/BxErrorCode.h"
#include "imageopt/GifOptimizer.h"
#include "imageopt/JpegOptimizer.h"
#include "pipeline/Results.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

// The key under which a path is listed. Where the file system tells case apart, Index.html and
// index.html are two files; where it does not, they are one.
std::string ListKey(std::string_view path) {
    std::string listKey(path);
#ifdef _WIN32
    std::transform(listKey.begin(), listKey.end(), listKey.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
#endif
    return listKey;
}

// A file optimized down to nothing counts no saving.
std::uint32_t SavingFrom(std::uint32_t sizeBefore, std::uint32_t sizeAfter) {
    const std::uint32_t kept = std::min(sizeAfter, sizeBefore);
    return (kept == 0 || sizeBefore == 0) ? 0 : sizeBefore - kept;
}

void AddBefore(TypeFigures& figures, std::uint32_t size) {
    ++figures.files;
    figures.bytesBefore += size;
}

}  // namespace

CFileProcessor::CFileProcessor(SettingsStore& settings, RunView& view,
                               const std::filesystem::path& tempFolder)
    : settings_(settings),
      view_(view),
      logs_(tempFolder),
      lifetime_(LifetimeStatistics::Load(settings)),
      gifStage_([](CFileProcessor& processor, const std::string& path, std::uint32_t size) {
          return OptimizeGifFile(processor, path, size);
      }) {}

CFileProcessor::~CFileProcessor() {
    logs_.CloseLog();
    logs_.CloseErrorLog();
    lifetime_.Store(settings_);
}

void CFileProcessor::AddFile(std::string_view path) {
    if (listed_.insert(ListKey(path)).second) {
        files_.emplace_back(path);
    }
}

void CFileProcessor::ProcessList() {
    if (running_) {
        return;
    }
    cancelRequested_ = false;
    view_.Update([this](RunDisplay& display) {
        display.filesTotal = static_cast<std::uint32_t>(files_.size());
        display.filesDone = 0;
    });
    if (files_.empty()) {
        return;
    }
    runBytesSaved_ = 0;
    runBytesBefore_ = 0;
    view_.SendProgress();
    running_ = true;
    logs_.CloseLog();  // the first file opens a fresh log

    while (!files_.empty()) {
        ProcessNext();
        if (cancelRequested_) {
            files_.clear();
            cancelRequested_ = false;
            break;
        }
    }
    listed_.clear();
    logs_.CloseLog();
    view_.Update([](RunDisplay& display) { display.currentFile.clear(); });
    running_ = false;
    SetStatus("Optimization Complete");
}

// Takes the first listed file and processes it. A file that fails is abandoned and the run goes
// on; a cancel leaves the flag set for the list loop.
void CFileProcessor::ProcessNext() {
    const std::string path = std::move(files_.front());
    files_.pop_front();
    // Whatever a stage throws ends this file only; the file is then as it was, and the error log
    // says why. Write failures are logged where they happen, with their reason.
    try {
        ProcessFile(path);
    } catch (RunSignal signal) {
        if (signal == RunSignal::kCancel) {
            cancelRequested_ = true;
        } else if (signal == RunSignal::kOutOfMemory) {
            WriteErrorLog(ErrorLogEntry("optimize file", path, "out of memory"));
        }
    } catch (const BxErrorCode& error) {
        WriteErrorLog(ErrorLogEntry("optimize file", path, BxErrorText(error.Code())));
    } catch (const std::bad_alloc&) {
        WriteErrorLog(ErrorLogEntry("optimize file", path, "out of memory"));
    } catch (const std::exception& error) {
        WriteErrorLog(ErrorLogEntry("optimize file", path, error.what()));
    } catch (...) {
        WriteErrorLog(ErrorLogEntry("optimize file", path, "unexpected failure"));
    }
}

void CFileProcessor::ProcessFile(const std::string& path) {
    logs_.OpenLog();
    logs_.OpenErrorLog();
    const bool jpegs = settings_.GetInt(section::kJpeg, key::kEnableJpeg, 0) != 0;
    const bool inlineJavaScript = settings_.GetInt(section::kJava, key::kEnableJava, 0) != 0;
    const bool pages = settings_.GetInt(section::kHtml, key::kEnableHtml, 0) != 0;
    const bool gifs = settings_.GetInt(section::kGif, key::kEnableGif, 0) != 0;

    view_.Update([](RunDisplay& display) { ++display.filesDone; });
    view_.SendProgress();

    if (EndsWithNoCase(path, kBackupSuffix)) {
        CheckCancel();
        return;
    }
    const FileClass fileClass = ClassifyPath(path);
    if (!ClassEnabled(fileClass, pages, gifs, jpegs)) {
        return;
    }
    currentSaving_ = 0;
    ++lifetime_.filesProcessed;
    ShowFile(path, fileClass);

    SetStatus("Reading file...");
    std::string unreadable;
    FileBuffer buffer = ReadWholeFile(path, &unreadable);
    if (!buffer) {
        // An empty file has nothing to lose and is skipped silently; any other is named.
        if (!unreadable.empty()) {
            WriteErrorLog(ErrorLogEntry("read file", path, unreadable));
        }
        return;
    }
    currentSize_ = buffer.size;
    if (CheckCancel()) {
        return;
    }

    std::uint32_t size = currentSize_;
    switch (fileClass) {
        case FileClass::kGif:
            size = RunGifStage(path, size);
            break;
        case FileClass::kJpeg:
            size = RunJpegStage(buffer);
            break;
        case FileClass::kWebPage:
            size = RunPageStages(buffer, inlineJavaScript);
            break;
        case FileClass::kNone:
            break;
    }
    if (size < currentSize_) {
        CountSaving(size);
        SetStatus("Updating file...");
        // The GIF stage has replaced its file already, taking the backup just before.
        if (fileClass != FileClass::kGif) {
            ReplaceFile(path, buffer, size);
        }
    }
    logs_.WriteFileLine(path, currentSize_, size);
    buffer = {};
    CheckCancel();
}

bool CFileProcessor::ClassEnabled(FileClass fileClass, bool pages, bool gifs, bool jpegs) const {
    switch (fileClass) {
        case FileClass::kWebPage:
            return pages;
        case FileClass::kGif:
            return gifs;
        case FileClass::kJpeg:
            return jpegs;
        case FileClass::kNone:
            break;
    }
    return false;
}

void CFileProcessor::ShowFile(const std::string& path, FileClass fileClass) {
    const std::filesystem::path file(path);
    const std::filesystem::path folder = file.parent_path();
    view_.Update([&](RunDisplay& display) {
        display.selectionText = folder.filename().string();
        display.currentFile = file.filename().string();
        display.typeLabel = TypeLabel(fileClass);
        display.folderIcon = folder;
        display.fileIcon = file;
    });
}

std::uint32_t CFileProcessor::RunGifStage(const std::string& path, std::uint32_t size) {
    // The second gate is written by no settings page; it stays 1 unless set by hand.
    if (!gifStage_ || settings_.GetInt(section::kGif, key::kEnableGifStage, 1) != 1) {
        return size;
    }
    view_.Update([size](RunDisplay& display) { AddBefore(display.counters.gifs, size); });
    SetStatus("Analyzing data for application segments...");
    size = gifStage_(*this, path, size);
    if (CheckCancel()) {
        throw RunSignal::kCancel;
    }
    view_.Update([size](RunDisplay& display) { display.counters.gifs.bytesAfter += size; });
    return size;
}

std::uint32_t CFileProcessor::RunJpegStage(FileBuffer& buffer) {
    std::uint32_t size = buffer.size;
    if (settings_.GetInt(section::kJpeg, key::kEnableJpeg, 1) != 1) {
        return size;
    }
    view_.Update([size](RunDisplay& display) { AddBefore(display.counters.jpegs, size); });
    SetStatus("Analyzing data for application segments...");
    StripJpegSegments(buffer.data.get(), size);
    if (CheckCancel()) {
        throw RunSignal::kCancel;
    }
    view_.Update([size](RunDisplay& display) { display.counters.jpegs.bytesAfter += size; });
    return size;
}

std::uint32_t CFileProcessor::RunPageStages(FileBuffer& buffer, bool inlineJavaScript) {
    const std::uint32_t size = buffer.size;
    view_.Update([size](RunDisplay& display) { AddBefore(display.counters.pages, size); });
    TextLength length = static_cast<TextLength>(size);
    // A 0 byte means the file is not 8-bit text (UTF-16, or a binary file with a page's name).
    // The passes treat 0 as a deleted byte and would corrupt it, so it stays as it is.
    if (std::memchr(buffer.data.get(), 0, size) == nullptr) {
        length = RunPageChain(buffer.data.get(), length, settings_, inlineJavaScript, this);
    }
    view_.Update([length](RunDisplay& display) {
        display.counters.pages.bytesAfter += static_cast<std::uint32_t>(length);
    });
    return static_cast<std::uint32_t>(length);
}

void CFileProcessor::OnCheckpoint() {
    if (CheckCancel()) {
        throw RunSignal::kCancel;
    }
}

void CFileProcessor::CountSaving(std::uint32_t newSize) {
    currentSaving_ = SavingFrom(currentSize_, newSize);
    runBytesSaved_ += currentSaving_;
    runBytesBefore_ += currentSize_;
    view_.Update([this](RunDisplay& display) {
        display.bytesSavedText = std::to_string(runBytesSaved_);
        if (runBytesBefore_ != 0) {
            display.percentText = FormatPercent(runBytesSaved_ * 100.0 / runBytesBefore_);
        }
    });
    view_.SendProgress();
    lifetime_.bytesSaved += currentSaving_;
}

void CFileProcessor::ReplaceFile(const std::string& path, const FileBuffer& buffer,
                                 std::uint32_t size) {
    BackupFile(path);
    // Originals are flushed to the disk before they are replaced; copies need not be, since a
    // crash cannot lose what the source tree still holds.
    const bool inPlace = settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) != 0;
    std::string failure;
    if (!WriteWholeFile(path, buffer.data.get(), size,
                        inPlace ? Durability::kFlushed : Durability::kCached, &failure)) {
        WriteErrorLog(ErrorLogEntry("write file", path, failure));
        throw RunSignal::kFileError;
    }
}

void CFileProcessor::BackupFile(const std::string& path) {
    if (settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) == 0 ||
        settings_.GetInt(section::kDestination, key::kBackupFiles, 1) == 0) {
        return;
    }
    std::string failure;
    const FileBuffer original = ReadWholeFile(path, &failure);
    const std::string backup = path + "." + std::string(kBackupSuffix);
    if (!original || !WriteWholeFile(backup, original.data.get(), original.size,
                                     Durability::kFlushed, &failure)) {
        WriteErrorLog(ErrorLogEntry("back up file", path, failure));
        throw RunSignal::kFileError;
    }
}

bool CFileProcessor::CheckCancel() {
    if (messagePump_) {
        messagePump_();
    }
    return cancelRequested_;
}

void CFileProcessor::Cancel() {
    cancelRequested_ = true;
}

void CFileProcessor::SetStatus(std::string_view text) {
    view_.Update([text](RunDisplay& display) { display.status = text; });
    view_.PostProgress();
}

void CFileProcessor::WriteErrorLog(std::string_view text) {
    logs_.WriteErrorLog(text);
    view_.Update([](RunDisplay& display) { display.errorsLogged = true; });
}

}  // namespace quillon
