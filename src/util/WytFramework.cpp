#include "util/WytFramework.h"

#include "platform/Exceptions.h"
#include "platform/Numbers.h"
#include "platform/Shell.h"
#include "platform/Text.h"

namespace zpc::util::WytFramework {

using namespace zpc::platform;

QString createUID() {
    const Date now;
    QString stamp = QString::number(now.Year()) + Format(now.Month(), QStringLiteral("00")) +
                    Format(now.Day(), QStringLiteral("00")) + Format(now.Hour(), QStringLiteral("00")) +
                    Format(now.Minute(), QStringLiteral("00")) +
                    Format(now.Second(), QStringLiteral("00"));
    Random random;
    const int64_t first = random.InRange(1, 100000);
    const int64_t second = random.InRange(1, 100000);
    return stamp + QLatin1Char('.') + Format(first, QStringLiteral("000000")) + QLatin1Char('.') +
           Format(second, QStringLiteral("000000"));
}

QString fileExtension(const FolderItemPtr& item) {
    requireNonNil(item, "fileExtension");
    const QStringList pieces = text::split(item->Name(), QStringLiteral("."));
    return pieces.size() >= 2 ? pieces.last() : QString();
}

int recursiveDelete(const FolderItemPtr& item) {
    requireNonNil(item, "recursiveDelete");
    // A link is deleted as itself, never the folder it points to.
    const bool present = item->Exists() || item->IsSymbolicLink();
    if (!present || item->Locked()) return kDeleteMissingOrLocked;
    try {
        Shell shell;
        shell.Execute(QStringLiteral("rm -R ") + item->ShellPath());
        return shell.Result().isEmpty() ? 0 : shell.ErrorCode();
    } catch (const ShellNotAvailableException&) {
        return kDeleteNoShell;
    } catch (const ShellNotRunningException&) {
        return kDeleteShellNotRunning;
    }
}

}  // namespace zpc::util::WytFramework
