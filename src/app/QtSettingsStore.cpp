#include "app/QtSettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryFile>
#include <algorithm>
#include <fstream>
#include <system_error>

namespace quillon {
namespace {

// Far more than the few kilobytes of settings Quillon keeps; a larger file is some other data.
constexpr std::uintmax_t kLargestSettingsFile = 4 * 1024 * 1024;

// Each section is a group of its own: "HTML Options/Remove Comments".
QString KeyPath(std::string_view section, std::string_view key) {
    return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + '/' +
           QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Tags belong to markup, never to the names of an INI file: QSettings writes '<' and '>' of a
// name percent-encoded.
bool LooksLikeMarkup(std::string_view name) {
    return name.find_first_of("<>") != std::string_view::npos;
}

// Whether one line (without its line feed) has a place in an INI file.
bool IsIniLine(std::string_view line) {
    line = Trimmed(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') {
        return true;
    }
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        if (close == std::string_view::npos || LooksLikeMarkup(line.substr(0, close))) {
            return false;
        }
        const std::string_view rest = Trimmed(line.substr(close + 1));
        return rest.empty() || rest.front() == ';';
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    const std::string_view name = Trimmed(line.substr(0, equals));
    return !name.empty() && !LooksLikeMarkup(name);
}

// A value that ends in an odd number of backslashes goes on on the next line.
bool ContinuesOnNextLine(std::string_view line) {
    line = Trimmed(line);
    std::size_t backslashes = 0;
    while (backslashes < line.size() && line[line.size() - 1 - backslashes] == '\\') {
        ++backslashes;
    }
    return backslashes % 2 == 1;
}

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// Why a file could not be written: the nearest existing folder on its way is no folder or takes
// no new file (QSettings writes a new file and renames it over the old one), or the file itself
// cannot be opened for writing.
std::string WriteFailureReason(const QString& fileName) {
    const QFileInfo file(fileName);
    QString folder = file.absolutePath();
    while (!QFileInfo::exists(folder)) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    if (!QFileInfo(folder).isDir()) {
        return "'" + folder.toStdString() + "' is not a folder";
    }
    QTemporaryFile probe(folder + "/.quillon-XXXXXX");
    if (!probe.open()) {
        return "no file can be created in '" + folder.toStdString() +
               "': " + probe.errorString().toStdString();
    }
    if (file.exists()) {
        QFile existing(fileName);
        if (!existing.open(QIODevice::ReadWrite)) {
            return existing.errorString().toStdString();
        }
    }
    return "the file system did not take the file (it may be full)";
}

// What tells whether a file was rewritten: QSettings replaces the file by a new one.
struct FileStamp {
    bool exists = false;
    std::filesystem::file_time_type written;
    std::uintmax_t size = 0;

    explicit FileStamp(const QString& fileName) {
        const std::filesystem::path path = fileName.toStdString();
        std::error_code error;
        written = std::filesystem::last_write_time(path, error);
        exists = !error;
        size = exists ? std::filesystem::file_size(path, error) : 0;
    }
    bool operator==(const FileStamp&) const = default;
};

}  // namespace

QtSettingsStore::QtSettingsStore()
    : open_([] {
          return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             "Tallowick", "Quillon");
      }),
      settings_(open_()) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : open_([iniPath] { return std::make_unique<QSettings>(iniPath, QSettings::IniFormat); }),
      settings_(open_()) {}

std::optional<std::string> QtSettingsStore::UnusableSettingsFile(
    const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
        return std::nullopt;  // a new settings file; a folder that cannot hold it shows at saving
    }
    if (error) {
        return "The settings file " + Quoted(path) + " cannot be read: " + error.message() + ".";
    }
    if (!std::filesystem::is_regular_file(status)) {
        return Quoted(path) + " is not a file; --settings needs an INI file.";
    }
    const std::string refused =
        "It was left as it is: give --settings a new file name, or an "
        "INI file written by Quillon.";
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size > kLargestSettingsFile) {
        return Quoted(path) + " is too large to be a settings file. " + refused;
    }
    std::ifstream file(path, std::ios::binary);
    if (error || !file) {
        return "The settings file " + Quoted(path) + " cannot be read.";
    }
    std::string line;
    bool continued = false;
    for (std::size_t number = 1; std::getline(file, line); ++number) {
        if (number == 1 && line.starts_with("\xEF\xBB\xBF")) {
            line.erase(0, 3);  // a byte order mark, as some editors write
        }
        if (line.find('\0') != std::string::npos) {
            return Quoted(path) + " holds binary data, not settings. " + refused;
        }
        if (!continued && !IsIniLine(line)) {
            return Quoted(path) + " is not a settings file: line " + std::to_string(number) +
                   " is neither a [section], a key=value line nor a comment. " + refused;
        }
        continued = ContinuesOnNextLine(line);
    }
    if (file.bad()) {
        return "The settings file " + Quoted(path) + " cannot be read.";
    }
    return std::nullopt;
}

std::uint32_t QtSettingsStore::GetInt(std::string_view section, std::string_view key,
                                      std::uint32_t fallback) const {
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(KeyPath(section, key));
    bool ok = false;
    const std::uint32_t number = value.toUInt(&ok);
    return ok ? number : fallback;
}

std::string QtSettingsStore::GetString(std::string_view section, std::string_view key,
                                       std::string_view fallback) const {
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(KeyPath(section, key));
    return value.isValid() ? value.toString().toStdString() : std::string(fallback);
}

void QtSettingsStore::PutInt(std::string_view section, std::string_view key, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(KeyPath(section, key), value);
    dirty_ = true;
}

void QtSettingsStore::PutString(std::string_view section, std::string_view key,
                                std::string_view value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(KeyPath(section, key), ToQString(value));
    dirty_ = true;
}

// QSettings keeps the first error it met for good, so once a save failed its status could never
// report a later one that works; a fresh object, holding the same values, answers afresh.
void QtSettingsStore::ReopenKeepingValues() {
    settings_->setFallbacksEnabled(false);  // only the values of this store's own file
    QMap<QString, QVariant> values;
    for (const QString& key : settings_->allKeys()) {
        values.insert(key, settings_->value(key));
    }
    settings_.reset();
    settings_ = open_();
    for (auto value = values.cbegin(); value != values.cend(); ++value) {
        settings_->setValue(value.key(), value.value());
    }
    dirty_ = true;
}

bool QtSettingsStore::Sync() {
    std::lock_guard lock(mutex_);
    if (syncFailed_) {
        ReopenKeepingValues();
    }
    const QString fileName = settings_->fileName();
    const FileStamp before(fileName);
    settings_->sync();
    bool saved = false;
    switch (settings_->status()) {
        case QSettings::NoError:
            saved = true;
            break;
        case QSettings::AccessError:
            saved = false;
            break;
        case QSettings::FormatError:
            // A line QSettings could not parse when it read the file hides whether the write
            // worked; a written file is a new one.
            saved = !dirty_ || FileStamp(fileName) != before;
            break;
    }
    syncFailed_ = !saved;
    if (saved) {
        dirty_ = false;
        syncError_.clear();
    } else {
        syncError_ = "The settings and statistics could not be saved in '" +
                     fileName.toStdString() + "': " + WriteFailureReason(fileName) + ".";
    }
    return saved;
}

std::string QtSettingsStore::SyncError() const {
    std::lock_guard lock(mutex_);
    return syncError_;
}

QString QtSettingsStore::FileName() const {
    std::lock_guard lock(mutex_);
    return settings_->fileName();
}

}  // namespace quillon
