// The desktop's answers to the window's questions: message boxes, file dialogs, the results
// dialog and programs started without a shell.
#pragma once

#include "ui/Prompts.h"

namespace quillon {

class WidgetPrompts : public UserPrompts {
  public:
    void Message(QWidget* parent, const QString& text, MessageIcon icon) override;
    bool OkCancel(QWidget* parent, const QString& text) override;
    bool YesNo(QWidget* parent, const QString& text) override;
    ExistsAnswer DestinationExists(QWidget* parent, const QString& text) override;
    QString ChooseFolder(QWidget* parent, const QString& title) override;
    QString ChooseFile(QWidget* parent, const QString& title, const QString& filters) override;
    void ShowResults(QWidget* parent, const RunResults& results, const QString& reportPath,
                     const ResultsActions& actions) override;
    void OpenDocument(const QString& program, const QString& path,
                      std::function<void()> failed) override;
};

}  // namespace quillon
