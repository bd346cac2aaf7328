#include "app/App.h"
#include "app/FileTypesApp.h"
#include "platform/Exceptions.h"
#include "platform/qt/GuardedApplication.h"
#include "support/TestSupport.h"

#include <QEvent>
#include <QWidget>

using namespace zpc;
using namespace zpc::platform;

class AppDialogs : public test::ScriptedUITest {
protected:
    app::App application;
};

TEST_F(AppDialogs, SavePromptTextsAndAnswers) {
    QWidget window;
    struct Case {
        int queued;
        int expected;
    };
    for (const Case& c : {Case{kAnswerAction, 1}, Case{kAnswerAlternate, 2}, Case{kAnswerCancel, 0}})
    {
        ui->queueDialogAnswer(c.queued);
        EXPECT_EQ(application.displayDialogDocumentRequiresSave(&window), c.expected);
    }
    ASSERT_EQ(ui->shown().size(), 3u);
    const auto& r = ui->shown()[0].request;
    EXPECT_EQ(r.icon, kIconQuestion);
    EXPECT_EQ(r.message,
              "The document contains unsaved changes. Do You wanto to save them before closing the window?");
    EXPECT_EQ(r.explanation, "Your changes will be lost if you don't save them.");
    EXPECT_EQ(r.actionCaption, "Save");
    EXPECT_TRUE(r.alternateVisible);
    EXPECT_EQ(r.alternateCaption, "Don't Save");
    EXPECT_TRUE(r.cancelVisible);
    EXPECT_EQ(r.cancelCaption, "Cancel");
    EXPECT_EQ(r.window, &window) << "attached to the window";

    application.displayDialogDocumentRequiresSave(nullptr);
    EXPECT_EQ(ui->shown().back().request.window, nullptr) << "free-standing without a window";
}

TEST_F(AppDialogs, ErrorDialogTexts) {
    application.displayErrorDialog("", 1);
    application.displayErrorDialog("unzip: cannot find zipfile", -9);
    ASSERT_EQ(ui->shown().size(), 2u);
    EXPECT_EQ(ui->shown()[0].icon, kIconStop);
    EXPECT_EQ(ui->shown()[0].text, "An error has occurred!");
    EXPECT_EQ(ui->shown()[0].explanation, "Error code: 1");
    EXPECT_EQ(ui->shown()[1].text, "unzip: cannot find zipfile");
    EXPECT_EQ(ui->shown()[1].explanation, "Error code: -9");
}

TEST_F(AppDialogs, GlobalAccessorReachesTheOneApplication) {
    EXPECT_EQ(&app::app(), &application);
}

namespace {
class Throwing : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw OutOfBoundsException("index 7 is out of bounds");
        return QObject::event(e);
    }
};
}  // namespace

TEST_F(AppDialogs, UncaughtFailuresReachTheErrorDialogAndTheApplicationGoesOn) {
    GuardedApplication::setFailureHandler(
        [this](const QString& m, int code) { application.displayErrorDialog(m, code); });
    Throwing target;
    QEvent ev(QEvent::User);
    QCoreApplication::sendEvent(&target, &ev);
    QEvent again(QEvent::User);
    QCoreApplication::sendEvent(&target, &again);
    GuardedApplication::setFailureHandler({});
    ASSERT_EQ(ui->shown().size(), 2u);
    EXPECT_EQ(ui->shown()[0].text, "OutOfBoundsException: index 7 is out of bounds");
    EXPECT_EQ(ui->shown()[0].explanation, "Error code: 3");
}

TEST(FileTypesApp, SixTypesInOrder) {
    const auto& t = app::FileTypesApp::table();
    ASSERT_EQ(t.size(), 6u);
    const char* expected[6][4] = {{"text", "", "TEXT", "R*ch"},
                                  {"special/any", "", "????", "????"},
                                  {"Old Plugin File", "", "KVPl", "KVv2"},
                                  {"special/folder", "", "fold", "MACS"},
                                  {"New Plugin File", ".kvx", "KVPx", "KVv2"},
                                  {"Plugin Project File", ".prjkvx", "TEXT", "iRPG"}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(t[i].Name, expected[i][0]);
        EXPECT_EQ(t[i].Extensions.join(";"), expected[i][1]);
        EXPECT_EQ(t[i].MacType, expected[i][2]);
        EXPECT_EQ(t[i].MacCreator, expected[i][3]);
    }
    EXPECT_EQ(app::FileTypesApp::SpecialAny().Name, "special/any");
}
