// The window's message boxes, choosers and program starts, behind one interface: the window
// asks through it, the desktop answers with real dialogs, and tests answer from a script so that
// no test blocks on a modal dialog.
#pragma once

#include <QString>
#include <functional>

#include "pipeline/Results.h"
#include "pipeline/RunView.h"

class QWidget;

namespace quillon {

enum class MessageIcon { kInformation, kWarning, kStop };

// What the buttons of the results dialog do.
struct ResultsActions {
    std::function<void()> viewReport;
    std::function<void()> openReportFolder;
};

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
    // The results dialog, modal. reportPath names the report the run wrote; empty when it wrote
    // none, and then the dialog offers neither to view it nor its folder.
    virtual void ShowResults(QWidget* parent, const RunResults& results, const QString& reportPath,
                             const ResultsActions& actions) = 0;
    // Opens a file or folder with `program` (as its one argument: no shell sees it) or, when
    // program is empty, with the program the desktop associates with it. `failed` is called on
    // this thread, at once or later, when no program could open it.
    virtual void OpenDocument(const QString& program, const QString& path,
                              std::function<void()> failed) = 0;
};

}  // namespace quillon
