#include "util/WytFramework.h"

#include "platform/Exceptions.h"
#include "platform/Numbers.h"
#include "platform/Picture.h"
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

QRect fittedRect(int sw, int sh, int width, int height) {
    if (sw <= 0 || sh <= 0 || width <= 0 || height <= 0) return {};
    const double r = double(sw) / double(sh);
    int drawnWidth = 0;
    int drawnHeight = 0;
    if (width < r * height) {
        drawnWidth = width;
        drawnHeight = int(width * (1.0 / r));
    } else {
        drawnHeight = height;
        drawnWidth = int(r * height);
    }
    return QRect((width - drawnWidth) / 2, (height - drawnHeight) / 2, drawnWidth, drawnHeight);
}

PicturePtr pictureScaled(const PicturePtr& source, int width, int height) {
    if (!source || width <= 0 || height <= 0) return nullptr;
    if (width == source->Width() && height == source->Height()) return source;
    if (PicturePtr mask = source->Mask(true)) return pictureMasked(source, mask, width, height);
    // Transparency lives in the pixels: the margins stay transparent.
    PicturePtr result = Picture::createClear(width, height);
    if (!result) return nullptr;
    result->DrawPicture(*source, fittedRect(source->Width(), source->Height(), width, height));
    return result;
}

PicturePtr pictureMasked(const PicturePtr& source, const PicturePtr& mask, int width, int height) {
    if (!source || !mask || width <= 0 || height <= 0) return nullptr;
    PicturePtr result = Picture::create(width, height);
    PicturePtr resultMask = Picture::createGrey(width, height, 255);
    if (!result || !resultMask) return nullptr;
    const QRect drawn = fittedRect(source->Width(), source->Height(), width, height);
    resultMask->CopyPixels(*mask, drawn);
    result->CopyPixels(*source, drawn);
    result->setMask(resultMask);
    result->setTransparent(source->Transparent());
    return result;
}

}  // namespace zpc::util::WytFramework
