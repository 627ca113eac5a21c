#include "ui/WindowRunView.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <utility>

namespace quillon {
namespace {

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString NoProgramText(const QString& path) {
    return "No program on this computer could open\n\n\t" + path +
           "\n\nPlease open it with a program of your choice.";
}

}  // namespace

WindowRunView::WindowRunView(QWidget* window, UserPrompts& prompts, std::function<void()> refresh,
                             std::function<void()> runDone)
    : window_(window),
      prompts_(prompts),
      refresh_(std::move(refresh)),
      runDone_(std::move(runDone)) {}

void WindowRunView::OnWindowThread(const std::function<void()>& work) {
    if (!window_) {
        return;
    }
    if (QThread::currentThread() == window_->thread()) {
        work();
    } else {
        WaitUntilEndClosed();
        QMetaObject::invokeMethod(window_, work, Qt::BlockingQueuedConnection);
    }
}

void WindowRunView::WaitUntilEndClosed() {
    std::unique_lock lock(endMutex_);
    callWaiting_ = endShown_;
    endClosed_.wait(lock, [this] { return !endShown_; });
    callWaiting_ = false;
}

void WindowRunView::EndClosed() {
    std::lock_guard lock(endMutex_);
    endShown_ = false;
    endClosed_.notify_all();
}

bool WindowRunView::CallWaiting() const {
    std::lock_guard lock(endMutex_);
    return callWaiting_;
}

void WindowRunView::SendProgress() {
    OnWindowThread(refresh_);
}

void WindowRunView::PostProgress() {
    if (window_) {
        QMetaObject::invokeMethod(window_, refresh_, Qt::QueuedConnection);
    }
}

void WindowRunView::PostRunDone() {
    {
        // Set before the end is queued: a question asked right after it must find it set.
        std::lock_guard lock(endMutex_);
        endShown_ = true;
    }
    if (window_) {
        QMetaObject::invokeMethod(window_, runDone_, Qt::QueuedConnection);
    }
}

std::optional<std::string> WindowRunView::ChooseFolder(std::string_view title) {
    QString chosen;
    OnWindowThread([&] { chosen = prompts_.ChooseFolder(window_, ToQString(title)); });
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.toStdString();
}

ExistsAnswer WindowRunView::AskDestinationExists(std::string_view text) {
    ExistsAnswer answer = ExistsAnswer::kCancel;
    OnWindowThread([&] { answer = prompts_.DestinationExists(window_, ToQString(text)); });
    return answer;
}

void WindowRunView::ShowMessage(std::string_view text) {
    OnWindowThread([&] { prompts_.Message(window_, ToQString(text), MessageIcon::kWarning); });
}

bool WindowRunView::AskYesNo(std::string_view text) {
    bool yes = false;
    OnWindowThread([&] { yes = prompts_.YesNo(window_, ToQString(text)); });
    return yes;
}

void WindowRunView::OpenDocument(const std::filesystem::path& program,
                                 const std::filesystem::path& document) {
    const QString path = QString::fromStdString(document.string());
    const QString launcher = QString::fromStdString(program.string());
    OnWindowThread([&] {
        prompts_.OpenDocument(launcher, path, [window = window_, &prompts = prompts_, path] {
            if (window) {
                // Over the dialog that asked for it, if one is open.
                QWidget* modal = QApplication::activeModalWidget();
                prompts.Message(modal ? modal : window.data(), NoProgramText(path),
                                MessageIcon::kWarning);
            }
        });
    });
}

}  // namespace quillon
