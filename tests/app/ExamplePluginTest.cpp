// The sample plugin in examples/ is the first thing a new user opens: it must
// read as a plugin and every help document in it must preview.
#include "app/HTMLViewerWind.h"
#include "archive/PluginDocument.h"
#include "model/PluginItemFolder.h"
#include "platform/Picture.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QPdfDocument>

using namespace zpc;

namespace {

class ExamplePlugin : public test::ScriptedUITest {
protected:
    ~ExamplePlugin() override {
        for (QWidget* w : QApplication::topLevelWidgets()) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

model::PluginItemPtr at(const model::PluginItemPtr& root, const QStringList& path) {
    model::PluginItemPtr node = root;
    for (const QString& name : path) {
        model::PluginItemFolder* folder = node ? node->asFolder() : nullptr;
        node = folder ? folder->hasItem(name) : nullptr;
    }
    return node;
}

}  // namespace

TEST_F(ExamplePlugin, OpensWithHelpPagesAPdfAndAPaletteIcon) {
    const auto plugin = archive::openPluginDocument(
        platform::folderItemForPath(QStringLiteral(ZPC_EXAMPLES_DIR "/Sample Plugin")), nullptr);
    ASSERT_TRUE(plugin && plugin->dataSource());
    EXPECT_EQ(plugin->name(), "Sample Plugin");

    const QStringList help = {"IDE Resources", "Help"};
    auto page = at(plugin, help + QStringList{"Sample Dial.html"});
    auto pdf = at(plugin, help + QStringList{"Sample Dial Reference.pdf"});
    auto icon = at(plugin, {"IDE Resources", "Controls Palette", "Sample Dial.png"});
    ASSERT_TRUE(page && pdf && icon && at(plugin, help + QStringList{"index.html"}));

    auto* html = app::HTMLViewerWind::open(page->dataSource());
    ASSERT_TRUE(html);
    EXPECT_EQ(html->windowTitle(), "Sample Dial");
    auto* reference = app::HTMLViewerWind::open(pdf->dataSource());
    ASSERT_TRUE(reference && reference->pdfDocument());
    EXPECT_EQ(reference->pdfDocument()->pageCount(), 1);
    EXPECT_EQ(reference->windowTitle(), "Sample Dial Reference");
    const platform::PicturePtr picture = platform::Picture::Open(icon->dataSource());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width(), 32);
    EXPECT_TRUE(ui->messages().isEmpty()) << ui->messages().join('\n').toStdString();
}
