#include "platform/qt/QtUIServices.h"

#include "platform/DiskFolderItem.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QUrl>
#include <ctime>

namespace zpc::platform {

namespace {

long long monoNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

QWidget* widgetOf(QObject* window) {
    if (auto* w = qobject_cast<QWidget*>(window)) return w->window();
    return nullptr;
}

QMessageBox::Icon iconOf(int icon) {
    switch (icon) {
        case kIconCaution:
            return QMessageBox::Warning;
        case kIconStop:
            return QMessageBox::Critical;
        case kIconQuestion:
            return QMessageBox::Question;
        default:
            return QMessageBox::Information;
    }
}

}  // namespace

QtUIServices::QtUIServices() = default;
QtUIServices::~QtUIServices() {
    delete mDialog.data();
}

void QtUIServices::msgBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

int QtUIServices::messageDialog(const MessageDialogRequest& request) {
    QWidget* parent = widgetOf(request.window);
    QMessageBox box(iconOf(request.icon), QCoreApplication::applicationName(), request.message,
                    QMessageBox::NoButton, parent ? parent : QApplication::activeWindow());
    box.setInformativeText(request.explanation);
    if (parent) box.setWindowModality(Qt::WindowModal);
    QPushButton* action = box.addButton(request.actionCaption, QMessageBox::AcceptRole);
    QPushButton* alternate = nullptr;
    QPushButton* cancel = nullptr;
    if (request.alternateVisible)
        alternate = box.addButton(request.alternateCaption, QMessageBox::DestructiveRole);
    if (request.cancelVisible) {
        cancel = box.addButton(request.cancelCaption, QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
    }
    box.setDefaultButton(action);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == action) return kAnswerAction;
    if (alternate && clicked == alternate) return kAnswerAlternate;
    return kAnswerCancel;
}

FolderItemPtr QtUIServices::fileDialog(const FileDialogRequest& request) {
    QWidget* parent = widgetOf(request.window);
    if (!parent) parent = QApplication::activeWindow();
    QString dir = request.initialDirectory ? request.initialDirectory->NativePath() : QString();
    QString chosen;
    switch (request.kind) {
        case FileDialogRequest::Open:
            chosen = QFileDialog::getOpenFileName(parent, request.title, dir);
            break;
        case FileDialogRequest::SaveAs: {
            if (!request.suggestedFileName.isEmpty())
                dir = dir.isEmpty() ? request.suggestedFileName
                                    : dir + QLatin1Char('/') + request.suggestedFileName;
            chosen = QFileDialog::getSaveFileName(parent, request.title, dir);
            break;
        }
        case FileDialogRequest::SelectFolder:
            chosen = QFileDialog::getExistingDirectory(
                parent, request.promptText.isEmpty() ? request.title : request.promptText, dir);
            break;
    }
    if (chosen.isEmpty()) return nullptr;
    return folderItemForPath(chosen);
}

int QtUIServices::popUpMenu(const PopUpMenuRequest& request) {
    QMenu menu;
    QList<QAction*> actions;
    for (const QString& entry : request.entries) {
        if (entry == QLatin1String("-")) {
            actions << menu.addSeparator();
        } else {
            actions << menu.addAction(entry);
        }
    }
    QAction* chosen = menu.exec(request.globalPosition);
    return chosen ? int(actions.indexOf(chosen)) : -1;
}

bool QtUIServices::revealInFileManager(const QDBusConnection& bus, const FolderItemPtr& item,
                                       const std::function<void()>& otherwise) {
    // Entries inside a package have no place of their own in a file manager.
    if (!dynamic_cast<const DiskFolderItem*>(item.get())) return false;
    static const QString service = QStringLiteral("org.freedesktop.FileManager1");
    bool present = false;
    if (bus.isConnected() && bus.interface()) {
        const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(service);
        present = registered.isValid() && registered.value();
        if (!present) {
            const QDBusReply<QStringList> startable = bus.interface()->activatableServiceNames();
            present = startable.isValid() && startable.value().contains(service);
        }
    }
    if (!present) {
        if (otherwise) otherwise();
        return true;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/FileManager1"), service,
        item->Directory() ? QStringLiteral("ShowFolders") : QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(item->NativePath()).toString()} << QString();
    // Asynchronous: a file manager that is slow to start never holds up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [otherwise](QDBusPendingCallWatcher* w) {
                         if (w->isError() && otherwise) otherwise();
                         w->deleteLater();
                     });
    return true;
}

// A folder is opened, a file shown in its folder; without a file manager on
// the bus, the folder is opened with the desktop's handler for folders.
void QtUIServices::revealFile(const FolderItemPtr& item) {
    if (!item) return;
    const FolderItemPtr folder = item->Directory() ? item : item->Parent();
    const QString path = folder ? folder->NativePath() : QString();
    revealInFileManager(QDBusConnection::sessionBus(), item, [path] {
        if (!path.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    });
}

bool QtUIServices::launchFile(const FolderItemPtr& item) {
    if (!item) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(item->NativePath()));
}

void QtUIServices::beginProgress(const QString& label) {
    if (mDepth++ == 0) mStartNs = monoNs();
    mLabel = label;
    if (mDialog) mDialog->setLabelText(label);
}

void QtUIServices::endProgress() {
    if (mDepth > 0 && --mDepth == 0 && mDialog) {
        mDialog->hide();
        delete mDialog.data();
    }
}

void QtUIServices::yieldPoint() {
    if (mDepth > 0 && !mDialog && monoNs() - mStartNs > 500'000'000LL) {
        auto* dlg = new QProgressDialog(mLabel, QString(), 0, 0, QApplication::activeWindow());
        dlg->setWindowModality(Qt::ApplicationModal);
        dlg->setMinimumDuration(0);
        dlg->setAutoClose(false);
        dlg->setAutoReset(false);
        dlg->show();
        mDialog = dlg;
    }
    // Paint and timers only: no click or key may start another edit meanwhile.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace zpc::platform
