#pragma once

#include "platform/FolderItem.h"
#include "platform/Xml.h"

#include <QString>
#include <memory>
#include <typeinfo>

namespace zpc::platform {
class ResourceFork;
}

namespace zpc::model {

class PluginItem;
class PluginItemFolder;
using PluginItemPtr = std::shared_ptr<PluginItem>;
// The resources of an old single-file plugin, as its resource fork holds them.
using OldFormatResources = std::shared_ptr<const platform::ResourceFork>;

// The base of every node of a plugin tree: a name, whether the user may
// rename it, an identifier that tells nodes apart while the program runs, and
// the folder that holds it.
//
// Construction: a C++ constructor cannot dispatch to a subclass, so the
// framework's constructors are protected "construct" steps run by static
// create() functions once the object is complete. Nodes live in shared_ptr.
class PluginItem : public std::enable_shared_from_this<PluginItem> {
public:
    virtual ~PluginItem();

    // The public constructor (name, mutable flag).
    static PluginItemPtr create(const QString& name, bool mutableName);

    virtual QString name() const;
    virtual bool isValid() const;
    virtual int count() const;
    virtual bool store(const platform::FolderItemPtr& destination);
    bool empty() const;
    bool mutableName() const { return mMutableName; }
    QString uid() const { return mUID; }
    // Empty values are ignored.
    virtual void setName(const QString& value);
    PluginItemPtr owner() const { return mOwner.lock(); }
    // A nil or invalid owner detaches the node.
    void setOwner(const PluginItemPtr& value);
    // Depth: 0 without owner, else the owner's depth plus one.
    int identation() const;
    virtual platform::FolderItemPtr dataSource() const;
    virtual void setDataSource(const platform::FolderItemPtr& value);
    virtual platform::PicturePtr icon() const;

    // The node for one "pluginitem" element of a project file: a folder or a
    // file by its "type", named and flagged from its attributes, its contents
    // read by its own loadXml. Nil for anything else.
    static PluginItemPtr createWithXmlNode(const platform::XmlNodePtr& node);

    // Fast kind test without a cast; answers nil for files.
    virtual PluginItemFolder* asFolder() { return nullptr; }
    const PluginItemFolder* asFolder() const { return const_cast<PluginItem*>(this)->asFolder(); }

    // The case-folded name, kept in step with the name for fast searches,
    // and its hash (equal keys have equal hashes).
    const QString& nameKey() const { return mNameKey; }
    size_t nameHash() const { return mNameHash; }

protected:
    PluginItem() = default;
    // Constructor(): the identifier only.
    void constructEmpty();
    // Constructor(name, mutable flag).
    void constructNamed(const QString& name, bool mutableName);
    virtual void _init();

    // Writes mName and keeps the search key in step.
    void assignName(const QString& value);

    friend class PluginItemFolder;
    virtual void storeXml(const platform::XmlNodePtr& parent);
    virtual void loadXml(const platform::XmlNodePtr& node);

private:
    // First, so a search that skips a node touches one cache line of it.
    size_t mNameHash = 0;

protected:
    QString mName;
    bool mMutableName = true;
    QString mUID;
    std::weak_ptr<PluginItem> mOwner;

private:
    QString mNameKey;
};

[[noreturn]] void throwIllegalCast(const char* target);

// Raises IllegalCastException when the node is not of the asked kind.
template <class T>
std::shared_ptr<T> castItem(const PluginItemPtr& item) {
    auto result = std::dynamic_pointer_cast<T>(item);
    if (item && !result) throwIllegalCast(typeid(T).name());
    return result;
}

}  // namespace zpc::model
