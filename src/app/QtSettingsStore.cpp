#include "app/QtSettingsStore.h"

namespace quillon {
namespace {

// Each section is a group of its own: "HTML Options/Remove Comments".
QString KeyPath(std::string_view section, std::string_view key) {
    return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + '/' +
           QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            "Tallowick", "Quillon")) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

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
}

void QtSettingsStore::PutString(std::string_view section, std::string_view key,
                                std::string_view value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(KeyPath(section, key), ToQString(value));
}

bool QtSettingsStore::Sync() {
    std::lock_guard lock(mutex_);
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

}  // namespace quillon
