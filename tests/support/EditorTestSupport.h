#pragma once

#include "app/App.h"
#include "archive/PluginArchive.h"
#include "editor/PluginListBox.h"
#include "editor/PluginViewerWindow.h"
#include "support/ModelOutline.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QEvent>

namespace zpc::editor {

// Reaches the window's private parts that the tests check directly.
class PluginViewerWindowTestAccess {
public:
    static void setDragRowTarget(PluginViewerWindow* w, int row) {
        const int previous = w->mDragRowTarget;
        w->mDragRowTarget = row;
        w->ListBox1()->InvalidateCell(previous);
        w->ListBox1()->InvalidateCell(row);
    }
    static int countDisplayedChildForItem(PluginViewerWindow* w, const model::PluginItemPtr& folder,
                                          int row) {
        return w->_countDisplayedChildForItem(folder, row);
    }
    static void dropArchive(PluginViewerWindow* w) { w->mArchive.reset(); }
};

}  // namespace zpc::editor

namespace zpc::test {

// The scripted dialogs, the application object as the windows' host, and no
// window left over afterwards.
class EditorTest : public ScriptedUITest {
protected:
    ~EditorTest() override {
        for (editor::PluginViewerWindow* w : editor::PluginViewerWindow::windows()) delete w;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    app::App application;
};

// The rows of a list as "name" lines indented two blanks per depth, folder
// rows ending in "/" and expanded ones in "/-".
inline QStringList rowLines(const editor::PluginListBox* list) {
    QStringList lines;
    for (int i = 0; i < list->ListCount(); ++i) {
        const model::PluginItemPtr node = list->RowTag(i);
        QString line = QString(2 * node->identation(), ' ') + node->name();
        if (node->asFolder()) line += list->Expanded(i) ? "/-" : "/";
        lines << line;
    }
    return lines;
}

// The row showing the node of that name (first from the top), or -1.
inline int rowNamed(const editor::PluginListBox* list, const QString& name) {
    for (int i = 0; i < list->ListCount(); ++i)
        if (list->RowTag(i)->name() == name) return i;
    return -1;
}

}  // namespace zpc::test
