#include "support/EditorTestSupport.h"

#include "app/Menu.h"
#include "editor/BevelButton.h"
#include "model/PluginItemFile.h"
#include "platform/BundlePictures.h"
#include "platform/Picture.h"
#include "platform/Yield.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMenuBar>
#include <QTest>

using namespace zpc;
using namespace zpc::editor;
using namespace zpc::platform;
using archive::PluginArchive;
using test::EditorTest;
using test::rowLines;
using test::rowNamed;
using test::TempDir;

namespace {

using Access = PluginViewerWindowTestAccess;

// A plugin folder "Sample" with one library and a help page.
std::shared_ptr<PluginArchive> sampleFromDisk(const TempDir& dir) {
    dir.write("Sample/Build Resources/Windows/sample.dll", "dll");
    dir.write("Sample/IDE Resources/Help/index.html", "<p>help</p>");
    return PluginArchive::create(dir.item("Sample"), false, nullptr);
}

QImage listPicture(PluginViewerWindow* w) {
    QCoreApplication::processEvents();
    return w->ListBox1()->viewport()->grab().toImage();
}

bool isBlue(QRgb p) {
    return qBlue(p) > 200 && qRed(p) < 80 && qGreen(p) < 80;
}

}  // namespace

TEST_F(EditorTest, ANewPluginIsAnUntitledChangedDocumentWithOneCollapsedRow) {
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Title(), "Untitled.kvx");
    EXPECT_EQ(w->windowTitle(), "Untitled.kvx[*]") << "the platform's modified marker";
    EXPECT_TRUE(w->ContentsChanged());
    EXPECT_TRUE(w->isWindowModified());
    EXPECT_EQ(rowLines(w->ListBox1()), QStringList{"Untitled/"});
    EXPECT_EQ(w->ListBox1()->RowTag(0), w->archive());
    EXPECT_TRUE(bool(w->archive()->compressorAgent)) << "a new plugin gets the application's zip";
    EXPECT_EQ(w->ListBox1()->rows()->data(w->ListBox1()->rows()->index(0), Qt::ToolTipRole),
              "Right click to rename the plugin");
    EXPECT_EQ(
        w->ListBox1()->toolTip(),
        "You can drag and drop files/folders and drag reorder them, click Save to save changes.");
    EXPECT_EQ(w->ListBox1()->acceptedFileTypes(), QStringList{"special/any"});

    // Layout: the content is 541 x 546; the list and buttons keep their anchors.
    EXPECT_EQ(w->centralWidget()->size(), QSize(541, 546));
    EXPECT_EQ(w->ListBox1()->geometry(), QRect(20, 14, 501, 478));
    EXPECT_EQ(w->BtnAdd()->geometry(), QRect(20, 499, 47, 34));
    EXPECT_EQ(w->BtnDelete()->geometry(), QRect(79, 499, 47, 34));
    w->resize(w->width() + 100, w->height() + 50);
    EXPECT_EQ(w->ListBox1()->geometry(), QRect(20, 14, 601, 528));
    EXPECT_EQ(w->BtnAdd()->geometry(), QRect(20, 549, 47, 34));
    EXPECT_EQ(w->minimumSize(), QSize(64, 64));

    // The buttons: pictures, the add button's menu, both disabled.
    EXPECT_FALSE(w->BtnAdd()->isEnabled());
    EXPECT_FALSE(w->BtnDelete()->isEnabled());
    EXPECT_EQ(w->BtnAdd()->picture(), pictures::FolderAdd());
    EXPECT_EQ(w->BtnDelete()->picture(), pictures::FolderRemove());
    EXPECT_NE(w->BtnAdd()->popUpMenu(), nullptr);
    EXPECT_EQ(w->BtnDelete()->popUpMenu(), nullptr);
    EXPECT_EQ(w->BtnAdd()->bevel(), 3);
}

TEST_F(EditorTest, APluginFromDiskIsTitledAfterItsSourceUnchangedAndClosesWithoutPrompt) {
    TempDir dir;
    PluginViewerWindow* w = PluginViewerWindow::create(sampleFromDisk(dir));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Title(), "Sample");
    EXPECT_FALSE(w->ContentsChanged());
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(ui->shown().empty());
    EXPECT_TRUE(PluginViewerWindow::windows().isEmpty());
}

TEST_F(EditorTest, ANilArchiveOpensNoWindow) {
    EXPECT_EQ(PluginViewerWindow::create(std::shared_ptr<PluginArchive>()), nullptr);
    EXPECT_TRUE(PluginViewerWindow::windows().isEmpty());
}

TEST_F(EditorTest, ExpandingAddsOneLevelAndCollapsingRemovesEveryLevelBelow) {
    TempDir dir;
    dir.write("Sample/Build Resources/Windows/sample.dll", "dll");
    dir.mkdir("Sample/Build Resources/Windows/Debug");
    dir.write("Sample/Build Resources/Windows/Debug/sample.pdb", "pdb");
    dir.mkdir("Sample/IDE Resources/Help");
    PluginViewerWindow* w =
        PluginViewerWindow::create(PluginArchive::create(dir.item("Sample"), false, nullptr));
    PluginListBox* list = w->ListBox1();

    list->setExpanded(0, true);
    EXPECT_EQ(rowLines(list), (QStringList{"Sample/-", "  Build Resources/", "  IDE Resources/"}));

    list->setExpanded(rowNamed(list, "Help"), true);  // no such row yet: nothing happens
    list->setExpanded(rowNamed(list, "IDE Resources"), true);
    list->setExpanded(rowNamed(list, "Help"), true);
    EXPECT_EQ(rowLines(list).mid(2),
              (QStringList{"  IDE Resources/-", "    Controls Palette/", "    Help/-"}))
        << "an empty folder expands with nothing under it";

    list->setExpanded(rowNamed(list, "Build Resources"), true);
    list->setExpanded(rowNamed(list, "Windows"), true);
    list->setExpanded(rowNamed(list, "Debug"), true);
    const QStringList full = {
        "Sample/-",           "  Build Resources/-",   "    Mac Carbon Mach-O Universal/",
        "    Mac Cocoa/",     "    Windows/-",         "      Debug/-",
        "        sample.pdb", "      sample.dll",      "    Linux X86/",
        "  IDE Resources/-",  "    Controls Palette/", "    Help/-"};
    EXPECT_EQ(rowLines(list), full);
    EXPECT_EQ(Access::countDisplayedChildForItem(w, list->RowTag(1), 1), 7);
    EXPECT_EQ(Access::countDisplayedChildForItem(w, list->RowTag(4), 4), 3);
    EXPECT_EQ(Access::countDisplayedChildForItem(w, list->RowTag(11), 11), 0);

    // The last row: nothing can be shown under it.
    list->setExpanded(11, false);
    EXPECT_EQ(list->ListCount(), 12);
    EXPECT_FALSE(list->Expanded(11));

    // A folder in the middle: only its block goes.
    list->setExpanded(rowNamed(list, "Windows"), false);
    EXPECT_EQ(rowLines(list).mid(4, 2), (QStringList{"    Windows/", "    Linux X86/"}));

    // The root: everything goes; expanding again shows one collapsed level.
    list->setExpanded(0, false);
    EXPECT_EQ(rowLines(list), QStringList{"Sample/"});
    list->setExpanded(0, true);
    list->setExpanded(1, true);
    EXPECT_EQ(rowLines(list)[4], "    Windows/") << "sub-folders come back collapsed";
}

TEST_F(EditorTest, CollapsingTakesRowsWhoseFileVanishedFromDisk) {
    TempDir dir;
    dir.write("Sample/IDE Resources/Help/a.html", "a");
    dir.write("Sample/IDE Resources/Help/b.html", "b");
    PluginViewerWindow* w =
        PluginViewerWindow::create(PluginArchive::create(dir.item("Sample"), false, nullptr));
    PluginListBox* list = w->ListBox1();
    list->setExpanded(0, true);
    list->setExpanded(rowNamed(list, "IDE Resources"), true);
    list->setExpanded(rowNamed(list, "Help"), true);
    ASSERT_TRUE(QFile::remove(dir.path("Sample/IDE Resources/Help/a.html")));
    list->setExpanded(rowNamed(list, "Help"), false);
    EXPECT_EQ(rowNamed(list, "a.html"), -1);
    EXPECT_EQ(rowNamed(list, "b.html"), -1);
}

TEST_F(EditorTest, TrianglesAndKeysOpenAndCloseFolderRows) {
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    PluginListBox* list = w->ListBox1();
    QCoreApplication::processEvents();

    // A click on the triangle toggles the row and leaves the selection alone.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->disclosureRect(0).center());
    EXPECT_TRUE(list->Expanded(0));
    EXPECT_EQ(list->ListIndex(), -1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->disclosureRect(0).center());
    EXPECT_EQ(rowLines(list), QStringList{"Untitled/"});
    // A click beside it selects.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(200, 17));
    EXPECT_EQ(list->ListIndex(), 0);
    EXPECT_FALSE(list->Expanded(0));

    struct Step {
        int key;
        QStringList rows;
        int selected;
    };
    const Step steps[] = {
        {Qt::Key_Right, {"Untitled/-", "  Build Resources/", "  IDE Resources/"}, 0},
        {Qt::Key_Right, {"Untitled/-", "  Build Resources/", "  IDE Resources/"}, 1},
        {Qt::Key_Plus,
         {"Untitled/-", "  Build Resources/-", "    Mac Carbon Mach-O Universal/", "    Mac Cocoa/",
          "    Windows/", "    Linux X86/", "  IDE Resources/"},
         1},
        {Qt::Key_Minus, {"Untitled/-", "  Build Resources/", "  IDE Resources/"}, 1},
        {Qt::Key_Left, {"Untitled/-", "  Build Resources/", "  IDE Resources/"}, 0},
        {Qt::Key_Return, {"Untitled/"}, 0},
        {Qt::Key_Return, {"Untitled/-", "  Build Resources/", "  IDE Resources/"}, 0},
    };
    for (const Step& s : steps) {
        QTest::keyClick(list, Qt::Key(s.key));
        EXPECT_EQ(rowLines(list), s.rows) << QKeySequence(s.key).toString().toStdString();
        EXPECT_EQ(list->ListIndex(), s.selected) << QKeySequence(s.key).toString().toStdString();
    }
}

TEST_F(EditorTest, RowsArePaintedWhiteAndLightBlueTheSelectedInTheSelectionColour) {
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    PluginListBox* list = w->ListBox1();
    list->setExpanded(0, true);
    const int x = list->viewport()->width() - 4;  // right of any text
    QImage img = listPicture(w);
    EXPECT_EQ(img.pixel(x, 17), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(x, 34 + 17), qRgb(244, 247, 251));
    EXPECT_EQ(img.pixel(x, 68 + 17), qRgb(255, 255, 255));

    list->setListIndex(1);
    img = listPicture(w);
    EXPECT_EQ(QColor(img.pixel(x, 34 + 17)), list->palette().color(QPalette::Highlight));
    EXPECT_EQ(img.pixel(x, 68 + 17), qRgb(255, 255, 255));

    // The root's icon starts 5 pixels into its cell, a child's 10 further.
    auto firstOpaqueColumn = [](const QImage& icon) {
        for (int cx = 0; cx < icon.width(); ++cx)
            for (int cy = 0; cy < icon.height(); ++cy)
                if (qAlpha(icon.pixel(cx, cy)) > 0) return cx;
        return -1;
    };
    // Right of the row's disclosure triangle.
    auto firstInkColumn = [&](const QImage& picture, int rowTop) {
        for (int cx = list->disclosureRect(rowTop / 34).right() + 1; cx < picture.width(); ++cx)
            for (int cy = rowTop; cy < rowTop + 34; ++cy)
                if (picture.pixel(cx, cy) != picture.pixel(x, rowTop + 17)) return cx;
        return -1;
    };
    img = listPicture(w);
    const QImage rootIcon = w->archive()->icon()->composed().convertToFormat(QImage::Format_ARGB32);
    const QImage folderIcon =
        pictures::foldericon()->composed().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(firstInkColumn(img, 0),
              PluginListBox::kDisclosureWidth + 5 + firstOpaqueColumn(rootIcon));
    EXPECT_EQ(firstInkColumn(img, 68),
              PluginListBox::kDisclosureWidth + 15 + firstOpaqueColumn(folderIcon));
}

TEST_F(EditorTest, TheDropTargetRowAloneHasABlueOutlineAndBlueText) {
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    PluginListBox* list = w->ListBox1();
    list->setExpanded(0, true);
    Access::setDragRowTarget(w, 1);
    QImage img = listPicture(w);
    const int left = 0;
    const int right = list->columnWidth() - 1;
    for (QPoint p : {QPoint(left, 34), QPoint(left + 3, 34 + 17), QPoint(right - 3, 34 + 17),
                     QPoint(left + 100, 34 + 3), QPoint(left + 100, 67)})
        EXPECT_TRUE(isBlue(img.pixel(p))) << p.x() << "," << p.y();
    EXPECT_EQ(img.pixel(left + 4, 34 + 17), qRgb(244, 247, 251)) << "4 pixels wide";
    EXPECT_EQ(img.pixel(right - 4, 34 + 17), qRgb(244, 247, 251));
    auto blueTextIn = [&](int rowTop) {
        for (int cx = left + 60; cx < left + 160; ++cx)
            for (int cy = rowTop + 8; cy < rowTop + 26; ++cy)
                if (isBlue(img.pixel(cx, cy))) return true;
        return false;
    };
    EXPECT_TRUE(blueTextIn(34));
    EXPECT_FALSE(blueTextIn(68));
    EXPECT_FALSE(isBlue(img.pixel(left, 68))) << "no other row is outlined";

    Access::setDragRowTarget(w, -1);
    img = listPicture(w);
    EXPECT_FALSE(isBlue(img.pixel(left + 100, 34 + 3)));
    EXPECT_FALSE(blueTextIn(34));
}

TEST(PluginViewerWindowStyle, RootFoldersAndFilesStoredOrNot) {
    TempDir dir;
    dir.write("lib.so", "x");
    auto root = PluginArchive::create(false);
    root->setName("Tools");
    auto linked = model::PluginItemFile::create(dir.item("lib.so"), false);
    auto stored = model::PluginItemFile::create(dir.item("lib.so"), true);
    struct Case {
        model::PluginItemPtr node;
        bool bold;
        int size;
        const char* text;
    };
    const Case cases[] = {
        {root, true, 14, "Tools"},
        {root->item(0), true, 12, "Build Resources"},
        {linked, false, 12, "lib.so"},
        {stored, false, 12, "lib.so (Stored)"},
    };
    for (const Case& c : cases) {
        const auto style = PluginViewerWindow::rowStyle(*c.node);
        EXPECT_EQ(style.bold, c.bold) << c.text;
        EXPECT_EQ(style.size, c.size) << c.text;
        EXPECT_EQ(style.text, c.text);
    }
}

TEST_F(EditorTest, SavingAsFolderHierarchyWritesIntoTheChosenFolderAndClearsTheFlag) {
    TempDir dir;
    dir.mkdir("out");
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    ui->queueFileAnswer(nullptr);
    EXPECT_TRUE(w->_FileSaveAsFolderHierarchy_Action());
    EXPECT_TRUE(w->ContentsChanged()) << "a cancelled dialog saves nothing";
    ui->queueFileAnswer(dir.item("out"));
    w->_FileSaveAsFolderHierarchy_Action();
    EXPECT_FALSE(w->ContentsChanged());
    EXPECT_TRUE(dir.exists("out/Untitled/Build Resources/Linux X86"));
    EXPECT_TRUE(dir.exists("out/Untitled/IDE Resources/Help"));
    ASSERT_EQ(ui->fileDialogs().size(), 2u);
    const FileDialogRequest& r = ui->fileDialogs()[1];
    EXPECT_EQ(r.kind, FileDialogRequest::SelectFolder);
    EXPECT_EQ(r.promptText, "Please, choose a destination folder.");
    EXPECT_EQ(r.window, w) << "a sheet of the window";
    EXPECT_EQ(w->Title(), "Untitled.kvx") << "saving keeps the title";
}

TEST_F(EditorTest, AFailedFolderSaveKeepsTheChangedFlag) {
    TempDir dir;
    dir.write("out/Untitled", "a file where the plugin's folder must go");
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    ui->queueFileAnswer(dir.item("out"));
    w->_FileSaveAsFolderHierarchy_Action();
    EXPECT_TRUE(w->ContentsChanged());
}

TEST_F(EditorTest, RevertReadsTheSourceAgainAndKeepsTheFlag) {
    TempDir dir;
    PluginViewerWindow* w = PluginViewerWindow::create(sampleFromDisk(dir));
    PluginListBox* list = w->ListBox1();
    list->setExpanded(0, true);
    w->archive()->item(0)->asFolder()->remove(0);  // an edit nobody saved
    ASSERT_FALSE(test::outline(w->archive()).contains("Mac Carbon Mach-O Universal/"));
    w->_EditRevert_Action();
    EXPECT_EQ(rowLines(list), QStringList{"Sample/"});
    EXPECT_TRUE(test::outline(w->archive()).contains("  Windows/\n    sample.dll\n"));
    EXPECT_TRUE(test::outline(w->archive()).contains("Mac Carbon Mach-O Universal/"));
    EXPECT_FALSE(w->ContentsChanged());

    // A plugin without a source goes back to its standard folders and stays changed.
    PluginViewerWindow* fresh = PluginViewerWindow::create(false);
    fresh->archive()->item(1)->asFolder()->add(model::PluginItemFolder::create("Extra", true));
    fresh->ListBox1()->setExpanded(0, true);
    fresh->_EditRevert_Action();
    EXPECT_FALSE(test::outline(fresh->archive()).contains("Extra"));
    EXPECT_EQ(rowLines(fresh->ListBox1()), QStringList{"Untitled/"});
    EXPECT_TRUE(fresh->ContentsChanged());
}

TEST_F(EditorTest, TheClosePromptsAnswers) {
    TempDir dir;
    struct Case {
        const char* what;
        int answer;
        const char* saveAs;  // the name typed in the save dialog; nil cancels it
        bool closes;
    };
    const Case cases[] = {
        {"Cancel keeps the window", kAnswerCancel, nullptr, false},
        {"Don't Save closes it", kAnswerAlternate, nullptr, true},
        {"Save writes a single-file package and closes it", kAnswerAction, "Kept", true},
        {"Save, then a cancelled save dialog, keeps it and its changes", kAnswerAction, nullptr,
         false},
    };
    for (const Case& c : cases) {
        ui->clear();
        PluginViewerWindow* w = PluginViewerWindow::create(false);
        ui->queueDialogAnswer(c.answer);
        if (c.answer == kAnswerAction) ui->queueFileAnswer(c.saveAs ? dir.item(c.saveAs) : nullptr);
        EXPECT_EQ(w->close(), c.closes) << c.what;
        ASSERT_EQ(ui->shown().size(), 1u) << c.what;
        EXPECT_EQ(ui->shown()[0].request.window, w) << c.what;
        EXPECT_EQ(ui->shown()[0].request.message,
                  "The document contains unsaved changes. Do You wanto to save them before closing "
                  "the window?");
        EXPECT_EQ(ui->fileDialogs().size(), c.answer == kAnswerAction ? 1u : 0u) << c.what;
        EXPECT_EQ(PluginViewerWindow::windows().contains(w), !c.closes) << c.what;
        if (c.saveAs) {
            EXPECT_TRUE(dir.exists(QString(c.saveAs) + ".kvx")) << c.what;
        }
        if (!c.closes) {
            EXPECT_TRUE(w->ContentsChanged()) << c.what;
            delete w;
        }
    }
}

TEST_F(EditorTest, SavesInEachFormWriteWhereTheDialogsSayAndReopenAsTheSameTree) {
    struct Case {
        const char* item;
        const char* answer;  // the file typed in the save dialog, or the folder chosen
        const char* written;
    };
    const Case cases[] = {
        {"SaveKVXFormat", "out/Sample.kvx", "out/Sample.kvx"},
        {"SaveZanthFormat", "out/Sample", "out/Sample.zanth_plugin"},
        {"FileSaveAsFolderHierarchy", "out", "out/Sample"},
        {"FileSaveAsProject", "out", "out/Sample.prjkvx"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.mkdir("out");
        dir.write("lib/sample.dll", "linked library");
        dir.write("index.html", "<p>stored page</p>");
        PluginViewerWindow* w = PluginViewerWindow::create(false);
        w->archive()->setName("Sample");
        auto build = w->archive()->item(0)->asFolder(), ide = w->archive()->item(1)->asFolder();
        build->item(2)->asFolder()->add(
            model::PluginItemFile::create(dir.item("lib/sample.dll"), false));
        ide->item(1)->asFolder()->add(model::PluginItemFile::create(dir.item("index.html"), true));
        const QString tree = test::outline(w->archive());

        ui->queueFileAnswer(nullptr);
        w->dispatchMenu(c.item);
        EXPECT_TRUE(w->ContentsChanged()) << c.item << ": a cancelled dialog saves nothing";
        ui->queueFileAnswer(dir.item(c.answer));
        w->dispatchMenu(c.item);
        EXPECT_FALSE(w->ContentsChanged()) << c.item;
        EXPECT_EQ(w->Title(), "Untitled.kvx") << c.item << ": saving keeps the title";
        EXPECT_EQ(QDir(dir.path("out")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                  QStringList{QFileInfo(c.written).fileName()})
            << c.item;

        application.openDocument(dir.item(c.written));
        ASSERT_EQ(PluginViewerWindow::windows().size(), 2) << c.item;
        PluginViewerWindow* reopened = PluginViewerWindow::windows()[1];
        EXPECT_EQ(reopened->Title(), QFileInfo(c.written).fileName()) << c.item;
        EXPECT_FALSE(reopened->ContentsChanged()) << c.item;
        EXPECT_EQ(test::outline(reopened->archive()), tree) << c.item;
        delete reopened;
        delete w;
    }
}

TEST_F(EditorTest, ANameTypedWithAnExtensionNamesThePluginBeforeTheFirstDot) {
    TempDir dir;
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    ui->queueFileAnswer(dir.item("Sample.v2.kvx"));
    w->_SaveKVXFormat_Action();
    EXPECT_EQ(w->archive()->name(), "Sample");
    EXPECT_TRUE(dir.exists("Sample.kvx"));
    EXPECT_FALSE(dir.exists("Sample.v2.kvx"));
    const FileDialogRequest& r = ui->fileDialogs()[0];
    EXPECT_EQ(r.suggestedFileName, "Untitled");
    EXPECT_EQ(r.window, nullptr) << "application-modal";
}

TEST_F(EditorTest, QuittingClosesChangedWindowsWithoutAsking) {
    PluginViewerWindow::create(false);
    PluginViewerWindow::create(true);
    application.FileQuit_Action();
    EXPECT_TRUE(ui->shown().empty());
    EXPECT_TRUE(PluginViewerWindow::windows().isEmpty());
}

TEST_F(EditorTest, AWindowRefusesToCloseWhileAnOperationRuns) {
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    {
        ProgressScope running("Saving");
        EXPECT_FALSE(w->close());
        EXPECT_TRUE(ui->shown().empty()) << "not even asked";
    }
    ui->queueDialogAnswer(kAnswerAlternate);
    EXPECT_TRUE(w->close());
}

TEST_F(EditorTest, LongOperationsRunInsideAProgressScope) {
    TempDir dir;
    dir.mkdir("out");
    PluginViewerWindow* w = PluginViewerWindow::create(sampleFromDisk(dir));
    w->ListBox1()->setExpanded(0, true);
    w->ListBox1()->setExpanded(0, false);
    ui->queueFileAnswer(dir.item("out"));
    w->_FileSaveAsFolderHierarchy_Action();
    w->_EditRevert_Action();
    EXPECT_EQ(ui->progressLabels(), (QStringList{"Expanding \"Sample\"", "Collapsing \"Sample\"",
                                                 "Saving \"Sample\"", "Reading \"Sample\""}));
}

TEST_F(EditorTest, MenuCommandsReachTheFrontmostWindowAndItsEnablingStep) {
    app::Menu& menu = app::Menu::instance();
    application.attachMenuHandlers();
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    QApplication::setActiveWindow(w);
    ASSERT_EQ(app::Menu::frontmostTarget(), w);

    menu.updateEnabling();
    EXPECT_TRUE(app::FileSaveAsProject()->isEnabled());
    EXPECT_TRUE(app::EditRevert()->isEnabled());
    EXPECT_TRUE(app::AppleAbout()->isEnabled());
    Access::dropArchive(w);
    menu.updateEnabling();
    EXPECT_FALSE(app::FileSaveAsProject()->isEnabled());
    EXPECT_FALSE(app::EditRevert()->isEnabled());
    delete w;

    w = PluginViewerWindow::create(false);
    QApplication::setActiveWindow(w);
    struct Case {
        const char* item;
        FileDialogRequest::Kind kind;
    };
    const Case cases[] = {{"FileSave", FileDialogRequest::SaveAs},
                          {"SaveKVXFormat", FileDialogRequest::SaveAs},
                          {"SaveZanthFormat", FileDialogRequest::SaveAs},
                          {"FileSaveAsFolderHierarchy", FileDialogRequest::SelectFolder},
                          {"FileSaveAsProject", FileDialogRequest::SelectFolder}};
    for (const Case& c : cases) {
        ui->clear();
        menu.choose(c.item);
        ASSERT_EQ(ui->fileDialogs().size(), 1u) << c.item;
        EXPECT_EQ(ui->fileDialogs()[0].kind, c.kind) << c.item;
        if (c.kind == FileDialogRequest::SaveAs) {
            EXPECT_EQ(ui->fileDialogs()[0].suggestedFileName, "Untitled") << c.item;
            EXPECT_EQ(ui->fileDialogs()[0].window, nullptr) << c.item << ": application-modal";
        }
        EXPECT_TRUE(w->ContentsChanged()) << c.item << ": cancelled";
    }
    w->ListBox1()->setExpanded(0, true);
    menu.choose("EditRevert");
    EXPECT_EQ(w->ListBox1()->ListCount(), 1);
}

TEST_F(EditorTest, EveryEditorWindowCarriesTheMenuBar) {
    PluginViewerWindow* w = PluginViewerWindow::create(false);
    ASSERT_NE(w->menuWidget(), nullptr);
    QStringList titles;
    for (QAction* a : w->menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"File", "Edit", "Help"}));
    EXPECT_EQ(w->centralWidget()->size(), QSize(541, 546)) << "the bar comes on top of the layout";
}
