#include "support/EditorTestSupport.h"

#include "app/HTMLViewerWind.h"
#include "app/PictureViewerWind.h"
#include "controls/ContainerControlBubble.h"
#include "editor/BevelButton.h"
#include "model/PluginItemFile.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

using namespace zpc;
using namespace zpc::editor;
using namespace zpc::platform;
using archive::PluginArchive;
using model::PluginItemPtr;
using test::rowLines;
using test::rowNamed;
using test::TempDir;

namespace {

const QString kAddOnly = "You can add items to the current plugin hierarchy only";

class EditingTest : public test::EditorTest {
protected:
    ~EditingTest() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (!qobject_cast<PluginViewerWindow*>(w)) w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // "Sample" from disk: a library, a help page and an empty folder.
    PluginViewerWindow* openSample() {
        dir.write("Sample/Build Resources/Windows/sample.dll", "dll");
        dir.write("Sample/IDE Resources/Help/index.html", "<p>help</p>");
        dir.mkdir("Sample/IDE Resources/Help/Images");
        PluginViewerWindow* w =
            PluginViewerWindow::create(PluginArchive::create(dir.item("Sample"), false, nullptr));
        QCoreApplication::processEvents();
        return w;
    }

    // Opens the rows along the path of names.
    static void expand(PluginListBox* list, const QStringList& names) {
        list->setExpanded(0, true);
        for (const QString& n : names) list->setExpanded(rowNamed(list, n), true);
    }

    static QPoint rowCentre(PluginListBox* list, int row) {
        return list->visualRect(list->rows()->index(row)).center();
    }

    // Chooses an entry of the add button's menu with the mouse.
    void chooseAdd(PluginViewerWindow* w, int entry) {
        ui->queuePopUpAnswer(entry);
        QTest::mouseClick(w->BtnAdd(), Qt::LeftButton);
    }

    TempDir dir;
};

// A drag from outside or of a row, as the platform delivers it: entering, one
// move at the point, then the drop if the move was accepted, else leaving.
struct DragOutcome {
    bool entered = false;
    bool accepted = false;
};
DragOutcome drag(PluginListBox* list, QMimeData* data, QPoint at,
                 std::function<void()> whileOver = {}) {
    DragOutcome out;
    QWidget* vp = list->viewport();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &enter);
    out.entered = enter.isAccepted();
    if (!out.entered) return out;
    QDragMoveEvent move(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &move);
    out.accepted = move.isAccepted();
    if (whileOver) whileOver();
    if (out.accepted) {
        QDropEvent drop(at, actions, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(vp, &drop);
    } else {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(vp, &leave);
    }
    return out;
}

QMimeData* fileDrag(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    return data;
}

template <class T>
QList<T*> openWindowsOf() {
    QList<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) found << t;
    return found;
}

}  // namespace

TEST_F(EditingTest, TheSelectionEnablesTheButtons) {
    PluginViewerWindow* w = openSample();
    PluginListBox* list = w->ListBox1();
    expand(list, {"Build Resources", "Windows"});
    struct Case {
        const char* row;
        bool add, remove;
    };
    const Case cases[] = {{nullptr, false, false},
                          {"Sample", true, false},
                          {"Build Resources", true, true},
                          {"sample.dll", false, true},
                          {nullptr, false, false}};
    for (const Case& c : cases) {
        list->setListIndex(c.row ? rowNamed(list, c.row) : -1);
        EXPECT_EQ(w->BtnAdd()->isEnabled(), c.add) << (c.row ? c.row : "none");
        EXPECT_EQ(w->BtnDelete()->isEnabled(), c.remove) << (c.row ? c.row : "none");
        EXPECT_EQ(w->currentSelection(), c.row ? list->RowTag(rowNamed(list, c.row)) : nullptr);
    }
    EXPECT_FALSE(w->ContentsChanged()) << "selecting is no edit";
}

TEST_F(EditingTest, AddNewFolderAppendsAndInsertsARowOnlyUnderAnOpenFolder) {
    PluginViewerWindow* w = openSample();
    PluginListBox* list = w->ListBox1();
    list->setExpanded(0, true);

    // A collapsed folder: the tree grows, the rows do not.
    list->setListIndex(rowNamed(list, "IDE Resources"));
    chooseAdd(w, 0);
    chooseAdd(w, 0);
    ASSERT_EQ(ui->popUps().size(), 2u);
    EXPECT_EQ(ui->popUps()[0].entries, (QStringList{"Add New Folder", "Add File..."}));
    EXPECT_EQ(test::outline(w->archive()->item(1)),
              "Controls Palette/\nHelp/\n  Images/\n  index.html\nUntitled/\nUntitled/\n");
    EXPECT_EQ(rowLines(list), (QStringList{"Sample/-", "  Build Resources/", "  IDE Resources/"}));
    EXPECT_TRUE(w->ContentsChanged());

    // An open folder whose last child is open: after that child's rows.
    expand(list, {"IDE Resources"});
    const int lastUntitled = list->ListCount() - 1;
    list->setExpanded(lastUntitled, true);
    list->setListIndex(lastUntitled);
    chooseAdd(w, 0);  // a child of that Untitled
    list->setListIndex(rowNamed(list, "IDE Resources"));
    chooseAdd(w, 0);
    EXPECT_EQ(rowLines(list).mid(2),
              (QStringList{"  IDE Resources/-", "    Controls Palette/", "    Help/",
                           "    Untitled/", "    Untitled/-", "      Untitled/", "    Untitled/"}));
    for (int i = 0; i < list->ListCount(); ++i) ASSERT_TRUE(list->RowTag(i));
    EXPECT_EQ(list->RowTag(list->ListCount() - 1), w->archive()->item(1)->asFolder()->item(4));

    // Nothing chosen from the menu: nothing happens.
    const QString before = test::outline(w->archive());
    chooseAdd(w, -1);
    EXPECT_EQ(test::outline(w->archive()), before);

    // The Insert key pops up the same menu; on a file row, where the button
    // is disabled, it does nothing.
    list->setListIndex(0);
    ui->queuePopUpAnswer(0);
    QTest::keyClick(list, Qt::Key_Insert);
    EXPECT_EQ(w->archive()->item(2)->name(), "Untitled");
    expand(list, {"Build Resources", "Windows"});
    list->setListIndex(rowNamed(list, "sample.dll"));
    const size_t popUps = ui->popUps().size();
    QTest::keyClick(list, Qt::Key_Insert);
    EXPECT_EQ(ui->popUps().size(), popUps);
}

TEST_F(EditingTest, AddFileLinksTheChosenFileAndRefusesOneThatIsGone) {
    dir.write("extra/readme.html", "<p>readme</p>");
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    PluginListBox* list = w->ListBox1();
    expand(list, {"IDE Resources"});
    list->setListIndex(rowNamed(list, "Help"));

    ui->queueFileAnswer(nullptr);
    chooseAdd(w, 1);
    EXPECT_EQ(test::outline(w->archive()->item(1)), "Controls Palette/\nHelp/\n") << "cancelled";
    ASSERT_EQ(ui->fileDialogs().size(), 1u);
    EXPECT_EQ(ui->fileDialogs()[0].kind, FileDialogRequest::Open);
    EXPECT_EQ(ui->fileDialogs()[0].window, w) << "a sheet of the window";
    EXPECT_TRUE(ui->fileDialogs()[0].filter.isEmpty());

    ui->queueFileAnswer(dir.item("extra/readme.html"));
    chooseAdd(w, 1);
    auto file = std::dynamic_pointer_cast<model::PluginItemFile>(
        w->archive()->item(1)->asFolder()->item(1)->asFolder()->item(0));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->name(), "readme.html");
    EXPECT_FALSE(file->isStored()) << "linked to the disk, not read";
    EXPECT_EQ(file->dataSource()->NativePath(), dir.path("extra/readme.html"));
    EXPECT_TRUE(ui->messages().isEmpty());

    ui->queueFileAnswer(dir.item("extra/gone.html"));
    chooseAdd(w, 1);
    EXPECT_EQ(ui->messages(), QStringList{kAddOnly});
    EXPECT_EQ(w->archive()->item(1)->asFolder()->item(1)->asFolder()->count(), 1);
}

TEST_F(EditingTest, RemovingTakesTheRowAndEverythingShownUnderIt) {
    PluginViewerWindow* w = openSample();
    PluginListBox* list = w->ListBox1();
    expand(list, {"Build Resources", "Windows", "IDE Resources", "Help"});
    ASSERT_EQ(list->ListCount(), 12);

    list->setListIndex(rowNamed(list, "Build Resources"));
    QTest::mouseClick(w->BtnDelete(), Qt::LeftButton);
    EXPECT_EQ(rowLines(list), (QStringList{"Sample/-", "  IDE Resources/-", "    Controls Palette/",
                                           "    Help/-", "      Images/", "      index.html"}));
    EXPECT_EQ(w->archive()->count(), 1);
    EXPECT_TRUE(w->ContentsChanged());
    EXPECT_TRUE(dir.exists("Sample/Build Resources/Windows/sample.dll")) << "the disk is untouched";
    EXPECT_EQ(w->currentSelection(), nullptr);
    EXPECT_FALSE(w->BtnDelete()->isEnabled());

    // The keyboard: Delete and Backspace remove; never the root.
    list->setListIndex(rowNamed(list, "index.html"));
    QTest::keyClick(list, Qt::Key_Delete);
    list->setListIndex(rowNamed(list, "Images"));
    QTest::keyClick(list, Qt::Key_Backspace);
    list->setListIndex(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(rowLines(list), (QStringList{"Sample/-", "  IDE Resources/-", "    Controls Palette/",
                                           "    Help/-"}));
}

TEST_F(EditingTest, DropsFromTheFileManager) {
    dir.write("drop/Docs/guide.html", "<p>guide</p>");
    dir.write("drop/Docs/img/logo.png", "png");
    dir.write("drop/Tool.bundle/Contents/MacOS/Tool", "exe");
    dir.write("drop/notes.txt", "notes");
    struct Case {
        const char* what;
        QStringList paths;  // dropped; empty: text only
        const char* onto;   // the row under the pointer; nil: below the last row
        bool accepted;
        const char* helpAfter;  // the outline of "Help" afterwards
    };
    const Case cases[] = {
        {"a folder is read with its contents",
         {"drop/Docs"},
         "Help",
         true,
         "Images/\nindex.html\nDocs/\n  guide.html\n  img/\n    logo.png\n"},
        {"a .bundle folder is one file, its program",
         {"drop/Tool.bundle"},
         "Help",
         true,
         "Images/\nindex.html\nTool\n"},
        {"over a file row: into the file's folder",
         {"drop/notes.txt"},
         "index.html",
         true,
         "Images/\nindex.html\nnotes.txt\n"},
        {"several at once, in order",
         {"drop/notes.txt", "drop/Docs/guide.html"},
         "Help",
         true,
         "Images/\nindex.html\nnotes.txt\nguide.html\n"},
        {"outside any row", {"drop/notes.txt"}, nullptr, false, "Images/\nindex.html\n"},
        {"no file at all", {}, "Help", false, "Images/\nindex.html\n"},
    };
    for (const Case& c : cases) {
        PluginViewerWindow* w = openSample();
        PluginListBox* list = w->ListBox1();
        expand(list, {"IDE Resources", "Help"});
        const int help = rowNamed(list, "Help");
        const QStringList rowsBefore = rowLines(list);

        QStringList paths;
        for (const QString& p : c.paths) paths << dir.path(p);
        QMimeData* data = paths.isEmpty() ? new QMimeData : fileDrag(paths);
        if (paths.isEmpty()) data->setText("just text");
        const QPoint at = c.onto ? rowCentre(list, rowNamed(list, c.onto))
                                 : QPoint(40, list->viewport()->height() - 5);
        int targetWhileOver = -2;
        Qt::CursorShape cursorWhileOver = Qt::BlankCursor;
        const DragOutcome out = drag(list, data, at, [&] {
            targetWhileOver = w->dragRowTarget();
            cursorWhileOver = list->mouseCursor();
        });
        delete data;

        EXPECT_EQ(out.accepted, c.accepted) << c.what;
        EXPECT_EQ(test::outline(w->archive()->item(1)->asFolder()->item(1)), QString(c.helpAfter))
            << c.what;
        EXPECT_EQ(w->ContentsChanged(), c.accepted) << c.what;
        EXPECT_EQ(w->dragRowTarget(), -1) << c.what << ": no highlight afterwards";
        EXPECT_EQ(list->mouseCursor(), Qt::ArrowCursor) << c.what;
        if (c.accepted) {
            EXPECT_EQ(targetWhileOver, help) << c.what;
            EXPECT_EQ(cursorWhileOver, Qt::DragCopyCursor) << c.what;
            // Help is open: the new rows follow its shown rows, in order.
            const QStringList rows = rowLines(list);
            EXPECT_EQ(rows.mid(0, rowsBefore.size()), rowsBefore) << c.what;
            EXPECT_EQ(rows.size(), rowsBefore.size() + c.paths.size()) << c.what;
        } else {
            EXPECT_EQ(rowLines(list), rowsBefore) << c.what;
            if (out.entered) {
                EXPECT_EQ(targetWhileOver, -1) << c.what;
                EXPECT_EQ(cursorWhileOver, Qt::ArrowCursor) << c.what;
            }
        }
        EXPECT_TRUE(ui->messages().isEmpty()) << c.what;
        delete w;
    }
}

TEST_F(EditingTest, MovingARowDownIntoAFolder) {
    PluginViewerWindow* w = openSample();
    PluginListBox* list = w->ListBox1();
    expand(list, {"Build Resources", "Windows", "IDE Resources", "Help"});
    // Windows, open with its library, goes into Help, open below it.
    list->setListIndex(rowNamed(list, "Windows"));
    QMimeData* data = list->rowDragData();
    int highlighted = -2;
    const DragOutcome out = drag(list, data, rowCentre(list, rowNamed(list, "Help")),
                                 [&] { highlighted = w->dragRowTarget(); });
    delete data;
    EXPECT_TRUE(out.accepted);
    EXPECT_EQ(highlighted, rowNamed(list, "Help") + 2) << "Windows and its library were above it";
    EXPECT_EQ(rowLines(list),
              (QStringList{"Sample/-", "  Build Resources/-", "    Mac Carbon Mach-O Universal/",
                           "    Mac Cocoa/", "    Linux X86/", "  IDE Resources/-",
                           "    Controls Palette/", "    Help/-", "      Images/",
                           "      index.html", "      Windows/"}));
    EXPECT_EQ(test::outline(w->archive()->item(1)),
              "Controls Palette/\nHelp/\n  Images/\n  index.html\n  Windows/\n    sample.dll\n");
    EXPECT_TRUE(w->ContentsChanged());
    EXPECT_EQ(w->dragRowTarget(), -1);

    // A file dropped on a file row of another folder goes into that folder;
    // dropped on empty space, into the plugin's root; the list never moves
    // rows itself and the moved rows appear once.
    list->setListIndex(rowNamed(list, "index.html"));
    data = list->rowDragData();
    drag(list, data, rowCentre(list, rowNamed(list, "Linux X86")));
    EXPECT_TRUE(test::outline(w->archive()->item(0)).contains("Linux X86/\n  index.html\n"));
    EXPECT_EQ(rowLines(list).filter("index.html"), QStringList())
        << "Linux X86 is closed: the file has no row";
    list->setListIndex(rowNamed(list, "Images"));
    drag(list, data, QPoint(40, list->viewport()->height() - 5));
    delete data;
    EXPECT_EQ(rowLines(list).last(), "  Images/");
    EXPECT_EQ(w->archive()->item(2)->name(), "Images");
    EXPECT_TRUE(ui->messages().isEmpty());
}

TEST_F(EditingTest, AFolderNeverMovesIntoItselfAndTheRootNeverMoves) {
    PluginViewerWindow* w = openSample();
    PluginListBox* list = w->ListBox1();
    expand(list, {"IDE Resources", "Help", "Images"});
    const QStringList rows = rowLines(list);
    const QString tree = test::outline(w->archive());
    struct Case {
        const char* moved;
        const char* onto;
        const char* message;  // nil: the list refuses the drop itself
    };
    const Case cases[] = {
        {"IDE Resources", "Images",
         "A folder can't be moved into itself or into a folder inside it."},
        {"Help", "index.html", "A folder can't be moved into itself or into a folder inside it."},
        {"Sample", "Help", "The plugin itself can't be moved into a folder."},
        {"Help", "Help", nullptr},
    };
    for (const Case& c : cases) {
        ui->clear();
        list->setListIndex(rowNamed(list, c.moved));
        QMimeData* data = list->rowDragData();
        const DragOutcome out = drag(list, data, rowCentre(list, rowNamed(list, c.onto)));
        delete data;
        EXPECT_EQ(out.accepted, c.message != nullptr) << c.moved << " onto " << c.onto;
        EXPECT_EQ(ui->messages(), c.message ? QStringList{c.message} : QStringList())
            << c.moved << " onto " << c.onto;
        EXPECT_EQ(rowLines(list), rows) << c.moved << " onto " << c.onto;
        EXPECT_EQ(test::outline(w->archive()), tree) << c.moved << " onto " << c.onto;
    }
    EXPECT_FALSE(w->ContentsChanged());
}

TEST_F(EditingTest, ARowOfOneWindowIsNoDropForAnother) {
    PluginViewerWindow* a = openSample();
    PluginViewerWindow* b = PluginViewerWindow::create(false);
    a->ListBox1()->setListIndex(0);
    QMimeData* data = a->ListBox1()->rowDragData();
    EXPECT_FALSE(drag(b->ListBox1(), data, rowCentre(b->ListBox1(), 0)).entered);
    delete data;
}

TEST_F(EditingTest, RenamingInTheBubble) {
    PluginViewerWindow* w = openSample();
    PluginListBox* list = w->ListBox1();
    expand(list, {"Build Resources", "Windows", "IDE Resources", "Help"});
    QApplication::setActiveWindow(w);

    auto renameWith = [&](const char* row, const QString& typed) {
        list->setListIndex(rowNamed(list, row));
        QTest::keyClick(list, Qt::Key_F2);
        controls::ContainerControlBubble* bubble = w->currentBubble();
        if (!bubble) return false;
        EXPECT_EQ(bubble->TextField1->text(), row) << "the bubble starts with the name";
        EXPECT_EQ(bubble->TextField1->selectedText(), row) << "all of it selected";
        bubble->TextField1->setText(typed);
        QTest::keyClick(bubble->TextField1, Qt::Key_Return);
        EXPECT_EQ(w->currentBubble(), nullptr) << "the bubble closed";
        return true;
    };

    // Names that stay: the same in other letter case, and nothing at all.
    EXPECT_TRUE(renameWith("sample.dll", "SAMPLE.DLL"));
    EXPECT_EQ(list->RowTag(rowNamed(list, "sample.dll"))->name(), "sample.dll");
    EXPECT_FALSE(w->ContentsChanged());
    EXPECT_TRUE(renameWith("sample.dll", ""));
    EXPECT_NE(rowNamed(list, "sample.dll"), -1);
    EXPECT_TRUE(w->ContentsChanged()) << "an empty name still counts as an edit";

    // A new name, also one a sibling has: names are not compared.
    EXPECT_TRUE(renameWith("sample.dll", "plugin.dll"));
    EXPECT_NE(rowNamed(list, "plugin.dll"), -1);
    EXPECT_TRUE(renameWith("Images", "index.html"));
    EXPECT_EQ(test::outline(w->archive()->item(1)),
              "Controls Palette/\nHelp/\n  index.html/\n  index.html\n");

    // A name that could never be written is refused.
    EXPECT_TRUE(renameWith("index.html", "a/b.html"));
    EXPECT_EQ(ui->messages(),
              QStringList{"A name can't contain \"/\", and can't be \".\" or \"..\"."});
    EXPECT_NE(rowNamed(list, "index.html"), -1);

    // Standard folders, and a plugin opened from disk, keep their names.
    EXPECT_FALSE(renameWith("Windows", "Win"));
    EXPECT_FALSE(renameWith("Sample", "Other"));

    // A new plugin: the part before the first dot, and the window's title.
    w = PluginViewerWindow::create(false);
    list = w->ListBox1();
    QApplication::setActiveWindow(w);
    EXPECT_TRUE(renameWith("Untitled", "Tools.v2"));
    EXPECT_EQ(w->archive()->name(), "Tools");
    EXPECT_EQ(w->Title(), "Tools");
}

TEST_F(EditingTest, TheBubbleClosesWithEscapeADoubleClickOrAnotherBubble) {
    PluginViewerWindow* w = openSample();
    PluginListBox* list = w->ListBox1();
    expand(list, {"Build Resources", "Windows"});
    QApplication::setActiveWindow(w);
    list->setListIndex(rowNamed(list, "sample.dll"));

    QTest::keyClick(list, Qt::Key_Return);  // Return on a file row renames too
    QPointer<controls::ContainerControlBubble> first = w->currentBubble();
    ASSERT_TRUE(first);
    // The bubble sits inside the window, its pointer on the row.
    const QRect row = list->visualRect(list->rows()->index(rowNamed(list, "sample.dll")));
    const QPoint tip = first->mapTo(w->centralWidget(), QPoint(0, 42));
    EXPECT_TRUE(w->centralWidget()->rect().contains(first->geometry()));
    EXPECT_NEAR(tip.y(), list->viewport()->mapTo(w->centralWidget(), row.center()).y(), 17);

    first->TextField1->setText("other.dll");
    QTest::keyClick(first->TextField1, Qt::Key_Escape);
    EXPECT_EQ(w->currentBubble(), nullptr);
    EXPECT_NE(rowNamed(list, "sample.dll"), -1) << "Escape renames nothing";

    QTest::keyClick(list, Qt::Key_F2);
    first = w->currentBubble();
    QTest::keyClick(list, Qt::Key_F2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first) << "one bubble at a time";
    ASSERT_TRUE(w->currentBubble());

    w->ListBox1_DoubleClick();
    EXPECT_EQ(w->currentBubble(), nullptr);
    EXPECT_NE(rowNamed(list, "sample.dll"), -1);
    EXPECT_FALSE(w->ContentsChanged());
}

TEST_F(EditingTest, TheContextualMenuOffersWhatTheRowAllows) {
    dir.write("page.html", "<p>page</p>");
    PluginViewerWindow* w = openSample();
    PluginListBox* list = w->ListBox1();
    expand(list, {"IDE Resources", "Help"});
    auto stored = model::PluginItemFile::create(dir.item("page.html"), true);
    w->archive()->item(1)->asFolder()->item(1)->asFolder()->add(stored);
    list->setExpanded(rowNamed(list, "Help"), false);
    list->setExpanded(rowNamed(list, "Help"), true);
    QFile::remove(dir.path("page.html"));  // stored: its bytes stay, its link goes

    auto contextClick = [&](QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list->viewport(), &event);
    };
    struct Case {
        const char* row;  // nil: below the last row
        QStringList entries;
    };
    const Case cases[] = {
        {nullptr, {}},
        {"Controls Palette", {}},
        {"Sample", {"Show in Finder"}},
        {"Images", {"Rename", "-", "Show in Finder"}},
        {"index.html", {"Rename", "-", "Show in Finder"}},
        {"page.html", {"Rename", "-"}},
    };
    for (const Case& c : cases) {
        ui->clear();
        contextClick(c.row ? rowCentre(list, rowNamed(list, c.row))
                           : QPoint(40, list->viewport()->height() - 5));
        if (c.entries.isEmpty()) {
            EXPECT_TRUE(ui->popUps().empty()) << (c.row ? c.row : "empty space") << ": no menu";
            continue;
        }
        ASSERT_EQ(ui->popUps().size(), 1u) << c.row;
        EXPECT_EQ(ui->popUps()[0].entries, c.entries) << c.row;
        EXPECT_EQ(list->ListIndex(), rowNamed(list, c.row)) << "the row clicked is selected";
    }

    // "Show in Finder" reveals the item's file or folder.
    ui->clear();
    ui->queuePopUpAnswer(2);
    contextClick(rowCentre(list, rowNamed(list, "index.html")));
    ASSERT_EQ(ui->revealed().size(), 1u);
    EXPECT_EQ(ui->revealed()[0]->NativePath(), dir.path("Sample/IDE Resources/Help/index.html"));

    // From the keyboard (the Menu key): for the selected row.
    ui->clear();
    ui->queuePopUpAnswer(2);
    list->setListIndex(rowNamed(list, "Images"));
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), list->mapToGlobal(QPoint()));
    QCoreApplication::sendEvent(list, &key);
    ASSERT_EQ(ui->popUps().size(), 1u);
    EXPECT_EQ(ui->popUps()[0].entries, (QStringList{"Rename", "-", "Show in Finder"}));
    ASSERT_EQ(ui->revealed().size(), 1u);
    EXPECT_EQ(ui->revealed()[0]->NativePath(), dir.path("Sample/IDE Resources/Help/Images"));

    // "Rename" opens the bubble at the click.
    ui->queuePopUpAnswer(0);
    const QPoint at(60, rowCentre(list, rowNamed(list, "Images")).y());
    contextClick(at);
    ASSERT_TRUE(w->currentBubble());
    EXPECT_EQ(w->currentBubble()->TextField1->text(), "Images");
    EXPECT_EQ(
        w->currentBubble()->geometry().left() + controls::ContainerControlBubble::kPointerOverhang,
        list->viewport()->mapTo(w->centralWidget(), at).x());
    EXPECT_FALSE(w->ContentsChanged());
}

TEST_F(EditingTest, DoubleClickingOpensFoldersAndFilesByTheirKind) {
    dir.write("files/page.HTML",
              "<html><head><title>Page Title</title></head><body>x</body></html>");
    dir.write("files/notes.txt", "plain <b>text</b>");
    dir.write("files/letter.rtf", "{\\rtf1 letter}");
    dir.write("files/report.docx", "docx");
    dir.write("files/library.dylib", "not a picture");
    {
        QPdfWriter pdf(dir.path("files/manual.pdf"));
        pdf.setTitle("Manual");
        QPainter painter(&pdf);
        painter.drawText(QPointF(100, 100), "Manual");
    }
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::green);
    ASSERT_TRUE(picture.save(dir.path("files/icon.png")));
    ASSERT_TRUE(picture.save(dir.path("files/icon.unknown"), "PNG"));

    PluginViewerWindow* w = PluginViewerWindow::create(false);
    PluginListBox* list = w->ListBox1();
    expand(list, {"IDE Resources"});
    auto help = w->archive()->item(1)->asFolder()->item(1);
    for (const char* name : {"page.HTML", "manual.pdf", "notes.txt", "letter.rtf", "report.docx",
                             "icon.png", "icon.unknown", "library.dylib"})
        help->asFolder()->add(
            model::PluginItemFile::create(dir.item(QString("files/") + name), false));
    help->asFolder()->add(model::PluginItemFile::create(dir.item("files/notes.txt"), true));
    const int helpRow = rowNamed(list, "Help");

    // A folder row opens and closes, with the mouse.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, helpRow));
    EXPECT_TRUE(list->Expanded(helpRow));
    EXPECT_EQ(list->ListCount(), 5 + 9);
    list->setListIndex(helpRow);
    w->ListBox1_DoubleClick();
    EXPECT_FALSE(list->Expanded(helpRow));
    EXPECT_EQ(list->ListCount(), 5);
    list->setExpanded(helpRow, true);

    struct Case {
        int row;              // under Help
        const char* html;     // the document viewer's title, if one opens
        const char* picture;  // the picture viewer's title, if one opens
        bool launched;
    };
    const Case cases[] = {
        {0, "Page Title", nullptr, false},   {1, "Manual", nullptr, false},
        {2, "notes.txt", nullptr, false},    {3, nullptr, nullptr, true},
        {4, nullptr, nullptr, true},         {5, nullptr, "icon.png", false},
        {6, nullptr, "icon.unknown", false}, {7, nullptr, nullptr, false},
        {8, nullptr, nullptr, false},  // stored: no file to open
    };
    for (const Case& c : cases) {
        ui->clear();
        list->setListIndex(helpRow + 1 + c.row);
        const QString name = list->RowTag(helpRow + 1 + c.row)->name();
        w->ListBox1_DoubleClick();
        QCoreApplication::processEvents();
        const auto html = openWindowsOf<app::HTMLViewerWind>();
        const auto pictures = openWindowsOf<app::PictureViewerWind>();
        ASSERT_EQ(html.size(), c.html ? 1 : 0) << name.toStdString();
        ASSERT_EQ(pictures.size(), c.picture ? 1 : 0) << name.toStdString();
        if (c.html) {
            EXPECT_EQ(html[0]->windowTitle(), c.html);
        }
        if (c.picture) {
            EXPECT_EQ(pictures[0]->windowTitle(), c.picture);
            EXPECT_EQ(pictures[0]->size(), QSize(30, 20));
        }
        EXPECT_EQ(ui->launched().size(), c.launched ? 1u : 0u) << name.toStdString();
        if (c.launched) {
            EXPECT_EQ(ui->launched()[0]->Name(), name);
        }
        EXPECT_TRUE(ui->messages().isEmpty()) << name.toStdString();
        for (QWidget* v : QApplication::topLevelWidgets())
            if (!qobject_cast<PluginViewerWindow*>(v)) v->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ASSERT_TRUE(openWindowsOf<app::HTMLViewerWind>().isEmpty());

    // The text file's viewer shows it as text, markup and all.
    list->setListIndex(helpRow + 3);
    w->ListBox1_DoubleClick();
    ASSERT_EQ(openWindowsOf<app::HTMLViewerWind>().size(), 1);
    EXPECT_EQ(openWindowsOf<app::HTMLViewerWind>()[0]->textBrowser()->toPlainText(),
              "plain <b>text</b>");

    // With nothing selected, nothing happens; a double-click is never an edit.
    list->setListIndex(-1);
    w->ListBox1_DoubleClick();
    EXPECT_EQ(openWindowsOf<app::HTMLViewerWind>().size(), 1);
    EXPECT_TRUE(w->ContentsChanged()) << "new plugins start changed";
}

TEST_F(EditingTest, ADoubleClickWithTheCommandKeyRenames) {
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    PluginListBox* list = w->ListBox1();
    expand(list, {"Build Resources"});
    const int windows = rowNamed(list, "Windows");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                       rowCentre(list, windows));
    EXPECT_EQ(w->currentBubble(), nullptr) << "a standard folder keeps its name";
    EXPECT_FALSE(list->Expanded(windows)) << "and does not open either";
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(list, 0));
    ASSERT_TRUE(w->currentBubble());
    EXPECT_EQ(w->currentBubble()->TextField1->text(), "Untitled");
}
