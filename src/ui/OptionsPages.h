// The settings pages: each binds its controls to the keys of one settings section.
#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/SettingsStore.h"
#include "ui/Prompts.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QVBoxLayout;

namespace quillon {

// A page loads every key of its section when the dialog opens and stores them all on Save.
// Defaults come from the program's table of keys.
class COptionsPage : public QWidget {
    Q_OBJECT

  public:
    COptionsPage(QString helpFile, std::filesystem::path desktopFolder);

    void Load(const SettingsStore& store);
    void Store(SettingsStore& store) const;
    void Defaults();
    // The page's help text, a file of the help folder.
    const QString& HelpFile() const { return helpFile_; }

  protected:
    // Adds the explanation line under the page's master check box.
    void AddExplanation(QVBoxLayout* layout, const QString& text);
    QCheckBox* AddCheck(QVBoxLayout* layout, const QString& text, std::string_view section,
                        std::string_view key);
    // A radio group stored as the index of the selected button.
    QButtonGroup* AddRadios(QVBoxLayout* layout, const QStringList& texts, std::string_view section,
                            std::string_view key);
    // A radio button read and stored as a check box of its own.
    void BindRadioAsCheck(QRadioButton* button, std::string_view section, std::string_view key);
    void BindText(QLineEdit* edit, std::string_view section, std::string_view key);
    void BindSpin(QSpinBox* spin, std::string_view section, std::string_view key);

    // Recomputed on load, on defaults and on each click of the controls that govern them.
    virtual void UpdateEnabledStates() {}

  private:
    struct Binding {
        std::string_view section;
        std::string_view key;
        std::function<std::uint32_t()> getInt;
        std::function<void(std::uint32_t)> setInt;
        std::function<std::string()> getText;
        std::function<void(const std::string&)> setText;
    };

    QString helpFile_;
    std::filesystem::path desktopFolder_;
    std::vector<Binding> bindings_;
};

class COptionsTargets : public COptionsPage {
    Q_OBJECT
  public:
    COptionsTargets(UserPrompts& prompts, const std::filesystem::path& desktopFolder);

  protected:
    void UpdateEnabledStates() override;

  private:
    QButtonGroup* mode_ = nullptr;
    QButtonGroup* where_ = nullptr;
    QRadioButton* prompt_ = nullptr;
    QRadioButton* use_ = nullptr;
    QLineEdit* path_ = nullptr;
    QPushButton* select_ = nullptr;
    QCheckBox* backup_ = nullptr;
};

class COptionsReports : public COptionsPage {
    Q_OBJECT
  public:
    COptionsReports(UserPrompts& prompts, const std::filesystem::path& desktopFolder);

  protected:
    void UpdateEnabledStates() override;

  private:
    void SelectBrowser(UserPrompts& prompts);

    QCheckBox* generate_ = nullptr;
    QRadioButton* defaultBrowser_ = nullptr;
    QRadioButton* useBrowser_ = nullptr;
    QLineEdit* browser_ = nullptr;
    QPushButton* select_ = nullptr;
    QCheckBox* autoOpen_ = nullptr;
};

// A page whose master check box turns its optimizer, and with it every other option, on and off.
class COptionsMasterPage : public COptionsPage {
    Q_OBJECT
  public:
    using COptionsPage::COptionsPage;

  protected:
    void UpdateEnabledStates() override;

    QCheckBox* master_ = nullptr;
    std::vector<QWidget*> options_;
};

class COptionsHTML : public COptionsMasterPage {
    Q_OBJECT
  public:
    explicit COptionsHTML(const std::filesystem::path& desktopFolder);

  protected:
    void UpdateEnabledStates() override;

  private:
    QCheckBox* removeComments_ = nullptr;
    QCheckBox* keepIncludes_ = nullptr;
};

class COptionsJAVA : public COptionsMasterPage {
    Q_OBJECT
  public:
    explicit COptionsJAVA(const std::filesystem::path& desktopFolder);
};

class COptionsXML : public COptionsPage {
    Q_OBJECT
  public:
    explicit COptionsXML(const std::filesystem::path& desktopFolder);
};

class COptionsGIF : public COptionsMasterPage {
    Q_OBJECT
  public:
    explicit COptionsGIF(const std::filesystem::path& desktopFolder);
};

class COptionsJPEG : public COptionsMasterPage {
    Q_OBJECT
  public:
    explicit COptionsJPEG(const std::filesystem::path& desktopFolder);
};

}  // namespace quillon
