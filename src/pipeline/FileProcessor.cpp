#include "pipeline/FileProcessor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <future>
#include <limits>
#include <memory>
#include <new>
#include <thread>

#include "BxCode/BxErrorCode.h"
#include "pipeline/Results.h"
#include "pipeline/SettingsKeys.h"
#include "pipeline/WorkPool.h"

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

// How many files may be in the pool's hands per thread, waiting, worked on or finished and
// waiting for those before them to be taken in. A finished file holds only its outcome, a few
// hundred bytes, so the figure is high: at a few milliseconds a page, the other threads go on
// through small files for seconds while one works on a large picture. At 64 they ran dry in a
// third of a second and waited, and two threads were barely faster than one.
constexpr std::size_t kFilesHeldPerThread = 1024;

std::uint64_t WeightOf(const std::string& path, const FileKind& kind) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        return 0;
    }
    const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() / kind.memoryPerByte;
    return std::min<std::uint64_t>(size, limit) * kind.memoryPerByte;
}

// Copies `from` to `to`; the error-log entry when that fails, else nothing.
std::string CopyFailure(const std::string& from, const std::string& to) {
    const std::error_code error = CopyWholeFile(from, to);
    return error ? ErrorLogEntry("copy file", from, error.message()) : std::string();
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

unsigned FilesAtOnce(const SettingsStore& settings) {
    const int chosen = settings.GetInt(section::kDestination, key::kFilesAtOnce, 0);
    const unsigned count =
        chosen > 0 ? static_cast<unsigned>(chosen) : std::thread::hardware_concurrency();
    return std::clamp(count, 1u, kMaxFilesAtOnce);
}

// What the list loop decided for a file, with every setting its work needs: the work runs on
// another thread, which reads no settings.
struct CFileProcessor::FileJob {
    std::string path;
    std::string copyFrom;  // a copy made as the file is processed: the file it copies
    FileClass fileClass = FileClass::kNone;
    StageSettings settings;
    bool inPlace = false;
    bool backups = false;
    std::uint64_t weight = 0;

    // The file whose bytes the work reads.
    const std::string& ReadFrom() const { return copyFrom.empty() ? path : copyFrom; }
};

// What became of a file, taken into the counters and logs in list order.
struct CFileProcessor::FileOutcome {
    std::string path;
    FileClass fileClass = FileClass::kNone;
    std::uint32_t before = 0;
    std::uint32_t after = 0;
    bool staged = false;  // the stage took the file: it counts under its kind
    bool logged = false;  // the file was read and is as the run left it: a line in the log
    std::vector<std::string> errors;
};

// The run as one file's stage sees it.
class CFileProcessor::FileWork : public StageEvents {
  public:
    FileWork(CFileProcessor& processor, FileOutcome& outcome)
        : processor_(processor), outcome_(outcome) {}

    void Status(std::string_view text) override { processor_.SetStatus(text); }
    void Checkpoint() override {
        if (processor_.CheckCancel()) {
            throw RunSignal::kCancel;
        }
    }
    void Note(std::string_view action, std::string_view reason) override {
        outcome_.errors.push_back(ErrorLogEntry(action, outcome_.path, reason));
    }

  private:
    CFileProcessor& processor_;
    FileOutcome& outcome_;
};

CFileProcessor::CFileProcessor(SettingsStore& settings, RunView& view,
                               const std::filesystem::path& tempFolder)
    : settings_(settings),
      view_(view),
      logs_(tempFolder),
      lifetime_(LifetimeStatistics::Load(settings)) {
    for (const FileKind& kind : FileKinds()) {
        stages_[KindSlot(kind.fileClass)] = kind.stage;
    }
}

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

void CFileProcessor::SetStage(FileClass fileClass, StageFunction stage) {
    stages_[KindSlot(fileClass)] = std::move(stage);
}

// Files go to the pool in list order, as many at once as the settings allow and their weight
// permits; the oldest is taken in before another goes. With one file at once, each is worked on
// here, on the run's own thread.
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

    const unsigned filesAtOnce = FilesAtOnce(settings_);
    {
        std::optional<WorkPool> pool;
        if (filesAtOnce > 1) {
            pool.emplace(filesAtOnce);
        }
        std::deque<std::future<FileOutcome>> inFlight;
        while (!files_.empty() && !cancelRequested_) {
            std::string path = std::move(files_.front());
            files_.pop_front();
            std::optional<FileJob> job = PrepareFile(std::move(path));
            if (!job) {
                CountDone({});
                continue;
            }
            if (!pool) {
                CommitFile(WorkOnFile(*job));
                continue;
            }
            const std::uint64_t weight = job->weight;
            WaitForRoom(inFlight, weight, kFilesHeldPerThread * filesAtOnce);
            {
                std::lock_guard lock(finishMutex_);
                weightWorking_ += weight;
            }
            auto task = std::make_shared<std::packaged_task<FileOutcome()>>(
                [this, job = std::move(*job)] { return WorkOnFile(job); });
            inFlight.push_back(task->get_future());
            pool->Submit(
                [this, task, weight] {
                    (*task)();
                    FinishWork(weight);
                },
                weight);
        }
        while (!inFlight.empty()) {
            CommitOldest(inFlight);
        }
    }
    files_.clear();
    listed_.clear();
    logs_.CloseLog();
    view_.Update([](RunDisplay& display) { display.currentFile.clear(); });
    running_ = false;
    SetStatus("Optimization Complete");
}

const FileKind* CFileProcessor::KindToOptimize(std::string_view path) const {
    if (EndsWithNoCase(path, kBackupSuffix)) {
        return nullptr;
    }
    const FileKind* kind = KindOf(ClassifyPath(path));
    return kind && settings_.GetInt(kind->gateSection, kind->gateKey, 0) != 0 ? kind : nullptr;
}

bool CFileProcessor::WouldOptimize(std::string_view path) const {
    return KindToOptimize(path) != nullptr;
}

void CFileProcessor::CopyWhenProcessed(std::string to, std::string from) {
    copyFrom_.insert_or_assign(std::move(to), std::move(from));
}

void CFileProcessor::MakeOwedCopies(const std::function<bool()>& goOn) {
    std::vector<std::pair<std::string, std::string>> owed(copyFrom_.begin(), copyFrom_.end());
    copyFrom_.clear();
    std::sort(owed.begin(), owed.end());
    for (const auto& [to, from] : owed) {
        if (!goOn()) {
            return;
        }
        if (const std::string failed = CopyFailure(from, to); !failed.empty()) {
            logs_.OpenErrorLog();
            WriteErrorLog(failed);
        }
    }
}

// Decides on the run's thread whether the file is worked on, and with which settings. Backups
// and files of no enabled kind are passed over; a copy owed for one is made at the end.
std::optional<CFileProcessor::FileJob> CFileProcessor::PrepareFile(std::string path) {
    logs_.OpenLog();
    logs_.OpenErrorLog();
    const FileKind* kind = KindToOptimize(path);
    if (!kind) {
        CheckCancel();
        return std::nullopt;
    }
    ++lifetime_.filesProcessed;
    const FileClass fileClass = kind->fileClass;
    ShowFile(path, fileClass);
    FileJob job;
    if (auto owed = copyFrom_.extract(path)) {
        job.copyFrom = std::move(owed.mapped());
    }
    job.path = std::move(path);
    job.weight = WeightOf(job.ReadFrom(), *kind);
    job.fileClass = fileClass;
    job.settings = ReadStageSettings(settings_);
    job.inPlace = settings_.GetInt(section::kDestination, key::kNewOrReplace, 0) != 0;
    job.backups = job.inPlace && settings_.GetInt(section::kDestination, key::kBackupFiles, 1) != 0;
    return job;
}

// Whatever the work throws ends this file only; the file is then as it was (a copy made now is
// the source's own bytes), and the error log says why.
CFileProcessor::FileOutcome CFileProcessor::WorkOnFile(const FileJob& job) {
    FileOutcome outcome;
    outcome.path = job.path;
    outcome.fileClass = job.fileClass;
    FileWork work(*this, outcome);
    SetStatus("Reading file...");
    std::string unreadable;
    const FileBuffer buffer = ReadWholeFile(job.ReadFrom(), &unreadable);
    bool written = false;
    try {
        written = buffer && StageFile(job, buffer, work, outcome);
    } catch (RunSignal signal) {
        if (signal == RunSignal::kCancel) {
            cancelRequested_ = true;
        } else if (signal == RunSignal::kOutOfMemory) {
            work.Note("optimize file", "out of memory");
        }
    } catch (const BxErrorCode& error) {
        work.Note("optimize file", BxErrorText(error.Code()));
    } catch (const std::bad_alloc&) {
        work.Note("optimize file", "out of memory");
    } catch (const std::exception& error) {
        work.Note("optimize file", error.what());
    } catch (...) {
        work.Note("optimize file", "unexpected failure");
    }
    if (!job.copyFrom.empty() && !written) {
        PlaceCopy(job, outcome);
    }
    // An empty file has nothing to lose and is skipped silently; any other is named, unless even
    // its copy could not be made (which says why).
    if (!unreadable.empty() && outcome.errors.empty()) {
        work.Note("read file", unreadable);
    }
    CheckCancel();
    return outcome;
}

// Returns whether the file (or the copy made now) was written with the stage's result.
bool CFileProcessor::StageFile(const FileJob& job, const FileBuffer& buffer, FileWork& work,
                               FileOutcome& outcome) {
    outcome.before = buffer.size;
    if (CheckCancel()) {
        return false;
    }
    const StageFunction& stage = stages_[KindSlot(job.fileClass)];
    const std::optional<std::uint32_t> staged =
        stage ? stage({buffer.data.get(), buffer.size}, job.settings, work) : std::nullopt;
    const std::uint32_t size = std::min(staged.value_or(buffer.size), buffer.size);
    // The figures count what reached the disk: a file is counted once its new bytes are in place,
    // or as unchanged when nothing was gained.
    if (size < buffer.size) {
        ReplaceFile(job, buffer, size, work);
    }
    outcome.after = size;
    outcome.staged = staged.has_value();
    outcome.logged = true;
    return size < buffer.size;
}

// Gives a copy made as its file is processed the source's own bytes, where the stage gained
// nothing, failed or was stopped. They are copied from the source again: a stage works in the
// bytes it was given. A copy that cannot be made is named, and its file has no line in the log.
void CFileProcessor::PlaceCopy(const FileJob& job, FileOutcome& outcome) {
    if (std::string failed = CopyFailure(job.copyFrom, job.path); !failed.empty()) {
        outcome.logged = false;
        outcome.errors.push_back(std::move(failed));
    }
}

void CFileProcessor::CommitOldest(std::deque<std::future<FileOutcome>>& inFlight) {
    std::future<FileOutcome> oldest = std::move(inFlight.front());
    inFlight.pop_front();
    CommitFile(oldest.get());
}

// Called on the pool's thread once a file's outcome is set.
void CFileProcessor::FinishWork(std::uint64_t weight) {
    {
        std::lock_guard lock(finishMutex_);
        weightWorking_ -= weight;
        ++filesFinished_;
    }
    finished_.notify_one();
}

// Takes in the finished files in list order, then waits until a file of this weight may join
// the pool's hands: fewer than `held` files there, and room in the weight budget beside the
// files not finished yet (a file heavier than the budget waits until it is alone). Only files
// being worked on weigh: a finished one holds no bytes.
void CFileProcessor::WaitForRoom(std::deque<std::future<FileOutcome>>& inFlight,
                                 std::uint64_t weight, std::size_t held) {
    // Bound: every round but the last waits for a file to finish, and the files in hand are few.
    for (;;) {
        std::uint64_t seen = 0;
        {
            std::lock_guard lock(finishMutex_);
            seen = filesFinished_;
        }
        while (!inFlight.empty() &&
               inFlight.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            CommitOldest(inFlight);
        }
        std::unique_lock lock(finishMutex_);
        if (inFlight.empty() ||
            (inFlight.size() < held && weightWorking_ + weight <= weightBudget_)) {
            return;
        }
        // A file that finished since `seen` was read may be the oldest: look again at once.
        finished_.wait(lock, [this, seen] { return filesFinished_ != seen; });
    }
}

void CFileProcessor::CommitFile(const FileOutcome& outcome) {
    for (const std::string& error : outcome.errors) {
        WriteErrorLog(error);
    }
    if (outcome.logged) {
        if (outcome.after < outcome.before) {
            CountSaving(outcome.before, outcome.after);
        }
        if (outcome.staged) {
            CountFile(outcome.fileClass, outcome.before, outcome.after);
        }
        logs_.WriteFileLine(outcome.path, outcome.before, outcome.after);
    }
    CountDone(outcome.path);
}

void CFileProcessor::CountDone(const std::filesystem::path& file) {
    view_.Update([&file](RunDisplay& display) {
        ++display.filesDone;
        display.fileDone = file;
    });
    view_.SendProgress();
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

void CFileProcessor::CountFile(FileClass fileClass, std::uint32_t before, std::uint32_t after) {
    view_.Update([fileClass, before, after](RunDisplay& display) {
        TypeFigures& figures = display.counters.Of(fileClass);
        ++figures.files;
        figures.bytesBefore += before;
        figures.bytesAfter += after;
    });
}

void CFileProcessor::CountSaving(std::uint32_t before, std::uint32_t after) {
    const std::uint32_t saving = SavingFrom(before, after);
    runBytesSaved_ += saving;
    runBytesBefore_ += before;
    view_.Update([this](RunDisplay& display) {
        display.bytesSavedText = std::to_string(runBytesSaved_);
        if (runBytesBefore_ != 0) {
            display.percentText = FormatPercent(runBytesSaved_ * 100.0 / runBytesBefore_);
        }
    });
    view_.SendProgress();
    lifetime_.bytesSaved += saving;
}

// Backs the file up (in place, with backups on) and replaces it with the first `size` bytes read,
// unless it changed since it was read. Throws RunSignal::kFileError, with the reason noted and
// the file as it was, when either cannot be done.
void CFileProcessor::ReplaceFile(const FileJob& job, const FileBuffer& read, std::uint32_t size,
                                 FileWork& work) {
    SetStatus("Updating file...");
    const std::string linked = BackupFile(job, read.stamp, work);
    // Originals are flushed to the disk before they are replaced; copies need not be, since a
    // crash cannot lose what the source tree still holds.
    WriteOptions options;
    options.durability = job.inPlace ? Durability::kFlushed : Durability::kCached;
    if (job.copyFrom.empty()) {
        options.unchangedSince = &read.stamp;
    } else {
        options.copyOf = &read;  // the copy is made now: nothing at its name is the run's yet
    }
    std::string failure;
    if (!WriteWholeFile(job.path, read.data.get(), size, options, &failure)) {
        // A backup that is the file itself under another name would follow later changes to
        // it: the file stays as it was, so the name goes.
        if (!linked.empty()) {
            UnlinkSecondName(linked, job.path);
        }
        work.Note("write file", failure);
        throw RunSignal::kFileError;
    }
}

// A backup never replaces another: the first is NAME.BAK and holds the oldest original; when the
// file changes again and its bytes are in no backup yet, they go to NAME.2.BAK, NAME.3.BAK, ...
// Where the file system allows, the backup is a second name of the original file itself: the
// original is about to be replaced by a new file, after which that name alone keeps the old
// bytes, and nothing has to be read again, written or flushed for it. Elsewhere it is a copy.
// Returns the name this call linked to the file, if it did.
std::string CFileProcessor::BackupFile(const FileJob& job, const FileStamp& stamp, FileWork& work) {
    if (!job.backups) {
        return {};
    }
    const std::string& path = job.path;
    std::string failure;
    FileBuffer original;  // read only when a name is taken or cannot be linked
    for (int number = 1; number <= kMaxBackups; ++number) {
        const std::string backup = BackupName(path, number);
        const LinkOutcome linked = LinkUnchangedFile(path, backup, stamp);
        if (linked == LinkOutcome::kLinked) {
            return backup;
        }
        if (linked == LinkOutcome::kSameFile) {
            return {};
        }
        if (!original && linked != LinkOutcome::kChanged) {
            original = ReadWholeFile(path, &failure);
        }
        if (linked == LinkOutcome::kChanged || !original || original.stamp != stamp) {
            if (failure.empty()) {
                failure = kChangedDuringRun;
            }
            break;
        }
        const BackupState state = ExistingBackup(backup, original);
        if (state == BackupState::kSameBytes) {
            return {};
        }
        if (state == BackupState::kOtherBytes) {
            continue;
        }
        WriteOptions options;
        options.attributesFrom = path;
        options.createOnly = true;
        if (WriteWholeFile(backup, original.data.get(), original.size, options, &failure)) {
            return {};
        }
        std::error_code error;
        if (std::filesystem::symlink_status(backup, error).type() ==
            std::filesystem::file_type::not_found) {
            break;
        }
        failure.clear();  // taken in the meantime: the next name
    }
    work.Note("back up file", failure.empty() ? "no free backup name" : failure);
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
