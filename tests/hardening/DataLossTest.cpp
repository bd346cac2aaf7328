// Saving in every form into every place a user can pick never changes a byte
// of the plugin's sources: the folder it was read from, and the package it was
// opened from unless the save replaces that package with the same plugin.
#include "HardeningSupport.h"
#include "archive/PluginArchive.h"
#include "model/ZanthPackage.h"
#include "support/TestSupport.h"

using namespace zpc;
using namespace zpc::test;
using archive::PluginArchive;

namespace {

enum class Form { Folder, Kvx, Zanth, Project };

QString outputName(Form form) {
    switch (form) {
        case Form::Folder: return "Plugin";
        case Form::Kvx: return "Plugin.kvx";
        case Form::Zanth: return "Plugin.zanth_plugin";
        case Form::Project: return "Plugin.prjkvx";
    }
    return {};
}

const char* formName(Form form) {
    static const char* names[] = {"folder", "kvx", "zanth", "project"};
    return names[int(form)];
}

bool save(PluginArchive& archive, Form form, const platform::FolderItemPtr& directory) {
    switch (form) {
        case Form::Folder: return archive.saveAsFolder(directory);
        case Form::Kvx: return archive.saveAsPluginFile(directory);
        case Form::Zanth: return archive.saveAsZanthPluginFile(directory);
        case Form::Project: return archive.saveAsProject(directory);
    }
    return false;
}

void writeSources(const TempDir& dir) {
    dir.write("src/Plugin/Build Resources/Linux X86/lib.so", noise(300000, 1));
    dir.write("src/Plugin/Build Resources/Windows/lib.dll", noise(5000, 2));
    dir.write("src/Plugin/IDE Resources/Help/index.html", "<html>help</html>");
    dir.write("src/Plugin/IDE Resources/Help/topics/a b.html", "a");
    dir.write("src/Plugin/IDE Resources/Help/empty", {});
    dir.write("src/Plugin/IDE Resources/.hidden", "not part of the plugin");
    dir.write("src/Plugin/readme.txt", "r");
}

// Where the plugin comes from: the folder itself, or a package of it.
struct Source {
    const char* what;
    QString path;        // relative to the test folder
    Form madeAs;         // how the package was made (Folder: the folder itself)
};

void PrintTo(const Source& source, std::ostream* os) { *os << source.what; }

class DataLoss : public ScriptedUITest, public ::testing::WithParamInterface<Source> {
protected:
    ~DataLoss() override { model::ZanthPackage::removeExtractionFolders(); }
};

TEST_P(DataLoss, EveryFormIntoEveryPlaceKeepsTheSources) {
    const Source source = GetParam();
    const QStringList destinations = {"src/Plugin", "src", "src/Plugin/IDE Resources/Help",
                                      "pkg"};
    for (Form form : {Form::Folder, Form::Kvx, Form::Zanth, Form::Project}) {
        for (const QString& destination : destinations) {
            SCOPED_TRACE(QString("%1 saved as %2 into %3")
                             .arg(source.what, formName(form), destination)
                             .toStdString());
            TempDir dir;
            writeSources(dir);
            dir.mkdir("pkg");
            if (source.madeAs != Form::Folder) {
                auto made = PluginArchive::create(dir.item("src/Plugin"), true, nullptr);
                ASSERT_TRUE(save(*made, source.madeAs, dir.item("pkg")));
            }
            const auto archive = PluginArchive::create(dir.item(source.path), true, nullptr);
            const auto expected = contentsOf(archive);
            ASSERT_EQ(expected.value("Build Resources/Linux X86/lib.so"), noise(300000, 1));
            const auto before = snapshotTree(dir.path());
            const QString output = destination + '/' + outputName(form);

            ASSERT_TRUE(save(*archive, form, dir.item(destination)));

            const auto after = snapshotTree(dir.path());
            for (auto it = before.begin(); it != before.end(); ++it) {
                // Only the output itself may change, and only into the same plugin.
                if (it.key() == output || it.key().startsWith(output + '/')) continue;
                ASSERT_TRUE(after.contains(it.key())) << it.key().toStdString() << " is gone";
                ASSERT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
            }
            for (const QString& path : after.keys())
                ASSERT_TRUE(before.contains(path) || path == output ||
                            path.startsWith(output + '/'))
                    << path.toStdString() << " is left over";
            const auto reopened = PluginArchive::create(dir.item(output), true, nullptr);
            EXPECT_EQ(contentsOf(reopened), expected);
            // The plugin it was opened from reads as before (with the output
            // as one more entry when that went inside it).
            if (!output.startsWith(source.path + '/')) {
                EXPECT_EQ(contentsOf(PluginArchive::create(dir.item(source.path), true, nullptr)),
                          expected);
            }
            EXPECT_TRUE(ui->messages().isEmpty()) << ui->messages().join("\n").toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DataLoss,
    ::testing::Values(Source{"folder", "src/Plugin", Form::Folder},
                      Source{"kvx", "pkg/Plugin.kvx", Form::Kvx},
                      Source{"zanth", "pkg/Plugin.zanth_plugin", Form::Zanth},
                      Source{"project", "pkg/Plugin.prjkvx", Form::Project}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
