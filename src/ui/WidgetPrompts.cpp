#include "ui/WidgetPrompts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <utility>

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

// The run's texts indent paths with a tab, which takes a quarter of the width a message box allows
// itself on a small screen at 2x scale and made the path wrap; a few spaces indent it as well.
QString IndentedWithSpaces(QString text) {
    return text.replace('\t', "    ");
}

}  // namespace

void WidgetPrompts::Message(QWidget* parent, const QString& text, MessageIcon icon) {
    QMessageBox box(ToQt(icon), "Quillon", IndentedWithSpaces(text), QMessageBox::Ok, parent);
    box.exec();
}

bool WidgetPrompts::OkCancel(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, "Quillon", text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    return box.exec() == QMessageBox::Ok;
}

bool WidgetPrompts::YesNo(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, "Quillon", IndentedWithSpaces(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

ExistsAnswer WidgetPrompts::DestinationExists(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, "Destination Exists", IndentedWithSpaces(text),
                    QMessageBox::NoButton, parent);
    // The roles let the style put the buttons in the platform's order; Modify, which overwrites
    // nothing, is the default and Esc cancels.
    QPushButton* replace = box.addButton("&Replace", QMessageBox::DestructiveRole);
    QPushButton* modify = box.addButton("&Modify", QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(modify);
    box.setEscapeButton(cancel);
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
                                const QString& reportPath, const ResultsActions& actions) {
    CResults dialog(results, reportPath, parent);
    QObject::connect(&dialog, &CResults::ViewReportRequested, [&actions] { actions.viewReport(); });
    QObject::connect(&dialog, &CResults::OpenReportFolderRequested,
                     [&actions] { actions.openReportFolder(); });
    dialog.exec();
}

void WidgetPrompts::OpenDocument(const QString& program, const QString& path,
                                 std::function<void()> failed) {
    if (!program.isEmpty()) {
        if (!QProcess::startDetached(program, {path})) {
            failed();
        }
        return;
    }
    const QString opener = QStandardPaths::findExecutable("xdg-open");
    if (opener.isEmpty()) {
        // Without xdg-open Qt knows only whether it could start a launcher.
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
            failed();
        }
        return;
    }
    // xdg-open starts and exits at once when it finds no program for the file, so its exit code
    // is the only sign of failure. It has no parent: a viewer it runs in its place must outlive
    // the window rather than be killed with it.
    auto* opening = new QProcess;
    opening->setProcessChannelMode(QProcess::ForwardedChannels);
    opening->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(opening, &QProcess::finished,
                     [opening, failed](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0) {
                             failed();
                         }
                         opening->deleteLater();
                     });
    QObject::connect(opening, &QProcess::errorOccurred,
                     [opening, failed = std::move(failed)](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             failed();
                             opening->deleteLater();
                         }
                     });
    opening->start(opener, {path});
}

}  // namespace quillon
