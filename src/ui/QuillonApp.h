// The desktop application: its settings, its folders and its one window.
#pragma once

#include <QApplication>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "app/QtSettingsStore.h"
#include "pipeline/DerivedPaths.h"
#include "ui/QuillonDlg.h"
#include "ui/WidgetPrompts.h"

namespace quillon {

class CQuillonApp {
  public:
    CQuillonApp(int& argc, char** argv);
    // Runs the window until it closes; returns the process's exit code.
    int Run();

    // The one optional path of the command line, surrounding double quotes removed.
    static QString StartPath(const QStringList& arguments);

    // The text that --help or --version asks for, or nothing when the window is to start.
    static std::optional<std::string> CommandLineAnswer(int argc, char** argv);

    // For a start that must not go on (no home folder): says why on standard error and, when
    // there is a display to show it on, in a message box. Returns the exit code.
    static int RefuseToStart(int& argc, char** argv, const std::string& problem);

  private:
    QApplication application_;
    QtSettingsStore settings_;
    DerivedPaths paths_;
    WidgetPrompts prompts_;
    std::unique_ptr<CQuillonDlg> window_;
};

}  // namespace quillon
