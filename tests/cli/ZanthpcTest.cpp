// zanthpc run as a user runs it: a subprocess on real files, without any
// display (the environment names none).
#include "support/ResourceForkWriter.h"
#include "support/TestSupport.h"

#include <grp.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace zpc::test {
namespace {

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// A user without privileges, for the tests of permissions: root reads and
// writes everything.
constexpr uid_t kNobody = 65534;

Outcome zanthpc(const QStringList& args, const QString& workingDirectory = QString(),
                const QString& temporaryFolder = QString(), bool withoutPrivileges = false) {
    QProcess p;
    if (withoutPrivileges && ::geteuid() == 0)
        p.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(126);
        });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    if (!temporaryFolder.isEmpty()) env.insert(QStringLiteral("TMPDIR"), temporaryFolder);
    p.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty()) p.setWorkingDirectory(workingDirectory);
    p.start(QStringLiteral(ZANTHPC_PATH), args);
    Outcome r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

int shell(const QString& command, const QString& workingDirectory) {
    QProcess p;
    p.setWorkingDirectory(workingDirectory);
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!p.waitForFinished(60000)) return -1;
    return p.exitCode();
}

QString shellWord(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QByteArray allBytes() {
    QByteArray bytes;
    for (int i = 0; i < 256 * 3; ++i) bytes.append(char(i * 7 % 256));
    return bytes;
}

// A plugin folder with every standard folder of the modern set, so that what
// any form reads back is exactly this tree.
const char* const kStandardFolders[] = {"Build Resources/Mac Carbon Mach-O Universal",
                                        "Build Resources/Mac Cocoa",
                                        "Build Resources/Windows",
                                        "Build Resources/Linux X86",
                                        "IDE Resources/Controls Palette",
                                        "IDE Resources/Help"};

const QString kShellName = QStringLiteral("it's $(touch pwned) & \"q\" ;|*?[x] `id`.txt");

void writePlugin(const TempDir& dir, const QString& root) {
    for (const char* folder : kStandardFolders)
        dir.mkdir(root + QLatin1Char('/') + QLatin1String(folder));
    dir.write(root + QStringLiteral("/Build Resources/Linux X86/libsample.so"), allBytes());
    dir.write(root + QStringLiteral("/Build Resources/Windows/Sample Plugin.dll"),
              QByteArray("MZ\0\1\2", 5));
    dir.write(root + QStringLiteral("/IDE Resources/Help/index.html"), "<html>help</html>\n");
    dir.write(root + QStringLiteral("/IDE Resources/Help/empty.txt"), QByteArray());
    dir.write(root + QStringLiteral("/IDE Resources/Help/Pages/") + kShellName, "shell characters");
    dir.write(root + QStringLiteral("/IDE Resources/Controls Palette/icon.png"), "\x89PNG\r\n");
}

// What a form at the path holds, read by the standard tool for that form
// (a project file through zanthpc itself, back into a folder).
QMap<QString, QByteArray> contentsOf(const QString& form, const QString& path,
                                     const TempDir& scratch, const QString& plugin) {
    static int n = 0;
    const QString where = scratch.path(QStringLiteral("read-%1").arg(++n));
    QDir().mkpath(where);
    if (form == QLatin1String("folder")) return snapshotTree(path);
    if (form == QLatin1String("kvx")) {
        EXPECT_EQ(shell(QStringLiteral("sqlite3 %1 -Ax").arg(shellWord(path)), where), 0);
    } else if (form == QLatin1String("zanth")) {
        EXPECT_EQ(shell(QStringLiteral("unzip -q %1").arg(shellWord(path)), where), 0);
    } else {
        const Outcome r = zanthpc({QStringLiteral("convert"), path, QStringLiteral("--to"),
                                   QStringLiteral("folder"), QStringLiteral("-o"), where});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
    }
    EXPECT_EQ(QDir(where).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{plugin});
    return snapshotTree(where + QLatin1Char('/') + plugin);
}

QString outputName(const QString& form, const QString& plugin) {
    if (form == QLatin1String("kvx")) return plugin + QStringLiteral(".kvx");
    if (form == QLatin1String("zanth")) return plugin + QStringLiteral(".zanth_plugin");
    if (form == QLatin1String("project")) return plugin + QStringLiteral(".prjkvx");
    return plugin;
}

const QStringList kForms = {QStringLiteral("folder"), QStringLiteral("kvx"),
                            QStringLiteral("zanth"), QStringLiteral("project")};

// ---- Every form to every form ----

class FormToForm : public ::testing::TestWithParam<std::tuple<QString, QString>> {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir();
        writePlugin(*dir, QStringLiteral("Sample Plugin"));
        expected =
            new QMap<QString, QByteArray>(snapshotTree(dir->path(QStringLiteral("Sample Plugin"))));
        dir->mkdir(QStringLiteral("sources"));
        for (const QString& form : kForms) {
            const QString target = dir->path(QStringLiteral("sources/") + form);
            QDir().mkpath(target);
            const Outcome r =
                zanthpc({QStringLiteral("convert"), dir->path(QStringLiteral("Sample Plugin")),
                         QStringLiteral("--to"), form, QStringLiteral("-o"), target});
            ASSERT_EQ(r.status, 0) << r.err.toStdString();
        }
    }
    static void TearDownTestSuite() {
        delete expected;
        delete dir;
    }
    static TempDir* dir;
    static QMap<QString, QByteArray>* expected;
};
TempDir* FormToForm::dir = nullptr;
QMap<QString, QByteArray>* FormToForm::expected = nullptr;

TEST_P(FormToForm, WritesTheSameTreeByteForByte) {
    const auto& [from, to] = GetParam();
    const QString plugin = QStringLiteral("Sample Plugin");
    const QString source =
        dir->path(QStringLiteral("sources/%1/%2").arg(from, outputName(from, plugin)));
    TempDir out;
    const Outcome r = zanthpc({QStringLiteral("convert"), source, QStringLiteral("--to"), to,
                               QStringLiteral("-o"), out.path()});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QByteArray());
    const QString written = out.path(outputName(to, plugin));
    EXPECT_EQ(r.out, QFile::encodeName(written) + '\n');
    // Nothing but the output (no working folder or temporary file left over).
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{outputName(to, plugin)});
    EXPECT_EQ(contentsOf(to, written, out, plugin), *expected);
    EXPECT_FALSE(out.exists(QStringLiteral("pwned")));
}

INSTANTIATE_TEST_SUITE_P(AllForms, FormToForm,
                         ::testing::Combine(::testing::ValuesIn(kForms),
                                            ::testing::ValuesIn(kForms)),
                         [](const auto& info) {
                             return (std::get<0>(info.param) + QStringLiteral("_to_") +
                                     std::get<1>(info.param))
                                 .toStdString();
                         });

// A project written from a zipped package cannot point into the package's
// unpacked copy, which is gone once zanthpc ends: it carries the bytes.
TEST(Zanthpc, ProjectFromZippedPackageOutlivesTheUnpackedCopy) {
    TempDir dir;
    writePlugin(dir, QStringLiteral("P"));
    ASSERT_EQ(
        zanthpc({QStringLiteral("convert"), dir.path(QStringLiteral("P")), QStringLiteral("--to"),
                 QStringLiteral("zanth"), QStringLiteral("-o"), dir.path()})
            .status,
        0);
    dir.mkdir(QStringLiteral("out"));
    ASSERT_EQ(zanthpc({QStringLiteral("convert"), dir.path(QStringLiteral("P.zanth_plugin")),
                       QStringLiteral("--to"), QStringLiteral("project"), QStringLiteral("-o"),
                       dir.path(QStringLiteral("out"))})
                  .status,
              0);
    const QByteArray project = dir.read(QStringLiteral("out/P.prjkvx"));
    EXPECT_FALSE(project.contains("content=\"url\"")) << project.left(2000).toStdString();
    EXPECT_EQ(contentsOf(QStringLiteral("project"), dir.path(QStringLiteral("out/P.prjkvx")), dir,
                         QStringLiteral("P")),
              snapshotTree(dir.path(QStringLiteral("P"))));
}

// Packages are unpacked into the temporary folder; nothing of them stays
// there once zanthpc ends, and folders left by a killed run go at the next.
TEST(Zanthpc, RemovesWhatItUnpacked) {
    TempDir dir;
    writePlugin(dir, QStringLiteral("P"));
    ASSERT_EQ(
        zanthpc({QStringLiteral("convert"), dir.path(QStringLiteral("P")), QStringLiteral("--to"),
                 QStringLiteral("zanth"), QStringLiteral("-o"), dir.path()})
            .status,
        0);
    dir.mkdir(QStringLiteral("tmp/ZanthPluginConverter-999999999-abc/left"));
    const Outcome r = zanthpc({QStringLiteral("list"), dir.path(QStringLiteral("P.zanth_plugin"))},
                              QString(), dir.path(QStringLiteral("tmp")));
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("P/\n"));
    EXPECT_EQ(QDir(dir.path(QStringLiteral("tmp")))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList());
}

// ---- list ----

TEST(Zanthpc, ListsTheTreeIndentedWithStoredFiles) {
    TempDir dir;
    dir.write(QStringLiteral("Tiny/Build Resources/Windows/a.dll"), "a");
    dir.write(QStringLiteral("Tiny/IDE Resources/Help/b c.html"), "b");
    dir.write(QStringLiteral("Tiny/Extra/d.txt"), "d");
    const QByteArray folderTree =
        "Tiny/\n"
        "  Build Resources/\n"
        "    Mac Carbon Mach-O Universal/\n"
        "    Mac Cocoa/\n"
        "    Windows/\n"
        "      a.dll\n"
        "    Linux X86/\n"
        "  IDE Resources/\n"
        "    Controls Palette/\n"
        "    Help/\n"
        "      b c.html\n"
        "  Extra/\n"
        "    d.txt\n";
    Outcome r = zanthpc({QStringLiteral("list"), dir.path(QStringLiteral("Tiny"))});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, QByteArray());
    EXPECT_EQ(r.out, folderTree);

    // A single-file package holds the bytes of its files itself.
    ASSERT_EQ(
        zanthpc({QStringLiteral("convert"), dir.path(QStringLiteral("Tiny")),
                 QStringLiteral("--to"), QStringLiteral("kvx"), QStringLiteral("-o"), dir.path()})
            .status,
        0);
    r = zanthpc({QStringLiteral("list"), dir.path(QStringLiteral("Tiny.kvx"))});
    EXPECT_EQ(r.status, 0);
    QByteArray packageTree = folderTree;
    for (const char* file : {"a.dll", "b c.html", "d.txt"})
        packageTree.replace(QByteArray(file) + '\n', QByteArray(file) + " (Stored)\n");
    EXPECT_EQ(r.out, packageTree);

    r = zanthpc(
        {QStringLiteral("list"), dir.path(QStringLiteral("Tiny.kvx")), QStringLiteral("--json")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(r.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    // The same tree as the text listing, node for node.
    QByteArray fromJson;
    std::function<void(const QJsonObject&, int)> walk = [&](const QJsonObject& node, int depth) {
        EXPECT_EQ(node.keys().size(), 5);
        const QString kind = node[QLatin1String("kind")].toString();
        fromJson += QByteArray(depth * 2, ' ') + node[QLatin1String("name")].toString().toUtf8();
        if (kind != QLatin1String("file")) fromJson += '/';
        if (node[QLatin1String("stored")].toBool()) fromJson += " (Stored)";
        fromJson += '\n';
        EXPECT_EQ(kind == QLatin1String("archive"), depth == 0);
        for (const QJsonValue child : node[QLatin1String("children")].toArray())
            walk(child.toObject(), depth + 1);
    };
    walk(json.object(), 0);
    EXPECT_EQ(fromJson, packageTree);
    // The root and the standard folders keep their names; what the user added may be renamed.
    const QJsonObject root = json.object();
    EXPECT_FALSE(root[QLatin1String("mutable")].toBool());
    const QJsonArray top = root[QLatin1String("children")].toArray();
    EXPECT_FALSE(top[0].toObject()[QLatin1String("mutable")].toBool());
    EXPECT_TRUE(top[2].toObject()[QLatin1String("mutable")].toBool());
}

TEST(Zanthpc, JsonEscapesNames) {
    TempDir dir;
    dir.write(QStringLiteral("Q/IDE Resources/Help/say \"hi\" \\ \t.txt"), "x");
    const Outcome r =
        zanthpc({QStringLiteral("list"), QStringLiteral("--json"), dir.path(QStringLiteral("Q"))});
    ASSERT_EQ(r.status, 0);
    const QJsonDocument json = QJsonDocument::fromJson(r.out);
    const QJsonObject help =
        json[QLatin1String("children")][1][QLatin1String("children")][1].toObject();
    EXPECT_EQ(help[QLatin1String("children")][0][QLatin1String("name")].toString(),
              QStringLiteral("say \"hi\" \\ \t.txt"));
}

// ---- Exit statuses ----

struct StatusCase {
    const char* label;
    QStringList args;  // "@" stands for the folder of the test
    int status;
    QByteArray errStart;  // standard error starts with this
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.label;
}

class ExitStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ExitStatus, AnswersTheStatus) {
    TempDir dir;
    writePlugin(dir, QStringLiteral("Good"));
    dir.mkdir(QStringLiteral("Nothing/Below"));
    dir.write(QStringLiteral("notes.txt"), "no plugin");
    dir.write(QStringLiteral("broken.zanth_plugin"), "no zip archive");
    QStringList args;
    for (QString a : GetParam().args) args << a.replace(QLatin1Char('@'), dir.path());
    const Outcome r = zanthpc(args, dir.path());
    EXPECT_EQ(r.status, GetParam().status) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith(GetParam().errStart)) << r.err.toStdString();
    if (GetParam().status == 2) {
        EXPECT_TRUE(r.err.contains("Usage:\n  zanthpc list SOURCE [--json]\n"))
            << r.err.toStdString();
    }
    if (GetParam().status != 0) {
        EXPECT_EQ(r.out, QByteArray());
    }
}

QStringList words(const char* text) {
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExitStatus,
    ::testing::Values(
        StatusCase{"list", words("list @/Good"), 0, ""},
        StatusCase{"convert", words("convert Good --to kvx"), 0, ""},
        StatusCase{"new", words("new --to project -o @"), 0, ""},
        StatusCase{"pack", words("pack @/Good"), 0, "Successfully converted\n"},
        StatusCase{"help", words("--help"), 0, ""},
        StatusCase{"version", words("--version"), 0, ""},
        StatusCase{"missing_source", words("list @/Gone"), 1, "zanthpc: no such file or folder: "},
        StatusCase{"folder_without_plugin", words("convert @/Nothing --to kvx"), 1,
                   "zanthpc: no plugin found in "},
        StatusCase{"file_in_no_form", words("list @/notes.txt"), 1, "zanthpc: no plugin found in "},
        StatusCase{"broken_zip", words("list @/broken.zanth_plugin"), 1, ""},
        StatusCase{"missing_destination", words("convert @/Good --to kvx -o @/Gone"), 1,
                   "zanthpc: not a writable folder: "},
        StatusCase{"file_as_destination", words("new --to folder -o @/notes.txt"), 1,
                   "zanthpc: not a writable folder: "},
        StatusCase{"pack_without_plugin", words("pack @/Nothing"), 1, "Conversion failed\n"},
        StatusCase{"pack_onto_a_folder", words("pack @/Good -o @/Nothing"), 1,
                   "zanthpc: a folder is in the way: "},
        StatusCase{"no_arguments", {}, 2, "zanthpc: no command given\n"},
        StatusCase{"unknown_command", words("frob"), 2, "zanthpc: unknown command \"frob\"\n"},
        StatusCase{"no_source", words("list"), 2, "zanthpc: list needs a SOURCE\n"},
        StatusCase{"two_sources", words("list @/Good @/Good"), 2, "zanthpc: unexpected argument"},
        StatusCase{"no_form", words("convert @/Good"), 2, "zanthpc: convert needs --to FORM\n"},
        StatusCase{"bad_form", words("new --to zip"), 2, "zanthpc: unknown FORM \"zip\""},
        StatusCase{"option_of_another_command", words("list @/Good --to kvx"), 2,
                   "zanthpc: list does not take the option --to\n"},
        StatusCase{"missing_value", words("convert @/Good --to"), 2,
                   "zanthpc: --to needs a value\n"},
        StatusCase{"twice", words("new --to kvx --to zanth"), 2, "zanthpc: --to is given twice\n"},
        StatusCase{"slash_in_name", words("new --to kvx --name a/b"), 2, "zanthpc: a plugin name"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Zanthpc, BrokenZippedPackageShowsUnzipsMessageAndCode) {
    TempDir dir;
    dir.write(QStringLiteral("broken.zanth_plugin"), "no zip archive");
    const Outcome r =
        zanthpc({QStringLiteral("list"), dir.path(QStringLiteral("broken.zanth_plugin"))});
    EXPECT_EQ(r.status, 1);
    // The error dialog: unzip's output, then its code.
    EXPECT_TRUE(r.err.contains("\nError code: 9\n")) << r.err.toStdString();
    EXPECT_EQ(r.out, QByteArray());
}

TEST(Zanthpc, NeedsNoWidgets) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(ZANTHPC_PATH)});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const QByteArray libraries = ldd.readAllStandardOutput();
    EXPECT_TRUE(libraries.contains("libQt6Core")) << libraries.toStdString();
    EXPECT_FALSE(libraries.contains("libQt6Widgets")) << libraries.toStdString();
}

TEST(Zanthpc, HelpAndVersionOnStandardOutput) {
    Outcome r = zanthpc({QStringLiteral("--help")});
    EXPECT_TRUE(r.out.startsWith("Usage:\n  zanthpc list SOURCE [--json]\n"));
    EXPECT_EQ(r.err, QByteArray());
    r = zanthpc({QStringLiteral("--version")});
    EXPECT_TRUE(r.out.startsWith("zanthpc " ZPC_TEST_VERSION " (")) << r.out.toStdString();
}

// ---- Messages of the model, word for word ----

TEST(Zanthpc, PackageThatCannotBeStoredIsReported) {
    TempDir dir;
    writePlugin(dir, QStringLiteral("Good"));
    dir.mkdir(QStringLiteral("out/Good.kvx"));  // a folder in the package's place
    const Outcome r = zanthpc({QStringLiteral("convert"), dir.path(QStringLiteral("Good")),
                               QStringLiteral("--to"), QStringLiteral("kvx"), QStringLiteral("-o"),
                               dir.path(QStringLiteral("out"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QByteArray("Can't store file \"Good.kvx\"\n"));
    EXPECT_EQ(r.out, QByteArray());
}

// Runs the permission tests as a user without privileges when the tests run
// as root; skips them where that user cannot reach the program or the folder.
bool preparedWithoutPrivileges(const TempDir& dir) {
    if (::geteuid() != 0) return true;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther);
    const Outcome probe = zanthpc({QStringLiteral("list"), dir.path()}, {}, {}, true);
    // "no plugin found" shows the program ran and could read the folder.
    return probe.status == 1 && probe.err.contains("no plugin found");
}

void giveToNobody(const QString& path) {
    if (::geteuid() != 0) return;
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), kNobody, kNobody), 0);
}

TEST(Zanthpc, UnreadableFileIsReported) {
    TempDir dir;
    if (!preparedWithoutPrivileges(dir))
        GTEST_SKIP() << "no unprivileged user can run zanthpc here";
    writePlugin(dir, QStringLiteral("Good"));
    const QString locked =
        dir.path(QStringLiteral("Good/Build Resources/Windows/Sample Plugin.dll"));
    QFile::setPermissions(locked, QFileDevice::Permissions());
    dir.mkdir(QStringLiteral("out"));
    giveToNobody(dir.path(QStringLiteral("out")));
    const Outcome r = zanthpc(
        {QStringLiteral("convert"), dir.path(QStringLiteral("Good")), QStringLiteral("--to"),
         QStringLiteral("folder"), QStringLiteral("-o"), dir.path(QStringLiteral("out"))},
        {}, {}, true);
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("Can't store file \"Sample Plugin.dll\"\n"))
        << r.err.toStdString();
    EXPECT_EQ(r.out, QByteArray());
}

TEST(Zanthpc, ReadOnlyDestinationIsRefused) {
    TempDir dir;
    if (!preparedWithoutPrivileges(dir))
        GTEST_SKIP() << "no unprivileged user can run zanthpc here";
    writePlugin(dir, QStringLiteral("Good"));
    dir.mkdir(QStringLiteral("ro"));
    QFile::setPermissions(dir.path(QStringLiteral("ro")),
                          QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const Outcome r = zanthpc(
        {QStringLiteral("convert"), dir.path(QStringLiteral("Good")), QStringLiteral("--to"),
         QStringLiteral("zanth"), QStringLiteral("-o"), dir.path(QStringLiteral("ro"))},
        {}, {}, true);
    QFile::setPermissions(dir.path(QStringLiteral("ro")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zanthpc: not a writable folder: " +
                         QFile::encodeName(dir.path(QStringLiteral("ro"))) + '\n');
}

// ---- Names with blanks and shell characters ----

class ShellNames : public ::testing::TestWithParam<QString> {};

TEST_P(ShellNames, WriteAndReadBack) {
    const QString form = GetParam();
    TempDir dir;
    writePlugin(dir, QStringLiteral("Plain"));
    const QString name = QStringLiteral("My $HOME 'x' & \"y\"; `id` *?[a] -n");
    const QString where = dir.path(QStringLiteral("out $(touch pwned) 'q';&"));
    QDir().mkpath(where);
    const Outcome r = zanthpc({QStringLiteral("convert"), dir.path(QStringLiteral("Plain")),
                               QStringLiteral("--to"), form, QStringLiteral("-o"), where,
                               QStringLiteral("--name"), name});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString written = where + QLatin1Char('/') + outputName(form, name);
    EXPECT_EQ(r.out, QFile::encodeName(written) + '\n');
    EXPECT_TRUE(QFileInfo::exists(written));
    // Read back through zanthpc as well: it opens what it wrote.
    const Outcome list = zanthpc({QStringLiteral("list"), written});
    EXPECT_EQ(list.status, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.startsWith(name.toUtf8() + "/\n")) << list.out.toStdString();
    EXPECT_TRUE(list.out.contains(kShellName.toUtf8())) << list.out.toStdString();
    EXPECT_EQ(contentsOf(form, written, dir, name),
              snapshotTree(dir.path(QStringLiteral("Plain"))));
    EXPECT_FALSE(QFileInfo::exists(dir.path(QStringLiteral("pwned"))));
    EXPECT_FALSE(QFileInfo::exists(where + QStringLiteral("/pwned")));
}

INSTANTIATE_TEST_SUITE_P(AllForms, ShellNames, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return info.param.toStdString(); });

TEST(Zanthpc, NameFollowsTheArchivesRules) {
    TempDir dir;
    writePlugin(dir, QStringLiteral("Plain"));
    const Outcome r =
        zanthpc({QStringLiteral("convert"), dir.path(QStringLiteral("Plain")),
                 QStringLiteral("--to"), QStringLiteral("kvx"), QStringLiteral("--name"),
                 QStringLiteral("Renamed.v2.kvx"), QStringLiteral("-o"), dir.path()});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QFile::encodeName(dir.path(QStringLiteral("Renamed.kvx"))) + '\n');
}

// ---- new ----

TEST(Zanthpc, NewWritesTheStandardFolders) {
    TempDir dir;
    Outcome r = zanthpc({QStringLiteral("new"), QStringLiteral("--to"), QStringLiteral("folder")},
                        dir.path());
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QFile::encodeName(dir.path(QStringLiteral("Untitled"))) + '\n');
    EXPECT_EQ(QDir(dir.path(QStringLiteral("Untitled/Build Resources")))
                  .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                  .size(),
              4);

    r = zanthpc({QStringLiteral("new"), QStringLiteral("--classic"), QStringLiteral("--to"),
                 QStringLiteral("folder"), QStringLiteral("--name"), QStringLiteral("Old Style")},
                dir.path());
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QStringList platforms = QDir(dir.path(QStringLiteral("Old Style/Build Resources")))
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QStringList classic = {
        QStringLiteral("Mac Classic"),       QStringLiteral("Mac Carbon"),
        QStringLiteral("Mac Carbon Mach-O"), QStringLiteral("Mac Carbon Mach-O Universal"),
        QStringLiteral("Mac Cocoa"),         QStringLiteral("Windows"),
        QStringLiteral("Linux X86")};
    classic.sort();
    EXPECT_EQ(platforms, classic);
    EXPECT_EQ(QDir(dir.path(QStringLiteral("Old Style/IDE Resources")))
                  .entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("Controls Palette"), QStringLiteral("Help")}));
}

// ---- pack ----

TEST(Zanthpc, PackWritesThePackageBesideTheFolder) {
    TempDir dir;
    writePlugin(dir, QStringLiteral("Holder/deep/My Plugin"));
    const QString holder = dir.path(QStringLiteral("Holder"));
    // The plugin folder below is found as Open Folder Hierarchy... finds it.
    Outcome r = zanthpc({QStringLiteral("pack"), holder});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QByteArray("Successfully converted\n"));
    EXPECT_EQ(r.out, QFile::encodeName(holder + QStringLiteral(".kvx")) + '\n');
    EXPECT_EQ(contentsOf(QStringLiteral("kvx"), holder + QStringLiteral(".kvx"), dir,
                         QStringLiteral("My Plugin")),
              snapshotTree(dir.path(QStringLiteral("Holder/deep/My Plugin"))));

    const QString chosen = dir.path(QStringLiteral("elsewhere/It's packed.kvx"));
    dir.mkdir(QStringLiteral("elsewhere"));
    r = zanthpc({QStringLiteral("pack"), holder, QStringLiteral("-o"), chosen});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QFile::encodeName(chosen) + '\n');
    EXPECT_TRUE(QFileInfo(chosen).isFile());
}

TEST(Zanthpc, FailedPackLeavesNoPackage) {
    TempDir dir;
    dir.mkdir(QStringLiteral("Nothing/Below"));
    const Outcome r = zanthpc({QStringLiteral("pack"), dir.path(QStringLiteral("Nothing"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QByteArray("Conversion failed\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("Nothing")});
}

// ---- Old single-file plugins ----

TEST(Zanthpc, OldPluginFileListsConvertsAndPacks) {
    TempDir dir;
    dir.write(QStringLiteral("My Tools.v2.rsrc"),
              ResourceForkWriter()
                  .add("PL86", 128, "windows library", QStringLiteral("Tools.dll"))
                  .add("PLPC", 129, "classic library")
                  .fork());
    const QString old = dir.path(QStringLiteral("My Tools.v2.rsrc"));

    Outcome r = zanthpc({QStringLiteral("list"), old});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("My Tools/\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("    Windows/\n      Tools.dll (Stored)\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("    Mac Classic/\n      My Tools.v2129 (Stored)\n"))
        << r.out.toStdString();

    r = zanthpc({QStringLiteral("convert"), old, QStringLiteral("--to"), QStringLiteral("folder"),
                 QStringLiteral("-o"), dir.path()});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QFile dll(dir.path(QStringLiteral("My Tools/Build Resources/Windows/Tools.dll")));
    ASSERT_TRUE(dll.open(QIODevice::ReadOnly));
    EXPECT_EQ(dll.readAll(), QByteArray("windows library"));

    r = zanthpc({QStringLiteral("pack"), old});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QByteArray("Successfully converted\n"));
    EXPECT_EQ(contentsOf(QStringLiteral("kvx"), old + QStringLiteral(".kvx"), dir,
                         QStringLiteral("My Tools")),
              snapshotTree(dir.path(QStringLiteral("My Tools"))));
}

// ---- Standard error stays clean off a terminal ----

TEST(Zanthpc, NoProgressNoiseWhenStandardErrorIsNoTerminal) {
    TempDir dir;
    writePlugin(dir, QStringLiteral("Big"));
    for (int i = 0; i < 1500; ++i)
        dir.write(QStringLiteral("Big/IDE Resources/Help/page%1.html").arg(i),
                  QByteArray(2048, 'x'));
    for (const QString& form : kForms) {
        const Outcome r = zanthpc({QStringLiteral("convert"), dir.path(QStringLiteral("Big")),
                                   QStringLiteral("--to"), form, QStringLiteral("-o"), dir.path()});
        EXPECT_EQ(r.status, 0) << form.toStdString();
        EXPECT_EQ(r.err, QByteArray()) << form.toStdString();
    }
}

}  // namespace
}  // namespace zpc::test
