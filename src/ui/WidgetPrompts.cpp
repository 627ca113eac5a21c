#include "ui/WidgetPrompts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

#include "ui/ResultsDlg.h"

namespace quillon {
namespace {

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kInformation:
            return QMessageBox::Information;
        case MessageIcon::kWarning:
            return QMessageBox::Warning;
        case MessageIcon::kStop:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void WidgetPrompts::Message(QWidget* parent, const QString& text, MessageIcon icon) {
    QMessageBox box(ToQt(icon), "Quillon", text, QMessageBox::Ok, parent);
    box.exec();
}

bool WidgetPrompts::OkCancel(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, "Quillon", text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    return box.exec() == QMessageBox::Ok;
}

bool WidgetPrompts::YesNo(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, "Quillon", text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    return box.exec() == QMessageBox::Yes;
}

ExistsAnswer WidgetPrompts::DestinationExists(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, "Destination Exists", text, QMessageBox::NoButton,
                    parent);
    QPushButton* replace = box.addButton("&Replace", QMessageBox::DestructiveRole);
    QPushButton* modify = box.addButton("&Modify", QMessageBox::AcceptRole);
    box.addButton("&Cancel", QMessageBox::RejectRole);
    box.setDefaultButton(modify);
    box.exec();
    if (box.clickedButton() == replace) {
        return ExistsAnswer::kReplace;
    }
    return box.clickedButton() == modify ? ExistsAnswer::kModify : ExistsAnswer::kCancel;
}

QString WidgetPrompts::ChooseFolder(QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(parent, title, QDir::currentPath());
}

QString WidgetPrompts::ChooseFile(QWidget* parent, const QString& title, const QString& filters) {
    return QFileDialog::getOpenFileName(parent, title, QDir::currentPath(), filters);
}

void WidgetPrompts::ShowResults(QWidget* parent, const RunResults& results,
                                const std::function<void()>& viewReport) {
    CResults dialog(results, parent);
    QObject::connect(&dialog, &CResults::ViewReportRequested, [&viewReport] { viewReport(); });
    dialog.exec();
}

bool WidgetPrompts::StartProgram(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

bool WidgetPrompts::OpenWithDefault(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace quillon
