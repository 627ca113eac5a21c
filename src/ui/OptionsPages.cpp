#include "ui/OptionsPages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <utility>

#include "pipeline/FileProcessor.h"
#include "pipeline/SettingsKeys.h"

namespace quillon {
namespace {

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

// Unchecks a radio button even where its group would keep one button checked.
void SetRadioChecked(QRadioButton* button, bool checked) {
    QButtonGroup* group = button->group();
    const bool exclusive = group && group->exclusive();
    if (exclusive && !checked) {
        group->setExclusive(false);
    }
    button->setChecked(checked);
    if (exclusive && !checked) {
        group->setExclusive(true);
    }
}

}  // namespace

COptionsPage::COptionsPage(QString helpFile, std::filesystem::path desktopFolder)
    : helpFile_(std::move(helpFile)), desktopFolder_(std::move(desktopFolder)) {}

void COptionsPage::Load(const SettingsStore& store) {
    for (const Binding& binding : bindings_) {
        const SettingKey& entry = FindSettingKey(binding.section, binding.key);
        if (binding.setInt) {
            binding.setInt(store.GetInt(binding.section, binding.key, entry.intDefault));
        } else {
            binding.setText(store.GetString(binding.section, binding.key,
                                            PageDefaultString(entry, desktopFolder_)));
        }
    }
    UpdateEnabledStates();
}

void COptionsPage::Store(SettingsStore& store) const {
    for (const Binding& binding : bindings_) {
        if (binding.getInt) {
            store.PutInt(binding.section, binding.key, binding.getInt());
        } else {
            store.PutString(binding.section, binding.key, binding.getText());
        }
    }
}

void COptionsPage::Defaults() {
    for (const Binding& binding : bindings_) {
        const SettingKey& entry = FindSettingKey(binding.section, binding.key);
        if (binding.setInt) {
            binding.setInt(entry.intDefault);
        } else {
            binding.setText(PageDefaultString(entry, desktopFolder_));
        }
    }
    UpdateEnabledStates();
}

void COptionsPage::AddExplanation(QVBoxLayout* layout, const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setIndent(20);
    layout->addWidget(label);
}

QCheckBox* COptionsPage::AddCheck(QVBoxLayout* layout, const QString& text,
                                  std::string_view section, std::string_view key) {
    auto* box = new QCheckBox(text);
    layout->addWidget(box);
    bindings_.push_back({section,
                         key,
                         [box] { return box->isChecked() ? 1u : 0u; },
                         [box](std::uint32_t value) { box->setChecked(value != 0); },
                         {},
                         {}});
    connect(box, &QCheckBox::clicked, this, [this] { UpdateEnabledStates(); });
    return box;
}

QButtonGroup* COptionsPage::AddRadios(QVBoxLayout* layout, const QStringList& texts,
                                      std::string_view section, std::string_view key) {
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < texts.size(); ++i) {
        auto* button = new QRadioButton(texts[i]);
        group->addButton(button, i);
        layout->addWidget(button);
    }
    bindings_.push_back(
        {section,
         key,
         [group] { return static_cast<std::uint32_t>(std::max(0, group->checkedId())); },
         [group](std::uint32_t value) {
             QAbstractButton* button = group->button(static_cast<int>(value));
             (button ? button : group->button(0))->setChecked(true);
         },
         {},
         {}});
    connect(group, &QButtonGroup::idClicked, this, [this] { UpdateEnabledStates(); });
    return group;
}

void COptionsPage::BindRadioAsCheck(QRadioButton* button, std::string_view section,
                                    std::string_view key) {
    bindings_.push_back({section,
                         key,
                         [button] { return button->isChecked() ? 1u : 0u; },
                         [button](std::uint32_t value) { SetRadioChecked(button, value != 0); },
                         {},
                         {}});
    connect(button, &QRadioButton::clicked, this, [this] { UpdateEnabledStates(); });
}

void COptionsPage::BindText(QLineEdit* edit, std::string_view section, std::string_view key) {
    bindings_.push_back({section,
                         key,
                         {},
                         {},
                         [edit] { return edit->text().toStdString(); },
                         [edit](const std::string& text) { edit->setText(ToQString(text)); }});
}

void COptionsPage::BindSpin(QSpinBox* spin, std::string_view section, std::string_view key) {
    bindings_.push_back({section,
                         key,
                         [spin] { return static_cast<std::uint32_t>(spin->value()); },
                         [spin](std::uint32_t value) { spin->setValue(static_cast<int>(value)); },
                         {},
                         {}});
}

// Destination: where optimized files go.
COptionsTargets::COptionsTargets(UserPrompts& prompts, const std::filesystem::path& desktopFolder)
    : COptionsPage("Destination.html", desktopFolder) {
    auto* layout = new QVBoxLayout(this);
    mode_ = AddRadios(layout, {"Copy compressed files to new folder", "Compress original files"},
                      section::kDestination, key::kNewOrReplace);
    auto* whereBox = new QWidget;
    auto* whereLayout = new QVBoxLayout(whereBox);
    whereLayout->setContentsMargins(20, 0, 0, 0);
    where_ = AddRadios(whereLayout, {"Prompt for destination", "Use:"}, section::kDestination,
                       key::kPromptForDestination);
    prompt_ = qobject_cast<QRadioButton*>(where_->button(0));
    use_ = qobject_cast<QRadioButton*>(where_->button(1));
    // "Use" mirrors the second button; on load it decides whether the path can be edited.
    BindRadioAsCheck(use_, section::kDestination, key::kUse);
    auto* pathRow = new QHBoxLayout;
    path_ = new QLineEdit;
    select_ = new QPushButton("Select ...");
    pathRow->addWidget(path_, 1);
    pathRow->addWidget(select_);
    whereLayout->addLayout(pathRow);
    BindText(path_, section::kDestination, key::kDestination);
    layout->insertWidget(1, whereBox);
    backup_ = AddCheck(layout, "Back-up web page files", section::kDestination, key::kBackupFiles);
    auto* filesAtOnceRow = new QHBoxLayout;
    auto* filesAtOnce = new QSpinBox;
    filesAtOnce->setRange(0, static_cast<int>(kMaxFilesAtOnce));
    filesAtOnce->setSpecialValueText("One per processor core");
    auto* filesAtOnceLabel = new QLabel("&Files optimized at once:");
    filesAtOnceLabel->setBuddy(filesAtOnce);
    filesAtOnceRow->addWidget(filesAtOnceLabel);
    filesAtOnceRow->addWidget(filesAtOnce);
    filesAtOnceRow->addStretch();
    layout->addLayout(filesAtOnceRow);
    BindSpin(filesAtOnce, section::kDestination, key::kFilesAtOnce);
    layout->addStretch();

    connect(select_, &QPushButton::clicked, this, [this, &prompts] {
        const QString folder = prompts.ChooseFolder(
            this, "Please select the folder to place Quillon optimized files.");
        if (!folder.isEmpty()) {
            path_->setText(folder);
        }
    });
}

void COptionsTargets::UpdateEnabledStates() {
    const bool copyMode = mode_->checkedId() == 0;
    prompt_->setEnabled(copyMode);
    use_->setEnabled(copyMode);
    backup_->setEnabled(!copyMode);
    const bool useFolder = use_->isChecked();
    select_->setEnabled(copyMode && useFolder);
    path_->setEnabled(copyMode && useFolder);
}

// Reports: whether and where the report opens.
COptionsReports::COptionsReports(UserPrompts& prompts, const std::filesystem::path& desktopFolder)
    : COptionsPage("Reports.html", desktopFolder) {
    auto* layout = new QVBoxLayout(this);
    generate_ = AddCheck(layout, "Generate Report", section::kReport, key::kGenerateReports);
    AddExplanation(layout,
                   "This option produces detailed reports about the original and optimized web "
                   "site.");
    auto* browsers = new QButtonGroup(this);
    defaultBrowser_ = new QRadioButton("Use my default browser");
    useBrowser_ = new QRadioButton("Use:");
    browsers->addButton(defaultBrowser_);
    browsers->addButton(useBrowser_);
    layout->addWidget(defaultBrowser_);
    BindRadioAsCheck(defaultBrowser_, section::kReport, key::kUseDefaultBrowser);
    auto* browserRow = new QHBoxLayout;
    browserRow->addWidget(useBrowser_);
    browser_ = new QLineEdit;
    select_ = new QPushButton("Select Browser ...");
    browserRow->addWidget(browser_, 1);
    browserRow->addWidget(select_);
    layout->addLayout(browserRow);
    BindRadioAsCheck(useBrowser_, section::kReport, key::kUseBrowser);
    BindText(browser_, section::kReport, key::kBrowserName);
    autoOpen_ = AddCheck(layout, "Open the Report after optimizing", section::kReport,
                         key::kAutoOpenReports);
    layout->addStretch();

    connect(select_, &QPushButton::clicked, this, [this, &prompts] { SelectBrowser(prompts); });
}

void COptionsReports::SelectBrowser(UserPrompts& prompts) {
    const QString browser =
        prompts.ChooseFile(this, "Select a browser to use", "Executable File (*)");
    if (!browser.isEmpty()) {
        browser_->setText(browser);
        return;
    }
    // Without a browser of its own the page falls back to the default one.
    defaultBrowser_->setChecked(true);
    SetRadioChecked(useBrowser_, false);
    UpdateEnabledStates();
}

void COptionsReports::UpdateEnabledStates() {
    const bool generate = generate_->isChecked();
    defaultBrowser_->setEnabled(generate);
    useBrowser_->setEnabled(generate);
    autoOpen_->setEnabled(generate);
    const bool ownBrowser = useBrowser_->isChecked() && !defaultBrowser_->isChecked();
    select_->setEnabled(generate && ownBrowser);
    browser_->setEnabled(generate && ownBrowser);
}

void COptionsMasterPage::UpdateEnabledStates() {
    for (QWidget* option : options_) {
        option->setEnabled(master_->isChecked());
    }
}

// HTML: the web-page optimizer.
COptionsHTML::COptionsHTML(const std::filesystem::path& desktopFolder)
    : COptionsMasterPage("HTML.html", desktopFolder) {
    auto* layout = new QVBoxLayout(this);
    master_ = AddCheck(layout, "Enable HTML optimizer", section::kHtml, key::kEnableHtml);
    AddExplanation(layout,
                   "This optimizer is for HTML source files.  It will be run on all text files "
                   "that are identified as containing HTML code.");
    options_.push_back(AddCheck(layout, "Enable inline JavaScript optimizer", section::kHtml,
                                key::kEnableInlineJava));
    options_.push_back(
        AddCheck(layout, "Remove optional close tags", section::kHtml, key::kRemoveOptionalTags));
    options_.push_back(
        AddCheck(layout, "Remove unneeded WYSIWYG tags", section::kHtml, key::kRemoveWysiwygTags));
    options_.push_back(AddCheck(layout, "Strict Quote Rules", section::kHtml, key::kStrictQuotes));
    removeComments_ = AddCheck(layout, "Remove comments", section::kHtml, key::kRemoveComments);
    options_.push_back(removeComments_);
    auto* indent = new QVBoxLayout;
    indent->setContentsMargins(20, 0, 0, 0);
    keepIncludes_ = AddCheck(indent, "except non-hiding Server Side Includes", section::kHtml,
                             key::kIgnoreNonHidingComments);
    layout->addLayout(indent);
    auto* metaBox = new QFrame;
    auto* metaLayout = new QVBoxLayout(metaBox);
    QButtonGroup* meta = AddRadios(metaLayout,
                                   {"Remove unneeded <Meta> tags",
                                    "Remove <Meta Name=Generator> only", "Don't remove Meta tags"},
                                   section::kHtml, key::kMetaTagsOption);
    for (QAbstractButton* button : meta->buttons()) {
        options_.push_back(button);
    }
    layout->addWidget(metaBox);
    layout->addStretch();

    // Unchecking "Remove comments" also unchecks the exception that depends on it.
    connect(removeComments_, &QCheckBox::clicked, this, [this](bool checked) {
        if (!checked) {
            keepIncludes_->setChecked(false);
        }
        UpdateEnabledStates();
    });
}

void COptionsHTML::UpdateEnabledStates() {
    COptionsMasterPage::UpdateEnabledStates();
    keepIncludes_->setEnabled(master_->isChecked() && removeComments_->isChecked());
}

// JavaScript: the inline script optimizer.
COptionsJAVA::COptionsJAVA(const std::filesystem::path& desktopFolder)
    : COptionsMasterPage("JavaScript.html", desktopFolder) {
    auto* layout = new QVBoxLayout(this);
    master_ = AddCheck(layout, "Enable JavaScript optimizer", section::kJava, key::kEnableJava);
    AddExplanation(layout,
                   "This optimizer is for the JavaScript inside web pages.  It will be run on "
                   "every script element that holds JavaScript.");
    options_.push_back(AddCheck(layout, "Remove comments", section::kJava, key::kRemoveComments));
    auto* indent = new QVBoxLayout;
    indent->setContentsMargins(20, 0, 0, 0);
    options_.push_back(AddCheck(indent, "except non-hiding Server Side Includes", section::kJava,
                                key::kKeepServerSideComments));
    layout->addLayout(indent);
    layout->addStretch();
}

COptionsXML::COptionsXML(const std::filesystem::path& desktopFolder)
    : COptionsPage("XML.html", desktopFolder) {
    auto* layout = new QVBoxLayout(this);
    AddCheck(layout, "Enable XML optimizer", section::kXml, key::kEnableXml);
    AddExplanation(layout,
                   "This optimizer is for XML files.  XML files are copied with the site; "
                   "their content is left as it is.");
    layout->addStretch();
}

// GIF: the GIF optimizer and its options.
COptionsGIF::COptionsGIF(const std::filesystem::path& desktopFolder)
    : COptionsMasterPage("GIF.html", desktopFolder) {
    auto* layout = new QVBoxLayout(this);
    master_ = AddCheck(layout, "Enable GIF optimizer", section::kGif, key::kEnableGif);
    AddExplanation(layout,
                   "This optimizer is for GIF image files.  It will be run on all files that are "
                   "identified by internal structures as GIFs.");
    options_.push_back(
        AddCheck(layout, "Remove all comments", section::kGif, key::kRemoveComments));
    options_.push_back(AddCheck(layout, "Remove information not supported by browsers",
                                section::kGif, key::kRemoveUnsupported));
    options_.push_back(
        AddCheck(layout, "Force global palette usage", section::kGif, key::kGlobalPalette));
    options_.push_back(
        AddCheck(layout, "Compact and remove unused colors", section::kGif, key::kCompactColors));
    layout->addStretch();
}

// JPEG: the metadata stripping and the lossless recompression after it.
COptionsJPEG::COptionsJPEG(const std::filesystem::path& desktopFolder)
    : COptionsMasterPage("JPEG.html", desktopFolder) {
    auto* layout = new QVBoxLayout(this);
    master_ = AddCheck(layout, "Enable JPEG optimizer", section::kJpeg, key::kEnableJpeg);
    AddExplanation(layout,
                   "This optimizer is for JPEG image files. It will be run on all files that are "
                   "identified by internal structure as JPEGs.");
    // In the order of the stored values: 0 strip only, 1 optimized tables, 2 progressive.
    QButtonGroup* recompress =
        AddRadios(layout,
                  {"Remove metadata only", "Also recompress with optimized Huffman tables",
                   "Also recompress as progressive JPEG (smallest)"},
                  section::kJpeg, key::kJpegRecompress);
    for (QAbstractButton* button : recompress->buttons()) {
        options_.push_back(button);
    }
    layout->addStretch();
}

}  // namespace quillon
