// A help text from the help folder, in a pane that a toggle button expands and collapses.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <filesystem>
#include <functional>

class QPushButton;

namespace quillon {

// Gives a window the size its visible parts ask for, smaller as well as larger, within its
// screen: a pane that closes leaves no empty space behind.
void FitToContents(QWidget* window);

class HelpPane : public QTextBrowser {
    Q_OBJECT

  public:
    explicit HelpPane(std::filesystem::path helpFolder, QWidget* parent = nullptr);

    // Shows the named file of the help folder; the pane stays empty when it cannot be read.
    void ShowFile(const QString& name);

    // Ties the pane to its toggle button: "He&lp  >>" collapsed, "He&lp  <<" expanded. The pane
    // starts collapsed. `resized` is called after each change so the window can fit itself.
    void AttachToggle(QPushButton* toggle, std::function<void()> resized);
    void SetExpanded(bool expanded);
    bool Expanded() const { return isVisible(); }

  private:
    std::filesystem::path helpFolder_;
    QPushButton* toggle_ = nullptr;
    std::function<void()> resized_;
};

}  // namespace quillon
