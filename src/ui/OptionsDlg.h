// The settings dialog: a category tree, one page at a time, and the page's help below.
#pragma once

#include <QDialog>
#include <filesystem>
#include <vector>

#include "pipeline/SettingsStore.h"
#include "ui/OptionsPages.h"
#include "ui/Prompts.h"

class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillon {

class HelpPane;

class COptionsDlg : public QDialog {
    Q_OBJECT

  public:
    COptionsDlg(SettingsStore& store, UserPrompts& prompts,
                const std::filesystem::path& desktopFolder, const std::filesystem::path& helpFolder,
                QWidget* parent = nullptr);

    // The page shown, or nothing for a category node.
    COptionsPage* CurrentPage() const;
    // Selects the tree node with this text ("Destination", "General", ...).
    void SelectNode(const QString& text);
    COptionsPage* Page(const QString& text) const;

    void Save();
    void RestoreDefaults();

  private:
    void AddNode(QTreeWidgetItem* parent, const QString& text, COptionsPage* page);
    void ShowPageOf(QTreeWidgetItem* item);

    SettingsStore& store_;
    QTreeWidget* tree_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QWidget* noPage_ = nullptr;
    HelpPane* help_ = nullptr;
    std::vector<std::pair<QString, COptionsPage*>> pages_;
};

}  // namespace quillon
