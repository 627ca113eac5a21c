#include "ui/QuillonApp.h"

#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

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
    // The window has shown a failure already; the exit code keeps it for whoever started us.
    if (!settings_.Sync()) {
        std::fprintf(stderr, "quillon: %s\n", settings_.SyncError().c_str());
        return result != 0 ? result : 4;
    }
    return result;
}

int CQuillonApp::RefuseToStart(int& argc, char** argv, const std::string& problem) {
    std::fprintf(stderr, "quillon: %s\n", problem.c_str());
    // Without a display QApplication cannot even start; standard error has to do then.
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (set("DISPLAY") || set("WAYLAND_DISPLAY")) {
        QApplication application(argc, argv);
        const QString platform = QGuiApplication::platformName();
        if (platform != "offscreen" && platform != "minimal") {
            QMessageBox::critical(nullptr, "Quillon", QString::fromStdString(problem));
        }
    }
    return 2;
}

}  // namespace quillon
