#include "platform/qt/QtUIServices.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QProcess>

using namespace zpc;
using platform::QtUIServices;

namespace {

// A session bus of the test's own, on which no file manager runs.
class PrivateBus {
public:
    PrivateBus() {
        mDaemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!mDaemon.waitForStarted(5000) || !mDaemon.waitForReadyRead(5000)) return;
        const QString address = QString::fromUtf8(mDaemon.readLine()).trimmed();
        mConnection = QDBusConnection::connectToBus(address, "zpc-reveal-test");
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus("zpc-reveal-test");
        mDaemon.kill();
        mDaemon.waitForFinished(5000);
    }
    const QDBusConnection& connection() const { return mConnection; }

private:
    QProcess mDaemon;
    QDBusConnection mConnection{QString()};
};

}  // namespace

TEST(RevealInFileManager, WithoutAFileManagerOnTheBusTheFolderIsOpenedInstead) {
    PrivateBus bus;
    if (!bus.connection().isConnected()) GTEST_SKIP() << "no dbus-daemon to run";
    test::TempDir dir;
    dir.write("Help/index.html", "x");
    int fallbacks = 0;
    EXPECT_TRUE(QtUIServices::revealInFileManager(bus.connection(), dir.item("Help/index.html"),
                                                  [&] { ++fallbacks; }));
    EXPECT_TRUE(QtUIServices::revealInFileManager(bus.connection(), dir.item("Help"),
                                                  [&] { ++fallbacks; }));
    EXPECT_EQ(fallbacks, 2);

    // No bus at all: the same.
    EXPECT_TRUE(QtUIServices::revealInFileManager(QDBusConnection(QString()), dir.item("Help"),
                                                  [&] { ++fallbacks; }));
    EXPECT_EQ(fallbacks, 3);
    // Nothing for an entry that is not on disk.
    EXPECT_FALSE(
        QtUIServices::revealInFileManager(bus.connection(), nullptr, [&] { ++fallbacks; }));
    EXPECT_EQ(fallbacks, 3);
}
