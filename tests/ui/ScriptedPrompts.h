// Answers the window's questions from a script and records what it showed, so that no test
// blocks on a modal dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "ui/Prompts.h"

namespace quillon::test {

class ScriptedPrompts : public UserPrompts {
  public:
    void Message(QWidget*, const QString& text, MessageIcon) override { shown << text; }
    bool OkCancel(QWidget*, const QString& text) override {
        shown << text;
        return okAnswer;
    }
    bool YesNo(QWidget*, const QString& text) override {
        shown << text;
        return yesAnswer;
    }
    ExistsAnswer DestinationExists(QWidget*, const QString& text) override {
        shown << text;
        return existsAnswer;
    }
    QString ChooseFolder(QWidget*, const QString& title) override {
        shown << title;
        return folderAnswer;
    }
    QString ChooseFile(QWidget*, const QString& title, const QString&) override {
        shown << title;
        return fileAnswer;
    }
    void ShowResults(QWidget*, const RunResults& shownResults,
                     const std::function<void()>&) override {
        results.push_back(shownResults);
    }
    bool StartProgram(const QString& program, const QStringList& arguments) override {
        started << (program + " " + arguments.join(' '));
        return true;
    }
    bool OpenWithDefault(const QString& path) override {
        started << path;
        return openAnswer;
    }

    // Messages, questions and chooser titles, in order.
    QStringList shown;
    std::vector<RunResults> results;
    QStringList started;

    bool okAnswer = true;
    bool yesAnswer = false;
    bool openAnswer = true;
    ExistsAnswer existsAnswer = ExistsAnswer::kModify;
    QString folderAnswer;
    QString fileAnswer;
};

}  // namespace quillon::test
