#include "ui/HelpPane.h"

#include <QFile>
#include <QPushButton>
#include <utility>

namespace quillon {

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
        toggle_->setText(expanded ? "&Help  <<" : "&Help  >>");
    }
    if (resized_) {
        resized_();
    }
}

}  // namespace quillon
