#include "ui/OptionsDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/HelpPane.h"

namespace quillon {
namespace {

// Asks for room for the whole page, as the page itself would; only a screen too short for it
// gets a scroll bar.
class PageArea : public QScrollArea {
  public:
    explicit PageArea(QWidget* page) {
        setWidget(page);
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    QSize sizeHint() const override { return widget()->sizeHint(); }
};

}  // namespace

COptionsDlg::COptionsDlg(SettingsStore& store, UserPrompts& prompts,
                         const std::filesystem::path& desktopFolder,
                         const std::filesystem::path& helpFolder, QWidget* parent)
    : QDialog(parent), store_(store) {
    setWindowTitle("Program Configuration");
    tree_ = new QTreeWidget;
    tree_->setHeaderHidden(true);
    tree_->setFixedWidth(150);
    stack_ = new QStackedWidget;
    noPage_ = new QWidget;
    stack_->addWidget(noPage_);

    // Category nodes carry no page.
    auto* general = new QTreeWidgetItem(tree_, {"General"});
    AddNode(general, "Destination", new COptionsTargets(prompts, desktopFolder));
    AddNode(general, "Reports", new COptionsReports(prompts, desktopFolder));
    auto* webPages = new QTreeWidgetItem(tree_, {"Web Pages"});
    AddNode(webPages, "HTML", new COptionsHTML(desktopFolder));
    AddNode(webPages, "JavaScript", new COptionsJAVA(desktopFolder));
    AddNode(webPages, "XML", new COptionsXML(desktopFolder));
    auto* graphics = new QTreeWidgetItem(tree_, {"Graphics"});
    AddNode(graphics, "GIF", new COptionsGIF(desktopFolder));
    AddNode(graphics, "JPEG", new COptionsJPEG(desktopFolder));
    tree_->expandAll();

    for (const auto& [name, page] : pages_) {
        page->Load(store_);
    }

    help_ = new HelpPane(helpFolder);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::RestoreDefaults);
    QPushButton* save = buttons->button(QDialogButtonBox::Save);
    save->setText("&Save");
    QPushButton* defaults = buttons->button(QDialogButtonBox::RestoreDefaults);
    defaults->setText("&Defaults");
    auto* helpToggle = new QPushButton;
    buttons->addButton(helpToggle, QDialogButtonBox::HelpRole);
    connect(save, &QPushButton::clicked, this, [this] {
        Save();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, &COptionsDlg::RestoreDefaults);

    // A page taller than the screen leaves room (2x scale on a laptop) scrolls rather than
    // squeezing its controls into one another.
    auto* top = new QHBoxLayout;
    top->addWidget(tree_);
    top->addWidget(new PageArea(stack_), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->addWidget(help_);
    help_->AttachToggle(helpToggle, [this] { FitToContents(this); });

    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { ShowPageOf(item); });
    SelectNode("Destination");
}

void COptionsDlg::AddNode(QTreeWidgetItem* parent, const QString& text, COptionsPage* page) {
    new QTreeWidgetItem(parent, {text});
    stack_->addWidget(page);
    pages_.emplace_back(text, page);
}

void COptionsDlg::ShowPageOf(QTreeWidgetItem* item) {
    COptionsPage* page = item ? Page(item->text(0)) : nullptr;
    stack_->setCurrentWidget(page ? static_cast<QWidget*>(page) : noPage_);
    if (page) {
        help_->ShowFile(page->HelpFile());
    } else {
        help_->clear();
    }
}

COptionsPage* COptionsDlg::CurrentPage() const {
    return qobject_cast<COptionsPage*>(stack_->currentWidget());
}

COptionsPage* COptionsDlg::Page(const QString& text) const {
    for (const auto& [name, page] : pages_) {
        if (name == text) {
            return page;
        }
    }
    return nullptr;
}

void COptionsDlg::SelectNode(const QString& text) {
    const QList<QTreeWidgetItem*> found =
        tree_->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    if (!found.isEmpty()) {
        tree_->setCurrentItem(found.front());
    }
}

void COptionsDlg::Save() {
    for (const auto& [name, page] : pages_) {
        page->Store(store_);
    }
}

// Nothing is stored until Save.
void COptionsDlg::RestoreDefaults() {
    for (const auto& [name, page] : pages_) {
        page->Defaults();
    }
}

}  // namespace quillon
