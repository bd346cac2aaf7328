#include "platform/UIServices.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace zpc::platform {

UIServices::~UIServices() = default;
void UIServices::beginProgress(const QString&) {}
void UIServices::endProgress() {}
void UIServices::yieldPoint() {}

namespace {

std::shared_ptr<UIServices>& current() {
    static std::shared_ptr<UIServices> services = std::make_shared<ConsoleUIServices>();
    return services;
}

void writeErr(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

long long monoNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

}  // namespace

UIServices& ui() { return *current(); }

std::shared_ptr<UIServices> setUI(std::shared_ptr<UIServices> services) {
    auto previous = current();
    current() = services ? std::move(services) : std::make_shared<ConsoleUIServices>();
    return previous;
}

// ---- Console ----

void ConsoleUIServices::clearProgressLine() {
    if (!mLineShown) return;
    std::fputs("\r\033[K", stderr);
    mLineShown = false;
}

void ConsoleUIServices::msgBox(const QString& text) {
    clearProgressLine();
    ++mMessages;
    writeErr(text);
}

int ConsoleUIServices::messageDialog(const MessageDialogRequest& request) {
    clearProgressLine();
    ++mMessages;
    writeErr(request.message);
    if (!request.explanation.isEmpty()) writeErr(request.explanation);
    return mDialogAnswer;
}

FolderItemPtr ConsoleUIServices::fileDialog(const FileDialogRequest&) {
    if (mFileAnswers.empty()) return nullptr;
    FolderItemPtr item = mFileAnswers.front();
    mFileAnswers.pop_front();
    return item;
}

int ConsoleUIServices::popUpMenu(const PopUpMenuRequest&) { return -1; }
void ConsoleUIServices::revealFile(const FolderItemPtr&) {}
bool ConsoleUIServices::launchFile(const FolderItemPtr&) { return false; }

void ConsoleUIServices::beginProgress(const QString& label) {
    if (mDepth++ == 0) mStartNs = monoNs();
    mLabel = label;
}

void ConsoleUIServices::endProgress() {
    if (mDepth > 0 && --mDepth == 0) clearProgressLine();
}

void ConsoleUIServices::yieldPoint() {
    if (!mShowProgress || mDepth == 0 || !isatty(STDERR_FILENO)) return;
    if (monoNs() - mStartNs < 500'000'000LL) return;
    static const char spin[] = "|/-\\";
    const QByteArray line = mLabel.toUtf8();
    std::fprintf(stderr, "\r\033[K%c %s", spin[mSpinner++ & 3], line.constData());
    std::fflush(stderr);
    mLineShown = true;
}

// ---- Scripted ----

void ScriptedUIServices::msgBox(const QString& text) {
    Shown s{Shown::MsgBox, text, {}, kIconNote, {}};
    s.request.message = text;
    mShown.push_back(s);
}

int ScriptedUIServices::messageDialog(const MessageDialogRequest& request) {
    mShown.push_back({Shown::MessageDialog, request.message, request.explanation, request.icon, request});
    if (mDialogAnswers.empty()) {
        ++mUnanswered;
        return kAnswerCancel;
    }
    const int answer = mDialogAnswers.front();
    mDialogAnswers.pop_front();
    return answer;
}

FolderItemPtr ScriptedUIServices::fileDialog(const FileDialogRequest& request) {
    mFileDialogs.push_back(request);
    if (mFileAnswers.empty()) {
        ++mUnanswered;
        return nullptr;
    }
    FolderItemPtr item = mFileAnswers.front();
    mFileAnswers.pop_front();
    return item;
}

int ScriptedUIServices::popUpMenu(const PopUpMenuRequest& request) {
    mPopUps.push_back(request);
    if (mPopUpAnswers.empty()) {
        ++mUnanswered;
        return -1;
    }
    const int answer = mPopUpAnswers.front();
    mPopUpAnswers.pop_front();
    return answer;
}

void ScriptedUIServices::revealFile(const FolderItemPtr& item) { mRevealed.push_back(item); }

bool ScriptedUIServices::launchFile(const FolderItemPtr& item) {
    mLaunched.push_back(item);
    return true;
}

void ScriptedUIServices::beginProgress(const QString& label) { mProgressLabels << label; }
void ScriptedUIServices::endProgress() {}
void ScriptedUIServices::yieldPoint() { ++mYieldPoints; }

QStringList ScriptedUIServices::messages() const {
    QStringList out;
    for (const auto& s : mShown) out << s.text;
    return out;
}

void ScriptedUIServices::clear() { *this = ScriptedUIServices(); }

}  // namespace zpc::platform
