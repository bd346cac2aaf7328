#include "app/HTMLViewerWind.h"

#include "platform/Text.h"
#include "platform/UIServices.h"
#include "util/WytFramework.h"

#include <QFile>
#include <QPdfDocument>
#include <QPdfView>
#include <QTextBrowser>
#include <QUrl>

namespace zpc::app {

using platform::FolderItemPtr;

namespace {

QString pdfErrorMessage(QPdfDocument::Error error) {
    switch (error) {
        case QPdfDocument::Error::DataNotYetAvailable:
            return QStringLiteral("The document is not available yet.");
        case QPdfDocument::Error::FileNotFound:
            return QStringLiteral("The file was not found.");
        case QPdfDocument::Error::InvalidFileFormat:
            return QStringLiteral("The file is not a valid PDF document.");
        case QPdfDocument::Error::IncorrectPassword:
            return QStringLiteral("The document is protected by a password.");
        case QPdfDocument::Error::UnsupportedSecurityScheme:
            return QStringLiteral("The document uses an unsupported security scheme.");
        default:
            return QStringLiteral("The document could not be read.");
    }
}

}  // namespace

HTMLViewerWind::HTMLViewerWind()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Untitled"));
    setMinimumSize(64, 64);
    setMaximumSize(32000, 32000);
    resize(665, 599);
}

// The view keeps its margins as the window grows and shrinks.
void HTMLViewerWind::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (HTMLViewer1) HTMLViewer1->setGeometry(20, 14, width() - 40, height() - 34);
}

HTMLViewerWind* HTMLViewerWind::open(const FolderItemPtr& file) {
    if (!file || !file->Exists()) return nullptr;
    auto* window = new HTMLViewerWind();
    window->setWindowTitle(file->Name());
    window->show();
    window->LoadPage(file);
    return window;
}

void HTMLViewerWind::useView(QWidget* view) {
    HTMLViewer1 = view;
    HTMLViewer1->setGeometry(20, 14, width() - 40, height() - 34);
    HTMLViewer1->show();
}

void HTMLViewerWind::LoadPage(const FolderItemPtr& file) {
    const QString extension = util::WytFramework::fileExtension(file);
    const QString path = file->NativePath();
    if (platform::text::equals(extension, QStringLiteral("pdf")))
        loadPdf(path);
    else
        loadText(path, platform::text::equals(extension, QStringLiteral("txt")));
}

void HTMLViewerWind::loadText(const QString& path, bool plain) {
    mBrowser = new QTextBrowser(this);
    useView(mBrowser);
    // The browser reports an unreadable file only as an empty page.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        HTMLViewer1_Error(int(file.error()), file.errorString());
        return;
    }
    if (plain) {
        mBrowser->setPlainText(QString::fromUtf8(file.readAll()));
        return;
    }
    file.close();
    connect(mBrowser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = mBrowser->documentTitle();
        if (!title.isEmpty()) HTMLViewer1_TitleChanged(title);
    });
    mBrowser->setSource(QUrl::fromLocalFile(path));
}

void HTMLViewerWind::loadPdf(const QString& path) {
    mPdf = new QPdfDocument(this);
    mPdfView = new QPdfView(this);
    mPdfView->setPageMode(QPdfView::PageMode::MultiPage);
    mPdfView->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    mPdfView->setDocument(mPdf);
    useView(mPdfView);
    const QPdfDocument::Error error = mPdf->load(path);
    if (error != QPdfDocument::Error::None) {
        HTMLViewer1_Error(int(error), pdfErrorMessage(error));
        return;
    }
    const QString title = mPdf->metaData(QPdfDocument::MetaDataField::Title).toString();
    if (!title.trimmed().isEmpty()) HTMLViewer1_TitleChanged(title);
}

void HTMLViewerWind::HTMLViewer1_Error(int number, const QString& message) {
    platform::MessageDialogRequest request;
    request.message = QStringLiteral("An error of type ") + QString::number(number) +
                      QStringLiteral("has occurred.");
    request.explanation = message;
    request.window = this;
    platform::ui().messageDialog(request);
}

void HTMLViewerWind::HTMLViewer1_TitleChanged(const QString& title) {
    setWindowTitle(title);
}

}  // namespace zpc::app
