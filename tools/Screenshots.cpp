// Renders the start window, an editor window with a small sample plugin
// expanded, and the same window renaming an item in its bubble, and saves
// them as PNG pictures (for the README):
//   zpc_screenshots OUTPUT_FOLDER
// Runs on any Qt platform; QT_QPA_PLATFORM=offscreen needs no display.
#include "app/App.h"
#include "app/FileTypesApp.h"
#include "app/Menu.h"
#include "app/StartWindow.h"
#include "editor/PluginListBox.h"
#include "editor/PluginViewerWindow.h"
#include "platform/Application.h"
#include "platform/FolderItem.h"
#include "platform/qt/GuardedApplication.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace zpc;

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write(bytes);
}

bool save(QWidget* w, const QString& path) {
    QTest::qWait(50);
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

int expandRowNamed(editor::PluginListBox* list, const QString& name) {
    for (int i = 0; i < list->ListCount(); ++i) {
        if (list->RowTag(i)->name() == name) {
            list->setExpanded(i, true);
            return i;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    platform::GuardedApplication qapp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ZanthPluginConverter"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: zpc_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QApplication::setQuitOnLastWindowClosed(false);
    app::FileTypesApp::create();
    int failures = 0;
    {
        app::App application;
        app::Menu::instance();
        application.attachMenuHandlers();
        application.setUsesStartWindow(true);
        if (!save(application.startWindow(), out + "/start-window.png")) ++failures;

        QTemporaryDir dir;
        const QString root = dir.path() + "/Sample Plugin";
        write(root + "/Build Resources/Linux X86/libSample.so", QByteArray(4096, 'x'));
        write(root + "/Build Resources/Windows/Sample.dll", QByteArray(4096, 'x'));
        write(root + "/Build Resources/Mac Cocoa/Sample.dylib", QByteArray(4096, 'x'));
        write(root + "/IDE Resources/Help/index.html", "<html><body>Sample</body></html>");
        write(root + "/IDE Resources/Help/Sample Control.html",
              "<html><body>Control</body></html>");
        write(root + "/IDE Resources/Controls Palette/SampleControl.png", QByteArray());
        application.openDocument(platform::folderItemForPath(root));
        const auto windows = editor::PluginViewerWindow::windows();
        if (windows.isEmpty()) return 1;
        editor::PluginViewerWindow* w = windows.first();
        editor::PluginListBox* list = w->ListBox1();
        list->setExpanded(0, true);
        expandRowNamed(list, "Build Resources");
        expandRowNamed(list, "Linux X86");
        expandRowNamed(list, "IDE Resources");
        const int help = expandRowNamed(list, "Help");
        list->setListIndex(help + 1);
        if (!save(w, out + "/editor-window.png")) ++failures;

        // F2 opens the rename bubble over the selected row.
        list->setListIndex(help + 2);
        w->activateWindow();
        QTest::keyClick(list, Qt::Key_F2);
        if (!w->currentBubble() || !save(w, out + "/editor-rename.png")) ++failures;
        application.FileQuit_Action();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    app::Menu::release();
    app::FileTypesApp::release();
    return failures;
}
