#pragma once

#include "platform/FolderItem.h"

#include <QWidget>

class QPdfDocument;
class QPdfView;
class QTextBrowser;

namespace zpc::app {

// A window that shows one file: an HTML page (relative images from the page's
// folder), a PDF document, or a ".txt" file as plain text.
class HTMLViewerWind : public QWidget {
    Q_OBJECT
public:
    // Shows a new viewer on the file and answers it; answers nil and shows
    // nothing when the file is nil or does not exist. The window deletes
    // itself when closed.
    static HTMLViewerWind* open(const platform::FolderItemPtr& file);

    // The view in use: a text browser for pages and text, a PDF view for PDF.
    QWidget* HTMLViewer1 = nullptr;
    QTextBrowser* textBrowser() const { return mBrowser; }
    QPdfView* pdfView() const { return mPdfView; }
    QPdfDocument* pdfDocument() const { return mPdf; }

protected:
    HTMLViewerWind();

    // The view's events: a load error, and the document's own title.
    virtual void HTMLViewer1_Error(int number, const QString& message);
    virtual void HTMLViewer1_TitleChanged(const QString& title);
    void resizeEvent(QResizeEvent* event) override;

private:
    void LoadPage(const platform::FolderItemPtr& file);
    void loadPdf(const QString& path);
    void loadText(const QString& path, bool plain);
    void useView(QWidget* view);

    QTextBrowser* mBrowser = nullptr;
    QPdfView* mPdfView = nullptr;
    QPdfDocument* mPdf = nullptr;
};

}  // namespace zpc::app
