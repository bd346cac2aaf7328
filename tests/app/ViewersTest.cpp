#include "app/HTMLViewerWind.h"
#include "app/PictureViewerWind.h"
#include "platform/Picture.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfView>
#include <QPdfWriter>
#include <QPointer>
#include <QTextBrowser>

using namespace zpc;
using namespace zpc::platform;

namespace {

class Viewers : public test::ScriptedUITest {
protected:
    ~Viewers() override {
        for (QWidget* w : QApplication::topLevelWidgets()) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void writePdf(const QString& name, const QString& title) {
        QPdfWriter writer(dir.path(name));
        if (!title.isEmpty()) writer.setTitle(title);
        QPainter painter(&writer);
        painter.drawText(QPointF(100, 100), "Page one");
    }
    void writePng(const QString& name, QSize size, QColor color) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(color);
        QDir().mkpath(QFileInfo(dir.path(name)).path());
        ASSERT_TRUE(img.save(dir.path(name)));
    }
    QStringList dialogs() const { return ui->messages(); }

    test::TempDir dir;
};

int countPixels(const QImage& img, QColor color) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == color;
    return n;
}

}  // namespace

TEST_F(Viewers, HtmlPageIsTitledByItsDocumentAndShowsItsRelativeImages) {
    writePng("img/red.png", {40, 40}, Qt::red);
    dir.write("page.html",
              "<html><head><title>Help Title</title></head>"
              "<body><p>Text</p><img src=\"img/red.png\"></body></html>");
    dir.write("untitled.htm", "<html><body><p>No title here</p></body></html>");

    QPointer<app::HTMLViewerWind> w = app::HTMLViewerWind::open(dir.item("page.html"));
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), "Help Title");
    EXPECT_EQ(w->size(), QSize(665, 599));
    EXPECT_EQ(w->HTMLViewer1->geometry(), QRect(20, 14, 625, 565));
    ASSERT_TRUE(w->textBrowser());
    EXPECT_EQ(countPixels(w->textBrowser()->viewport()->grab().toImage(), Qt::red), 40 * 40);
    w->resize(400, 300);
    EXPECT_EQ(w->HTMLViewer1->geometry(), QRect(20, 14, 360, 266)) << "locked to all edges";

    auto* plain = app::HTMLViewerWind::open(dir.item("untitled.htm"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->windowTitle(), "untitled.htm") << "no document title: the file's name";
    EXPECT_TRUE(dialogs().isEmpty());
}

TEST_F(Viewers, TextFilesAreShownAsPlainText) {
    dir.write("notes.txt", "<b>not bold</b>\nsecond line\n");
    auto* w = app::HTMLViewerWind::open(dir.item("notes.txt"));
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), "notes.txt");
    EXPECT_EQ(w->textBrowser()->toPlainText(), "<b>not bold</b>\nsecond line\n");
}

TEST_F(Viewers, PdfIsTitledByItsMetadataElseByItsFileName) {
    writePdf("manual.pdf", "Manual Title");
    writePdf("bare.pdf", "");
    auto* w = app::HTMLViewerWind::open(dir.item("manual.pdf"));
    ASSERT_TRUE(w);
    ASSERT_TRUE(w->pdfView());
    EXPECT_EQ(w->HTMLViewer1, w->pdfView());
    EXPECT_EQ(w->pdfDocument()->pageCount(), 1);
    EXPECT_EQ(w->windowTitle(), "Manual Title");
    auto* bare = app::HTMLViewerWind::open(dir.item("bare.pdf"));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->windowTitle(), "bare.pdf");
    EXPECT_TRUE(dialogs().isEmpty());
}

TEST_F(Viewers, LoadErrorsShowTheErrorDialogOnTheOpenWindow) {
    dir.write("broken.pdf", "this is no PDF");
    dir.mkdir("folder.html");
    struct Case {
        const char* file;
        const char* message;
    };
    for (const Case& c : {Case{"broken.pdf", "An error of type 4has occurred."},
                          Case{"folder.html", "An error of type 5has occurred."}}) {
        ui->clear();
        QPointer<app::HTMLViewerWind> w = app::HTMLViewerWind::open(dir.item(c.file));
        ASSERT_TRUE(w) << c.file;
        ASSERT_EQ(ui->shown().size(), 1u) << c.file;
        const auto& shown = ui->shown()[0];
        EXPECT_EQ(shown.kind, ScriptedUIServices::Shown::MessageDialog);
        EXPECT_EQ(shown.text, c.message);
        EXPECT_FALSE(shown.explanation.isEmpty());
        EXPECT_EQ(shown.request.window, w.data());
        EXPECT_TRUE(w->isVisible()) << "the window stays open";
        EXPECT_EQ(w->windowTitle(), c.file);
    }
}

TEST_F(Viewers, MissingFilesAndPicturesOpenNoWindow) {
    const int before = QApplication::topLevelWidgets().size();
    EXPECT_EQ(app::HTMLViewerWind::open(dir.item("gone.html")), nullptr);
    EXPECT_EQ(app::HTMLViewerWind::open(nullptr), nullptr);
    EXPECT_EQ(app::PictureViewerWind::open(nullptr, "x.png"), nullptr);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
    EXPECT_TRUE(dialogs().isEmpty());
}

TEST_F(Viewers, PictureViewerContentIsExactlyThePicture) {
    writePng("shot.png", {120, 80}, QColor(10, 120, 200));
    PicturePtr pic = Picture::Open(dir.item("shot.png"));
    auto* w = app::PictureViewerWind::open(pic, "shot.png");
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->size(), QSize(120, 80));
    EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "not resizable";
    EXPECT_EQ(w->windowTitle(), "shot.png");
    const QImage shown = w->grab().toImage();
    EXPECT_EQ(countPixels(shown, QColor(10, 120, 200)), 120 * 80);

    auto* untitled = app::PictureViewerWind::open(pic, "");
    ASSERT_TRUE(untitled);
    EXPECT_EQ(untitled->windowTitle(), "Untitled");
}
