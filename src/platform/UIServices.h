#pragma once

#include "platform/FolderItem.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

class QObject;

namespace zpc::platform {

// Icons of the message dialog, by the framework's numbers.
enum DialogIcon { kIconNote = 0, kIconCaution = 1, kIconStop = 2, kIconQuestion = 3 };

// Answers of the message dialog.
enum DialogAnswer { kAnswerCancel = 0, kAnswerAction = 1, kAnswerAlternate = 2 };

struct MessageDialogRequest {
    int icon = kIconNote;
    QString message;
    QString explanation;
    QString actionCaption = QStringLiteral("OK");
    bool alternateVisible = false;
    QString alternateCaption;
    bool cancelVisible = false;
    QString cancelCaption = QStringLiteral("Cancel");
    // Set: shown modally attached to that window; nil: free-standing.
    QObject* window = nullptr;
};

struct FileDialogRequest {
    enum Kind { Open, SaveAs, SelectFolder };
    Kind kind = Open;
    QString title;
    QString promptText;
    QString suggestedFileName;
    // A file type name ("special/any") or empty for none.
    QString filter;
    FolderItemPtr initialDirectory;
    // Set: shown as a sheet of that window.
    QObject* window = nullptr;
};

struct PopUpMenuRequest {
    QStringList entries;  // "-" is a separator
    QPoint globalPosition;
};

// Every modal interaction of the program goes through this boundary: the real
// dialogs in the application, standard error in the command-line tool, and a
// script in tests.
class UIServices {
public:
    virtual ~UIServices();

    // A plain modal message box with an OK button.
    virtual void msgBox(const QString& text) = 0;
    // Answers the button pressed (DialogAnswer).
    virtual int messageDialog(const MessageDialogRequest& request) = 0;
    // The chosen entry, or nil when cancelled.
    virtual FolderItemPtr fileDialog(const FileDialogRequest& request) = 0;
    // Index of the chosen entry, or -1.
    virtual int popUpMenu(const PopUpMenuRequest& request) = 0;
    // Shows the entry in the desktop's file manager.
    virtual void revealFile(const FolderItemPtr& item) = 0;
    // Opens the entry with the application the desktop associates with it.
    virtual bool launchFile(const FolderItemPtr& item) = 0;

    // Long work (see ProgressScope and yield).
    virtual void beginProgress(const QString& label);
    virtual void endProgress();
    virtual void yieldPoint();
};

// The services in use. Never nil: until set, messages go to standard error
// and every dialog is cancelled.
UIServices& ui();
// Installs services and answers the ones they replace.
std::shared_ptr<UIServices> setUI(std::shared_ptr<UIServices> services);

// Installs services for the life of the object.
class ScopedUI {
public:
    explicit ScopedUI(std::shared_ptr<UIServices> services) : mPrevious(setUI(std::move(services))) {}
    ~ScopedUI() { setUI(mPrevious); }

private:
    std::shared_ptr<UIServices> mPrevious;
};

// Messages go to standard error word for word; dialogs take the answers set
// beforehand (from the command line), and cancel otherwise.
class ConsoleUIServices : public UIServices {
public:
    void msgBox(const QString& text) override;
    int messageDialog(const MessageDialogRequest& request) override;
    FolderItemPtr fileDialog(const FileDialogRequest& request) override;
    int popUpMenu(const PopUpMenuRequest& request) override;
    void revealFile(const FolderItemPtr& item) override;
    bool launchFile(const FolderItemPtr& item) override;
    void beginProgress(const QString& label) override;
    void endProgress() override;
    void yieldPoint() override;

    void queueFileAnswer(FolderItemPtr item) { mFileAnswers.push_back(std::move(item)); }
    void setDialogAnswer(int answer) { mDialogAnswer = answer; }
    // A one-line progress report, only when standard error is a terminal.
    void setShowProgress(bool show) { mShowProgress = show; }
    int messageCount() const { return mMessages; }

private:
    void clearProgressLine();
    std::deque<FolderItemPtr> mFileAnswers;
    int mDialogAnswer = kAnswerCancel;
    bool mShowProgress = false;
    int mMessages = 0;
    int mDepth = 0;
    QString mLabel;
    long long mStartNs = 0;
    int mSpinner = 0;
    bool mLineShown = false;
};

// The stand-in for tests: answers come from queues the test fills, and every
// message, dialog and request is recorded so a test can check the exact text.
class ScriptedUIServices : public UIServices {
public:
    struct Shown {
        enum Kind { MsgBox, MessageDialog };
        Kind kind;
        QString text;         // the message box text or the dialog's message
        QString explanation;  // dialogs only
        int icon = kIconNote;
        MessageDialogRequest request;
    };

    void msgBox(const QString& text) override;
    int messageDialog(const MessageDialogRequest& request) override;
    FolderItemPtr fileDialog(const FileDialogRequest& request) override;
    int popUpMenu(const PopUpMenuRequest& request) override;
    void revealFile(const FolderItemPtr& item) override;
    bool launchFile(const FolderItemPtr& item) override;
    void beginProgress(const QString& label) override;
    void endProgress() override;
    void yieldPoint() override;

    void queueDialogAnswer(int answer) { mDialogAnswers.push_back(answer); }
    void queueFileAnswer(FolderItemPtr item) { mFileAnswers.push_back(std::move(item)); }
    void queuePopUpAnswer(int index) { mPopUpAnswers.push_back(index); }

    // The texts of everything shown, in order.
    QStringList messages() const;
    const std::vector<Shown>& shown() const { return mShown; }
    const std::vector<FileDialogRequest>& fileDialogs() const { return mFileDialogs; }
    const std::vector<PopUpMenuRequest>& popUps() const { return mPopUps; }
    const std::vector<FolderItemPtr>& revealed() const { return mRevealed; }
    const std::vector<FolderItemPtr>& launched() const { return mLaunched; }
    const QStringList& progressLabels() const { return mProgressLabels; }
    int yieldPoints() const { return mYieldPoints; }
    // Requests that found no queued answer (and were cancelled).
    int unanswered() const { return mUnanswered; }
    void clear();

private:
    std::vector<Shown> mShown;
    std::vector<FileDialogRequest> mFileDialogs;
    std::vector<PopUpMenuRequest> mPopUps;
    std::vector<FolderItemPtr> mRevealed;
    std::vector<FolderItemPtr> mLaunched;
    QStringList mProgressLabels;
    std::deque<int> mDialogAnswers;
    std::deque<FolderItemPtr> mFileAnswers;
    std::deque<int> mPopUpAnswers;
    int mYieldPoints = 0;
    int mUnanswered = 0;
};

}  // namespace zpc::platform
