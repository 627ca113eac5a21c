// Answers the window's questions from a script and records what it showed, so that no test
// blocks on a modal dialog.
#pragma once

#include <QStringList>
#include <vector>

#include "ui/Prompts.h"

namespace quillon::test {

class ScriptedPrompts : public UserPrompts {
  public:
    void Message(QWidget*, const QString& text, MessageIcon) override {
        Note(text);
        WhileOpen();
    }
    bool OkCancel(QWidget*, const QString& text) override {
        Note(text);
        return okAnswer;
    }
    bool YesNo(QWidget*, const QString& text) override {
        Note(text);
        return false;  // no error log is opened
    }
    ExistsAnswer DestinationExists(QWidget*, const QString& text) override {
        shown << text;
        return ExistsAnswer::kModify;  // the real message box takes each answer
    }
    QString ChooseFolder(QWidget*, const QString& title) override {
        shown << title;
        return folderAnswer;
    }
    QString ChooseFile(QWidget*, const QString& title, const QString&) override {
        shown << title;
        return fileAnswer;
    }
    void ShowResults(QWidget*, const RunResults& shownResults, const QString& shownReport,
                     const ResultsActions& actions) override {
        results.push_back(shownResults);
        reports << shownReport;
        resultsActions = actions;
        WhileOpen();
    }
    void OpenDocument(const QString& program, const QString& path,
                      std::function<void()> failed) override {
        started << (program.isEmpty() ? path : program + " " + path);
        if (!openAnswer) {
            failed();
        }
    }

    // Messages, questions and chooser titles, in order.
    QStringList shown;
    std::vector<RunResults> results;
    QStringList reports;  // the report path each results dialog named
    ResultsActions resultsActions;
    QStringList started;
    // Prompts that came while a message or the results dialog was open.
    QStringList stacked;
    // Runs while a message or the results dialog is open, as a user takes time to read it.
    std::function<void()> whileOpen;

    bool okAnswer = true;
    bool openAnswer = true;
    QString folderAnswer;
    QString fileAnswer;

  private:
    void Note(const QString& text) {
        shown << text;
        if (open_ > 0) {
            stacked << text;
        }
    }
    void WhileOpen() {
        ++open_;
        if (whileOpen) {
            whileOpen();
        }
        --open_;
    }

    int open_ = 0;
};

}  // namespace quillon::test
