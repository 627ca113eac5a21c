#include "ui/ResultsDlg.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "pipeline/FileKinds.h"
#include "ui/ElidedLabel.h"

namespace quillon {
namespace {

QLineEdit* Field(const QString& text) {
    auto* field = new QLineEdit(text);
    field->setReadOnly(true);
    field->setAlignment(Qt::AlignRight);
    field->setMinimumWidth(90);
    return field;
}

// "The files are / 20.0 % / smaller", with the figure large and bold.
QWidget* BigFigure(const QString& before, QLabel* figure, const QString& after) {
    QFont font = figure->font();
    font.setPointSize(font.pointSize() * 2);
    font.setBold(true);
    figure->setFont(font);
    figure->setStyleSheet("color: #340080;");
    figure->setAlignment(Qt::AlignCenter);
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    for (QLabel* label : {new QLabel(before), figure, new QLabel(after)}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    return box;
}

}  // namespace

CResults::CResults(const RunResults& results, const QString& reportPath, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Quillon Results");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeSpaceGroup(results));
    layout->addWidget(MakePerformanceGroup(results));
    layout->addWidget(MakeReportRow(reportPath));
    layout->addWidget(MakeButtons(reportPath));
}

// The report's path across the dialog, elided in the middle, in full as the tooltip.
QWidget* CResults::MakeReportRow(const QString& reportPath) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* path = new ElidedLabel;
    path->setObjectName("reportPath");
    path->SetFullText(reportPath.isEmpty() ? "No report was written." : reportPath, reportPath);
    layout->addWidget(new QLabel("Report:"));
    layout->addWidget(path, 1);
    return row;
}

// Besides View Report, a way to the report's folder for a desktop that has no program to show
// the report; all three only when there is a report.
QWidget* CResults::MakeButtons(const QString& reportPath) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QPushButton* viewReport = buttons->addButton("View &Report", QDialogButtonBox::ActionRole);
    QPushButton* openFolder = buttons->addButton("Open &Folder", QDialogButtonBox::ActionRole);
    QPushButton* copyPath = buttons->addButton("&Copy Path", QDialogButtonBox::ActionRole);
    for (QPushButton* button : {viewReport, openFolder, copyPath}) {
        button->setEnabled(!reportPath.isEmpty());
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(viewReport, &QPushButton::clicked, this, &CResults::ViewReportRequested);
    connect(openFolder, &QPushButton::clicked, this, &CResults::OpenReportFolderRequested);
    connect(copyPath, &QPushButton::clicked, this,
            [reportPath] { QGuiApplication::clipboard()->setText(reportPath); });
    return buttons;
}

QWidget* CResults::MakeSpaceGroup(const RunResults& results) {
    auto* group = new QGroupBox("Space Saved");
    auto* outer = new QHBoxLayout(group);
    auto* grid = new QGridLayout;
    const char* rows[] = {"Files", "Original Size", "New Size"};
    const auto kinds = FileKinds();
    for (int column = 0; column < kColumns; ++column) {
        const std::string_view label = kinds[static_cast<std::size_t>(column)].shortLabel;
        grid->addWidget(new QLabel(QString::fromUtf8(label.data(), static_cast<int>(label.size()))),
                        0, column + 1, Qt::AlignRight);
    }
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(new QLabel(rows[row]), row + 1, 0);
        for (int column = 0; column < kColumns; ++column) {
            const TypeFigures& figures = results.counters.kinds[static_cast<std::size_t>(column)];
            const std::uint32_t value = row == 0   ? figures.files
                                        : row == 1 ? figures.bytesBefore
                                                   : figures.bytesAfter;
            figures_[row][column] = Field(QString::fromStdString(FormatNumber(value)));
            grid->addWidget(figures_[row][column], row + 1, column + 1);
        }
    }
    outer->addLayout(grid);
    smaller_ = new QLabel(QString::fromStdString(results.smallerText));
    outer->addWidget(BigFigure("The files are", smaller_, "smaller"));
    return group;
}

QWidget* CResults::MakePerformanceGroup(const RunResults& results) {
    auto* group = new QGroupBox("Performance Gains");
    auto* outer = new QHBoxLayout(group);
    auto* grid = new QGridLayout;
    for (int speed = 0; speed < 3; ++speed) {
        bars_[speed] = new QProgressBar;
        bars_[speed]->setRange(0, 100);
        // When nothing was saved every bar stays at 0.
        bars_[speed]->setValue(results.saved ? results.barPositions[speed] : 0);
        seconds_[speed] = Field(QString::fromStdString(results.secondsText[speed]));
        seconds_[speed]->setMinimumWidth(60);
        grid->addWidget(new QLabel(kLineSpeeds[speed].label), speed, 0);
        grid->addWidget(bars_[speed], speed, 1);
        grid->addWidget(seconds_[speed], speed, 2);
        grid->addWidget(new QLabel("Seconds"), speed, 3);
    }
    outer->addLayout(grid);
    faster_ = new QLabel(QString::fromStdString(results.fasterText));
    outer->addWidget(BigFigure("Your site is", faster_, "faster"));
    return group;
}

QString CResults::Figure(int row, int column) const {
    return figures_[row][column]->text();
}
QString CResults::SmallerText() const {
    return smaller_->text();
}
QString CResults::FasterText() const {
    return faster_->text();
}
int CResults::BarPosition(int speed) const {
    return bars_[speed]->value();
}
QString CResults::Seconds(int speed) const {
    return seconds_[speed]->text();
}

}  // namespace quillon
