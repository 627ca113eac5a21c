// The desktop application: its settings, its folders and its one window.
#pragma once

#include <QApplication>
#include <QString>
#include <memory>

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

  private:
    QApplication application_;
    QtSettingsStore settings_;
    DerivedPaths paths_;
    WidgetPrompts prompts_;
    std::unique_ptr<CQuillonDlg> window_;
};

}  // namespace quillon
