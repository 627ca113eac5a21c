#include "ui/HelpPane.h"

#include <QCoreApplication>
#include <QFile>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <utility>

namespace quillon {

// Not QWidget::adjustSize, which keeps a window to two thirds of the screen: at 2x scale on a
// laptop that is less than the settings dialog needs, and its controls were squeezed together.
void FitToContents(QWidget* window) {
    // The layouts learn of a pane shown or hidden through posted requests, and until those are
    // handled a main window still counts a pane of its central widget that has gone.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (QLayout* layout = window->layout()) {
        layout->invalidate();
        layout->activate();  // sets the window's minimum size, which resize keeps to
    }
    QSize size = window->sizeHint();
    if (const QScreen* screen = window->screen()) {
        size = size.boundedTo(screen->availableSize());
    }
    window->resize(size);
}

HelpPane::HelpPane(std::filesystem::path helpFolder, QWidget* parent)
    : QTextBrowser(parent), helpFolder_(std::move(helpFolder)) {
    setOpenExternalLinks(true);
    setMinimumHeight(160);
}

void HelpPane::ShowFile(const QString& name) {
    clear();
    QFile file(QString::fromStdString((helpFolder_ / name.toStdString()).string()));
    if (file.open(QIODevice::ReadOnly)) {
        setHtml(QString::fromUtf8(file.readAll()));
    }
}

void HelpPane::AttachToggle(QPushButton* toggle, std::function<void()> resized) {
    toggle_ = toggle;
    resized_ = std::move(resized);
    connect(toggle_, &QPushButton::clicked, this, [this] { SetExpanded(!Expanded()); });
    SetExpanded(false);
}

void HelpPane::SetExpanded(bool expanded) {
    setVisible(expanded);
    if (toggle_) {
        // Alt+H belongs to the Help menu.
        toggle_->setText(expanded ? "He&lp  <<" : "He&lp  >>");
    }
    if (resized_) {
        resized_();
    }
}

}  // namespace quillon
