#include "ui/QuillonApp.h"

#include <QIcon>

#include "app/Platform.h"

namespace quillon {

CQuillonApp::CQuillonApp(int& argc, char** argv)
    : application_(argc, argv),
      paths_(MakeDerivedPaths(QCoreApplication::applicationDirPath().toStdString())) {
    QApplication::setOrganizationName("Tallowick");
    QApplication::setApplicationName("Quillon");
    QApplication::setWindowIcon(QIcon(":/quillon.svg"));
}

QString CQuillonApp::StartPath(const QStringList& arguments) {
    if (arguments.size() < 2) {
        return {};
    }
    QString path = arguments[1].trimmed();
    if (path.size() >= 2 && path.startsWith('"') && path.endsWith('"')) {
        path = path.mid(1, path.size() - 2);
    }
    return path;
}

int CQuillonApp::Run() {
    window_ = std::make_unique<CQuillonDlg>(settings_, paths_, prompts_,
                                            StartPath(QCoreApplication::arguments()));
    window_->show();
    const int result = QApplication::exec();
    window_.reset();
    settings_.Sync();
    return result;
}

}  // namespace quillon
