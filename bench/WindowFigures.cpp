#include "WindowFigures.h"

#include "Harness.h"

#include "archive/PluginArchive.h"
#include "editor/PluginListBox.h"
#include "editor/PluginViewerWindow.h"
#include "model/PluginItemFile.h"

#include <QApplication>
#include <QScrollBar>

namespace zpc::bench {

using archive::PluginArchive;
using editor::PluginListBox;
using editor::PluginViewerWindow;

namespace {

// A folder of n children, every other one a folder, the others files held in
// memory.
std::shared_ptr<model::PluginItemFolder> wideFolder(const QString& name, int n) {
    auto folder = model::PluginItemFolder::create(name, true);
    for (int i = 0; i < n; ++i) {
        const QString child = QStringLiteral("item %1").arg(i, 5, 10, QLatin1Char('0'));
        if (i % 2) {
            folder->add(model::PluginItemFolder::create(child, true));
        } else {
            auto file = model::PluginItemFile::create(child, true);
            file->setRawData("x");
            folder->add(file);
        }
    }
    return folder;
}

// A new plugin whose root holds the given folders, shown in a window.
PluginViewerWindow* windowWith(
    const std::vector<std::shared_ptr<model::PluginItemFolder>>& folders) {
    auto plugin = PluginArchive::create(false);
    for (const auto& f : folders) plugin->add(f);
    PluginViewerWindow* w = PluginViewerWindow::create(plugin);
    QApplication::processEvents();
    return w;
}

int rowOf(PluginListBox* list, const QString& name) {
    for (int i = 0; i < list->ListCount(); ++i)
        if (list->RowTag(i)->name() == name) return i;
    fail("no row " + name);
}

// Until the rows are in the list and the visible ones are painted.
void settle(PluginListBox* list) {
    QApplication::processEvents();
    list->viewport()->repaint();
}

}  // namespace

void windowFigures(int argc, char** argv, int runs,
                   const std::function<bool(const char*)>& wanted) {
    if (!wanted("window_expand_10000") && !wanted("window_collapse_20000") &&
        !wanted("window_paint_20000"))
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);

    if (wanted("window_expand_10000")) {
        PluginViewerWindow* w = windowWith({wideFolder("Wide", 10000)});
        PluginListBox* list = w->ListBox1();
        list->setExpanded(0, true);
        const int row = rowOf(list, "Wide");
        const double t = bestOf(
            runs,
            [&] {
                list->setExpanded(row, true);
                settle(list);
            },
            [&] {
                list->setExpanded(row, false);
                settle(list);
            });
        if (list->ListCount() != 4 + 10000) fail("window_expand_10000: rows missing");
        print({"window_expand_10000", t, std::nullopt, std::nullopt});
        delete w;
    }

    if (wanted("window_collapse_20000")) {
        PluginViewerWindow* w = windowWith({wideFolder("A", 10000), wideFolder("B", 10000)});
        PluginListBox* list = w->ListBox1();
        const double t = bestOf(
            runs,
            [&] {
                list->setExpanded(0, false);
                settle(list);
            },
            [&] {
                list->setExpanded(0, true);
                list->setExpanded(rowOf(list, "A"), true);
                list->setExpanded(rowOf(list, "B"), true);
                if (list->ListCount() != 5 + 20000) fail("window_collapse_20000: rows missing");
                settle(list);
            });
        if (list->ListCount() != 1) fail("window_collapse_20000: rows left");
        print({"window_collapse_20000", t, std::nullopt, std::nullopt});
        delete w;
    }

    if (wanted("window_paint_20000")) {
        // The same repaints of a long and a short list: the difference is
        // what the rows off screen cost.
        auto paintTime = [&](int n) {
            PluginViewerWindow* w = windowWith({wideFolder("A", n)});
            PluginListBox* list = w->ListBox1();
            list->setExpanded(0, true);
            list->setExpanded(rowOf(list, "A"), true);
            settle(list);
            QScrollBar* bar = list->verticalScrollBar();
            const double t = bestOf(runs * 4, [&] {
                for (int step = 0; step < 10; ++step) {
                    bar->setValue(bar->maximum() * step / 9);
                    list->viewport()->repaint();
                }
            });
            delete w;
            return t;
        };
        const double many = paintTime(20000), few = paintTime(20);
        print({"window_paint_20000", many, few, std::nullopt});
    }
}

}  // namespace zpc::bench
