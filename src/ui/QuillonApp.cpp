#include "ui/QuillonApp.h"

#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/Platform.h"

namespace quillon {
namespace {

constexpr const char* kUsage =
    "Usage: quillon [PATH]\n"
    "\n"
    "Opens the Quillon window. With PATH, a folder or a file, the window selects it and\n"
    "starts a run on it at once, with your settings.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "The same runs without a window: quillon-cli --help.\n";

}  // namespace

CQuillonApp::CQuillonApp(int& argc, char** argv)
    : application_(argc, argv),
      paths_(MakeDerivedPaths(QCoreApplication::applicationDirPath().toStdString())) {
    QApplication::setOrganizationName("Tallowick");
    QApplication::setApplicationName("Quillon");
    // Ties the window to quillon.desktop, whose icon the desktop shows for it.
    QGuiApplication::setDesktopFileName("quillon");
    // The installed theme icon has rendered sizes, which need no SVG support at run time.
    QApplication::setWindowIcon(QIcon::fromTheme("quillon", QIcon(":/quillon.svg")));
    // Styles give icons to the standard buttons only (OK, Cancel, Save), which left the others
    // (View Report, Defaults, Modify) bare beside them: no button has one.
    application_.setStyleSheet("QDialogButtonBox { dialogbuttonbox-buttons-have-icons: 0; }");
}

std::optional<std::string> CQuillonApp::CommandLineAnswer(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return kUsage;
        }
        if (argument == "--version") {
            return "quillon " QUILLON_VERSION "\n";
        }
    }
    return std::nullopt;
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
