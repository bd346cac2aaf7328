// Packages and project files made to do harm, each opened as the application
// opens a document and then saved as a folder: what the user is told, and
// that nothing is written outside the destination, nothing is read from
// outside the package, and nothing crashes. The inputs are built here.
#include "HardeningSupport.h"
#include "archive/PluginArchive.h"
#include "model/PluginItemFile.h"
#include "model/ZanthPackage.h"
#include "support/TestSupport.h"

#include <sqlite3.h>
#include <QRegularExpression>

using namespace zpc;
using namespace zpc::test;
using archive::PluginArchive;
using model::ZanthPackage;

namespace {

const QByteArray kSecret = "SECRET-OUTSIDE-THE-PACKAGE";

struct Row {
    const char* what;
    // Writes the input into the folder and answers its path relative to it.
    std::function<QString(const TempDir&)> make;
    // The messages shown while opening, each a pattern; empty: none.
    QStringList messages;
    // The files of the tree read, relative to the plugin; nullopt: any.
    std::optional<QStringList> files;
    // Free space the unpacking is told about; -1: the real figure.
    qint64 freeSpace = -1;
    // Messages shown while saving the tree as a folder, each a pattern.
    QStringList saveMessages = {};
};

QStringList filesOf(const QMap<QString, QByteArray>& contents) {
    QStringList out;
    for (auto it = contents.begin(); it != contents.end(); ++it)
        if (it.value() != "<dir>") out << it.key();
    return out;
}

// Runs SQL on a new database file.
void sqlite(const QString& path, const QByteArray& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error);
    const QByteArray message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message.constData();
}

const char* kTable =
    "CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, data BLOB);"
    "INSERT INTO sqlar VALUES('Plugin', 16877, 0, 0, NULL),"
    "('Plugin/IDE Resources', 16877, 0, 0, NULL),"
    "('Plugin/IDE Resources/ok.txt', 33188, 0, 2, X'6f6b');";

QString kvx(const TempDir& dir, const QByteArray& rows) {
    sqlite(dir.path("in/Plugin.kvx"), QByteArray(kTable) + rows);
    return "in/Plugin.kvx";
}

QString zanth(const TempDir& dir, const QByteArray& bytes) {
    dir.write("in/Plugin.zanth_plugin", bytes);
    return "in/Plugin.zanth_plugin";
}

QString project(const TempDir& dir, const QByteArray& xml) {
    dir.write("in/Plugin.prjkvx", xml);
    return "in/Plugin.prjkvx";
}

const ZipEntry kFolder{"Plugin/", {}};
const ZipEntry kHelp{"Plugin/IDE Resources/Help/index.html", "help"};

std::vector<Row> rows() {
    const QString stopped = QStringLiteral("^(?s).*");  // unzip's own text follows
    return {
        {"zip entries with ../",
         [](const TempDir& d) {
             return zanth(
                 d,
                 makeZip(
                     {kFolder, kHelp, {"../escape.txt", "x"}, {"Plugin/../../escape2.txt", "y"}}));
         },
         {R"(skipped "\.\./" path component)", "^Error code: 1$"},
         QStringList{}},
        {"zip entries with absolute paths",
         [](const TempDir& d) {
             return zanth(d, makeZip({kFolder,
                                      kHelp,
                                      {QFile::encodeName(d.path("outside/absolute.txt")), "x"}}));
         },
         {"stripped absolute path spec", "^Error code: 1$"},
         QStringList{}},
        {"links out of the folder",
         [](const TempDir& d) {
             return zanth(
                 d,
                 makeZip({kFolder,
                          kHelp,
                          {"Plugin/IDE Resources/Help/secret",
                           QFile::encodeName(d.path("outside/secret.txt")), true},
                          {"Plugin/IDE Resources/Help/up", "../../../../outside/secret.txt", true},
                          {"Plugin/IDE Resources/Help/etc", "/etc", true},
                          {"Plugin/IDE Resources/Help/same", "index.html", true}}));
         },
         {},
         QStringList{"IDE Resources/Help/index.html", "IDE Resources/Help/same"}},
        {"a link out, then a file written through it",
         [](const TempDir& d) {
             return zanth(d, makeZip({kFolder,
                                      kHelp,
                                      {"Plugin/IDE Resources/Help/out",
                                       QFile::encodeName(d.path("outside")), true},
                                      {"Plugin/IDE Resources/Help/out/planted.txt", "planted"}}));
         },
         {"Help/out exists but is not directory\n +unable to process "
          "Plugin/IDE Resources/Help/out/planted.txt",
          "^Error code: 2$"},
         QStringList{}},
        {"overlapping entries within the free space",
         [](const TempDir& d) { return zanth(d, makeOverlappingZip("Plugin", 50, 1 << 20)); },
         {"overlapped components \\(possible zip bomb\\)", "^Error code: 12$"},
         QStringList{},
         qint64(1) << 40},
        {"overlapping entries claiming more than the free space",
         [](const TempDir& d) { return zanth(d, makeOverlappingZip("Plugin", 2000, 4 << 20)); },
         {"^The package \"Plugin.zanth_plugin\" needs 8008 MB once unpacked, more than the "
          "1024 MB free in the temporary folder.$",
          "^Error code: 50$"},
         QStringList{},
         qint64(1) << 30},
        {"a package larger than the free space",
         [](const TempDir& d) {
             return zanth(d, makeZip({kFolder, {"Plugin/IDE Resources/a", noise(3 << 20, 1)}}));
         },
         {"^The package \"Plugin.zanth_plugin\" needs 4 MB once unpacked, more than the 2 MB "
          "free in the temporary folder.$",
          "^Error code: 50$"},
         QStringList{},
         qint64(2) << 20},
        {"no zip at all",
         [](const TempDir& d) { return zanth(d, "PK\x03\x04 and then nothing"); },
         {"End-of-central-directory signature not found", "^Error code: 9$"},
         QStringList{}},
        {"kvx entries leading out",
         [](const TempDir& d) {
             return kvx(d,
                        "INSERT INTO sqlar VALUES('../escape.txt', 33188, 0, 1, X'41'),"
                        "('/absolute.txt', 33188, 0, 1, X'41'),"
                        "('Plugin/../escape2.txt', 33188, 0, 1, X'41'),"
                        "('Plugin/IDE Resources/../../escape3.txt', 33188, 0, 1, X'41'),"
                        "('Plugin/./dot.txt', 33188, 0, 1, X'41'),"
                        "('Plugin/back\\..\\slash.txt', 33188, 0, 1, X'41');");
         },
         {"Can't read 5 of the entries of \"Plugin.kvx\""},
         QStringList{"IDE Resources/ok.txt", "back\\..\\slash.txt"}},
        {"kvx sizes that do not fit the data",
         [](const TempDir& d) {
             return kvx(d,
                        "INSERT INTO sqlar VALUES"
                        "('Plugin/IDE Resources/huge', 33188, 0, 1099511627776, X'00112233'),"
                        "('Plugin/IDE Resources/bomb', 33188, 0, 900000000, X'789c0000'),"
                        "('Plugin/IDE Resources/negative', 33188, 0, -5, X''),"
                        "('Plugin/IDE Resources/zero blob', 33188, 0, 2000000000, "
                        "zeroblob(1000));");
         },
         {"Can't read 4 of the entries of \"Plugin.kvx\""},
         QStringList{"IDE Resources/ok.txt"}},
        {"kvx with corrupt pages",
         [](const TempDir& d) {
             QByteArray rows = "INSERT INTO sqlar VALUES";
             for (int i = 0; i < 40; ++i)
                 rows += QByteArray(i ? "," : "") + "('Plugin/IDE Resources/f" +
                         QByteArray::number(i) + "', 33188, 0, 3000, randomblob(3000))";
             kvx(d, "PRAGMA page_size=1024;" + rows + ";");
             QByteArray bytes = d.read("in/Plugin.kvx");
             for (qsizetype at = 1024; at < bytes.size(); at += 3 * 1024)
                 for (int i = 0; i < 700; ++i) bytes[at + i] = char(0xa5 ^ i);
             d.write("in/Plugin.kvx", bytes);
             return QString("in/Plugin.kvx");
         },
         {},
         std::nullopt},
        {"project with an entity bomb",
         [](const TempDir& d) {
             QByteArray x = "<?xml version=\"1.0\"?><!DOCTYPE pluginarchive [<!ENTITY a \"aaaa\">";
             for (char c = 'b'; c <= 'k'; ++c)
                 x += QByteArray("<!ENTITY ") + c + " \"" + QByteArray("&") + char(c - 1) + ";" +
                      QByteArray("&") + char(c - 1) + ";" + QByteArray("&") + char(c - 1) + ";" +
                      QByteArray("&") + char(c - 1) + ";\">";
             x += "]><pluginarchive><pluginitem itemName=\"&k;\" type=\"folder\"/></pluginarchive>";
             return project(d, x);
         },
         {"^.+$"},
         QStringList{}},
        {"project with an external entity",
         [](const TempDir& d) {
             return project(d,
                            "<?xml version=\"1.0\"?><!DOCTYPE pluginarchive [<!ENTITY x SYSTEM \"" +
                                QFile::encodeName(d.path("outside/secret.txt")) +
                                "\">]><pluginarchive><pluginitem itemName=\"s\" type=\"file\" "
                                "content=\"url\">&x;</pluginitem></pluginarchive>");
         },
         {"^.+$"},
         QStringList{}},
        {"project nested 100000 deep",
         [](const TempDir& d) {
             QByteArray x = "<pluginarchive>";
             for (int i = 0; i < 100000; ++i) x += "<pluginitem itemName=\"d\" type=\"folder\">";
             return project(d, x);
         },
         {"^.+$"},
         QStringList{}},
        {"project with a Base64 line of 32 MB",
         [](const TempDir& d) {
             return project(d,
                            "<pluginarchive><pluginitem itemName=\"big\" type=\"file\" "
                            "mutable=\"true\" content=\"raw\">" +
                                noise(24 << 20, 9).toBase64() + "</pluginitem></pluginarchive>");
         },
         {},
         QStringList{"big"}},
        {"project with names leading out",
         [](const TempDir& d) {
             QByteArray x = "<pluginarchive>";
             for (const QByteArray& name :
                  {QByteArray("../../outside/planted.txt"), QByteArray(".."), QByteArray("."),
                   QFile::encodeName(d.path("outside/absolute.txt")), QByteArray("a/b")})
                 x += "<pluginitem itemName=\"" + name +
                      "\" type=\"file\" content=\"raw\">cGxhbnRlZA==</pluginitem>";
             x += "<pluginitem itemName=\"..\" type=\"folder\"><pluginitem itemName=\"f\" "
                  "type=\"file\" content=\"raw\">cGxhbnRlZA==</pluginitem></pluginitem>";
             return project(d, x + "</pluginarchive>");
         },
         {},
         // Names are any text in the tree, but those that can name no file
         // are never written, and each is named to the user.
         std::nullopt,
         -1,
         {R"(^Can't store file "\.\./\.\./outside/planted\.txt"$)", R"(^Can't store file "\.\."$)",
          R"(^Can't store file "\."$)", R"(^Can't store file "/.*/outside/absolute\.txt"$)",
          R"(^Can't store file "a/b"$)", R"(^Can't store file "\.\."$)"}},
    };
}

class HostileInput : public ScriptedUITest, public ::testing::WithParamInterface<size_t> {
protected:
    ~HostileInput() override {
        ZanthPackage::setFreeSpaceQuery(nullptr);
        ZanthPackage::removeExtractionFolders();
    }
};

TEST_P(HostileInput, IsToldAndStaysInside) {
    const Row row = rows()[GetParam()];
    TempDir dir;
    dir.write("outside/secret.txt", kSecret);
    dir.mkdir("in");
    dir.mkdir("dest");
    dir.mkdir("tmp");
    const QString input = row.make(dir);
    ASSERT_FALSE(HasFatalFailure());
    if (row.freeSpace >= 0)
        ZanthPackage::setFreeSpaceQuery([&](const QByteArray&) { return row.freeSpace; });
    // Unpacking goes below the temporary folder, here inside the test's own.
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path("tmp")));
    ZanthPackage::removeExtractionFolders();
    auto outsideDestination = [&] {
        auto tree = snapshotTree(dir.path());
        for (const QString& key : tree.keys())
            if (key.startsWith("dest/") || key.startsWith("tmp/")) tree.remove(key);
        return tree;
    };
    const auto before = outsideDestination();

    const auto archive = PluginArchive::create(dir.item(input), true, nullptr);
    qputenv("TMPDIR", oldTmp);

    const auto shown = ui->shown();
    QStringList texts;
    for (const auto& s : shown) {
        texts << s.text;
        if (s.kind == platform::ScriptedUIServices::Shown::MessageDialog) texts << s.explanation;
    }
    ASSERT_EQ(texts.size(), row.messages.size()) << texts.join("\n").toStdString();
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_TRUE(QRegularExpression(row.messages[i]).match(texts[i]).hasMatch())
            << texts[i].toStdString();
    const auto contents = contentsOf(archive);
    if (row.files) {
        EXPECT_EQ(filesOf(contents), *row.files);
    }
    for (auto it = contents.begin(); it != contents.end(); ++it)
        EXPECT_FALSE(it.value().contains(kSecret)) << it.key().toStdString() << " was read";
    if (QString(row.what).contains("32 MB")) {
        EXPECT_EQ(contents.value("big"), noise(24 << 20, 9));
    }

    // Written out, the tree stays inside the destination.
    ui->clear();
    archive->saveAsFolder(dir.item("dest"));
    const QStringList saved = ui->messages();
    ASSERT_EQ(saved.size(), row.saveMessages.size()) << saved.join("\n").toStdString();
    for (qsizetype i = 0; i < saved.size(); ++i)
        EXPECT_TRUE(QRegularExpression(row.saveMessages[i]).match(saved[i]).hasMatch())
            << saved[i].toStdString();
    EXPECT_EQ(outsideDestination(), before) << "something was written outside";
    for (const auto& [path, bytes] : snapshotTree(dir.path("dest")).toStdMap())
        EXPECT_FALSE(bytes.contains(kSecret)) << path.toStdString();
    ZanthPackage::removeExtractionFolders();
    EXPECT_TRUE(snapshotTree(dir.path("tmp")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, ::testing::Range(size_t(0), rows().size()),
                         [](const auto& info) {
                             QString name = rows()[info.param].what;
                             name.replace(QRegularExpression("[^A-Za-z0-9]+"), "_");
                             return name.toStdString();
                         });

}  // namespace
