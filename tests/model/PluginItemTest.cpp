#include "model/PluginItem.h"
#include "support/TestSupport.h"

#include <QRegularExpression>

using namespace zpc::model;

TEST(PluginItem, NamesAndTheMutableFlag) {
    auto item = PluginItem::create("Help", false);
    EXPECT_EQ(item->name(), "Help");
    EXPECT_FALSE(item->mutableName());
    EXPECT_TRUE(item->isValid());
    item->setName("");
    EXPECT_EQ(item->name(), "Help") << "an empty name is ignored";
    item->setName("a/b:c");
    EXPECT_EQ(item->name(), "a/b:c") << "no character is refused";

    auto unnamed = PluginItem::create("", true);
    EXPECT_EQ(unnamed->name(), "");
    EXPECT_FALSE(unnamed->isValid());
    EXPECT_TRUE(unnamed->mutableName());
}

TEST(PluginItem, NeutralAnswersOfTheBase) {
    auto item = PluginItem::create("x", true);
    EXPECT_EQ(item->count(), 0);
    EXPECT_TRUE(item->empty());
    EXPECT_FALSE(item->store(nullptr));
    EXPECT_EQ(item->dataSource(), nullptr);
    EXPECT_EQ(item->icon(), nullptr);
    EXPECT_EQ(item->asFolder(), nullptr);
}

TEST(PluginItem, IdentifierShapeAndFreshnessPerConstruction) {
    static const QRegularExpression shape("^\\d{6}\\.\\d{6}\\.\\d{6,}$");
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        auto item = PluginItem::create("n", true);
        EXPECT_TRUE(shape.match(item->uid()).hasMatch()) << item->uid().toStdString();
        EXPECT_GE(item->uid().size(), 20);
        seen.insert(item->uid());
    }
    EXPECT_EQ(seen.size(), 200);
}

TEST(PluginItem, OwnersAndDepths) {
    auto root = PluginItem::create("Plugin", true);
    auto build = PluginItem::create("Build Resources", false);
    auto windows = PluginItem::create("Windows", false);
    auto file = PluginItem::create("lib.dll", true);
    build->setOwner(root);
    windows->setOwner(build);
    file->setOwner(windows);
    EXPECT_EQ(root->identation(), 0);
    EXPECT_EQ(build->identation(), 1);
    EXPECT_EQ(windows->identation(), 2);
    EXPECT_EQ(file->identation(), 3);
    EXPECT_EQ(file->owner(), windows);

    file->setOwner(PluginItem::create("", true));
    EXPECT_EQ(file->owner(), nullptr) << "an owner whose name is empty detaches";
    EXPECT_EQ(file->identation(), 0);
    windows->setOwner(nullptr);
    EXPECT_EQ(windows->owner(), nullptr);
}

TEST(PluginItem, OwnerLinkDoesNotKeepTheOwnerAlive) {
    auto child = PluginItem::create("c", true);
    {
        auto owner = PluginItem::create("o", true);
        child->setOwner(owner);
        EXPECT_EQ(child->identation(), 1);
    }
    EXPECT_EQ(child->owner(), nullptr);
    EXPECT_EQ(child->identation(), 0);
}
