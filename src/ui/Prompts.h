// The window's message boxes, choosers and program starts, behind one interface: the window
// asks through it, the desktop answers with real dialogs, and tests answer from a script so that
// no test blocks on a modal dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "pipeline/Results.h"
#include "pipeline/RunView.h"

class QWidget;

namespace quillon {

enum class MessageIcon { kInformation, kWarning, kStop };

class UserPrompts {
  public:
    virtual ~UserPrompts() = default;

    virtual void Message(QWidget* parent, const QString& text, MessageIcon icon) = 0;
    // OK/Cancel; true for OK.
    virtual bool OkCancel(QWidget* parent, const QString& text) = 0;
    // Yes/No with the stop icon; true for Yes.
    virtual bool YesNo(QWidget* parent, const QString& text) = 0;
    virtual ExistsAnswer DestinationExists(QWidget* parent, const QString& text) = 0;
    // The chosen folder or file; empty when cancelled.
    virtual QString ChooseFolder(QWidget* parent, const QString& title) = 0;
    virtual QString ChooseFile(QWidget* parent, const QString& title, const QString& filters) = 0;
    // The results dialog, modal; its "View Report" button calls viewReport.
    virtual void ShowResults(QWidget* parent, const RunResults& results,
                             const std::function<void()>& viewReport) = 0;
    // Starts a program with the arguments as they are: no shell sees them. False when it could
    // not start.
    virtual bool StartProgram(const QString& program, const QStringList& arguments) = 0;
    // Opens a file with the program the desktop associates with it.
    virtual bool OpenWithDefault(const QString& path) = 0;
};

}  // namespace quillon
