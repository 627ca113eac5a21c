// The results dialog: how much smaller each kind of file became, how much faster the site
// downloads at three line speeds, and where the report is.
#pragma once

#include <QDialog>

#include "pipeline/Results.h"

class QLabel;
class QLineEdit;
class QProgressBar;

namespace quillon {

class CResults : public QDialog {
    Q_OBJECT

  public:
    // reportPath: the report the run wrote; empty when it wrote none.
    CResults(const RunResults& results, const QString& reportPath, QWidget* parent = nullptr);

    // For tests: the figure in a row ("Files", "Original Size", "New Size") and column
    // (0 web pages, 1 GIF, 2 JPEG); the texts and bars of the performance group.
    QString Figure(int row, int column) const;
    QString SmallerText() const;
    QString FasterText() const;
    int BarPosition(int speed) const;
    QString Seconds(int speed) const;

  signals:
    void ViewReportRequested();
    void OpenReportFolderRequested();

  private:
    QWidget* MakeSpaceGroup(const RunResults& results);
    QWidget* MakePerformanceGroup(const RunResults& results);
    QWidget* MakeReportRow(const QString& reportPath);
    QWidget* MakeButtons(const QString& reportPath);

    // A row per figure, a column per kind of file.
    static constexpr int kColumns = static_cast<int>(kFileKindCount);
    QLineEdit* figures_[3][kColumns] = {};
    QLabel* smaller_ = nullptr;
    QLabel* faster_ = nullptr;
    QProgressBar* bars_[3] = {};
    QLineEdit* seconds_[3] = {};
};

}  // namespace quillon
