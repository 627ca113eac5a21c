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

// More backups of one file than anyone keeps by choice: something else is wrong.
constexpr int kMaxBackups = 9999;

std::string BackupName(const std::string& path, int number) {
    const std::string suffix(kBackupSuffix);
    return number == 1 ? path + "." + suffix : path + "." + std::to_string(number) + "." + suffix;
}

enum class BackupState { kFree, kSameBytes, kOtherBytes };

// Whether a backup name is free, or already keeps the original's bytes. Anything but a regular
// file (a link, which must never be written through, a folder) counts as taken by other bytes.
BackupState ExistingBackup(const std::string& backup, const FileBuffer& original) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(backup, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return BackupState::kFree;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        return BackupState::kOtherBytes;
    }
    const FileBuffer kept = ReadWholeFile(backup);
    const bool same = kept && kept.size == original.size &&
                      std::memcmp(kept.data.get(), original.data.get(), original.size) == 0;
    return same ? BackupState::kSameBytes : BackupState::kOtherBytes;
}

}  // namespace

CFileProcessor::CFileProcessor(SettingsStore& settings, RunView& view,
                               const std::filesystem::path& tempFolder)
    : settings_(settings),
      view_(view),
      logs_(tempFolder),
      lifetime_(LifetimeStatistics::Load(settings)),
      gifStage_(OptimizeGif) {}

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
    // A cancel that came while the list was built or copied holds: the run stops at once.
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

    while (!files_.empty() && !cancelRequested_) {
        ProcessNext();
    }
    files_.clear();
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
    currentStamp_ = buffer.stamp;
    if (CheckCancel()) {
        return;
    }

    const std::optional<std::uint32_t> staged = RunStage(fileClass, path, buffer, inlineJavaScript);
    const std::uint32_t size = staged.value_or(currentSize_);
    // The figures count what reached the disk: a file is counted once its new bytes are in place,
    // or as unchanged when nothing was gained.
    if (size < currentSize_) {
        ReplaceFile(path, buffer.data.get(), size);
    }
    if (size < currentSize_) {
        CountSaving(size);
    }
    if (staged) {
        CountFile(fileClass, size);
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

std::optional<std::uint32_t> CFileProcessor::RunStage(FileClass fileClass, const std::string& path,
                                                      FileBuffer& buffer, bool inlineJavaScript) {
    switch (fileClass) {
        case FileClass::kGif:
            return RunGifStage(path, buffer);
        case FileClass::kJpeg:
            return RunJpegStage(buffer);
        case FileClass::kWebPage:
            return RunPageStages(buffer, inlineJavaScript);
        case FileClass::kNone:
            break;
    }
    return std::nullopt;
}

// The new bytes take the front of the file's buffer: they are fewer than the file's.
std::optional<std::uint32_t> CFileProcessor::RunGifStage(const std::string& path,
                                                         FileBuffer& buffer) {
    // The second gate is written by no settings page; it stays 1 unless set by hand.
    if (!gifStage_ || settings_.GetInt(section::kGif, key::kEnableGifStage, 1) != 1) {
        return std::nullopt;
    }
    SetStatus("Analyzing data for application segments...");
    const GifStageResult result = gifStage_({buffer.data.get(), buffer.size}, this);
    for (const GifStageNote& note : result.notes) {
        WriteErrorLog(ErrorLogEntry(note.action, path, note.reason));
    }
    if (result.bytes.empty() || result.bytes.size() >= buffer.size) {
        return buffer.size;
    }
    std::memcpy(buffer.data.get(), result.bytes.data(), result.bytes.size());
    // No cancel check here: the smaller file is written, counted and logged before the run stops
    // after it.
    return static_cast<std::uint32_t>(result.bytes.size());
}

std::optional<std::uint32_t> CFileProcessor::RunJpegStage(FileBuffer& buffer) {
    std::uint32_t size = buffer.size;
    if (settings_.GetInt(section::kJpeg, key::kEnableJpeg, 1) != 1) {
        return std::nullopt;
    }
    SetStatus("Analyzing data for application segments...");
    StripJpegSegments(buffer.data.get(), size);
    if (CheckCancel()) {
        throw RunSignal::kCancel;
    }
    return size;
}

bool PageGoesThroughChain(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || std::memchr(data, 0, size) != nullptr) {
        return false;
    }
    const std::uint8_t* const end = data + size;
    // Bound: p moves past a `<` every round and stops at the end.
    for (const std::uint8_t* p = data; p < end; ++p) {
        p = static_cast<const std::uint8_t*>(
            std::memchr(p, '<', static_cast<std::size_t>(end - p)));
        if (p == nullptr || end - p < 2) {
            return false;
        }
        const std::uint8_t next = p[1];
        if ((next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '/' ||
            next == '!' || next == '?') {
            return true;
        }
    }
    return false;
}

std::uint32_t CFileProcessor::RunPageStages(FileBuffer& buffer, bool inlineJavaScript) {
    TextLength length = static_cast<TextLength>(buffer.size);
    if (PageGoesThroughChain(buffer.data.get(), buffer.size)) {
        length = RunPageChain(buffer.data.get(), length, settings_, inlineJavaScript, this);
    }
    return static_cast<std::uint32_t>(length);
}

void CFileProcessor::CountFile(FileClass fileClass, std::uint32_t newSize) {
    const std::uint32_t before = currentSize_;
    view_.Update([fileClass, before, newSize](RunDisplay& display) {
        TypeFigures* figures = fileClass == FileClass::kGif    ? &display.counters.gifs
                               : fileClass == FileClass::kJpeg ? &display.counters.jpegs
                                                               : &display.counters.pages;
        ++figures->files;
        figures->bytesBefore += before;
        figures->bytesAfter += newSize;
    });
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

void CFileProcessor::ReplaceFile(const std::string& path, const std::uint8_t* data,
                                 std::uint32_t size) {
    SetStatus("Updating file...");
    BackupFile(path);
    // Originals are flushed to the disk before they are replaced; copies need not be, since a
    // crash cannot lose what the source tree still holds.
    const bool inPlace = settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) != 0;
    WriteOptions options;
    options.durability = inPlace ? Durability::kFlushed : Durability::kCached;
    options.unchangedSince = &currentStamp_;
    std::string failure;
    if (!WriteWholeFile(path, data, size, options, &failure)) {
        WriteErrorLog(ErrorLogEntry("write file", path, failure));
        throw RunSignal::kFileError;
    }
}

// A backup never replaces another: the first is NAME.BAK and holds the oldest original; when the
// file changes again and its bytes are in no backup yet, they go to NAME.2.BAK, NAME.3.BAK, ...
void CFileProcessor::BackupFile(const std::string& path) {
    if (settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) == 0 ||
        settings_.GetInt(section::kDestination, key::kBackupFiles, 1) == 0) {
        return;
    }
    std::string failure;
    const FileBuffer original = ReadWholeFile(path, &failure);
    if (original && original.stamp != currentStamp_) {
        failure = kChangedDuringRun;
    }
    for (int number = 1; failure.empty() && number <= kMaxBackups; ++number) {
        const std::string backup = BackupName(path, number);
        const BackupState state = ExistingBackup(backup, original);
        if (state == BackupState::kSameBytes) {
            return;
        }
        if (state == BackupState::kOtherBytes) {
            continue;
        }
        WriteOptions options;
        options.attributesFrom = path;
        options.createOnly = true;
        if (WriteWholeFile(backup, original.data.get(), original.size, options, &failure)) {
            return;
        }
        std::error_code error;
        if (std::filesystem::symlink_status(backup, error).type() !=
            std::filesystem::file_type::not_found) {
            failure.clear();  // taken in the meantime: the next name
        }
    }
    WriteErrorLog(
        ErrorLogEntry("back up file", path, failure.empty() ? "no free backup name" : failure));
    throw RunSignal::kFileError;
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
