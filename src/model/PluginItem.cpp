#include "model/PluginItem.h"

#include "model/PluginItemFile.h"
#include "model/PluginItemFolder.h"
#include "platform/Exceptions.h"
#include "platform/Numbers.h"
#include "platform/Text.h"

#include <QHash>

namespace zpc::model {

using namespace zpc::platform;

namespace {
// Deeper owner chains than this can only come from a cycle.
constexpr int kMaxDepth = 1 << 20;
}

PluginItem::~PluginItem() = default;

void throwIllegalCast(const char* target) {
    throw IllegalCastException(QStringLiteral("Illegal cast to %1").arg(QLatin1String(target)));
}

PluginItemPtr PluginItem::create(const QString& name, bool mutableName) {
    auto item = PluginItemPtr(new PluginItem());
    item->constructNamed(name, mutableName);
    return item;
}

void PluginItem::constructEmpty() { _init(); }

void PluginItem::constructNamed(const QString& name, bool mutableName) {
    _init();
    assignName(name);
    mMutableName = mutableName;
}

namespace {
// The number format "000000": at least six digits, leading zeros added.
char* appendSixDigits(char* out, unsigned long long value) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int pad = n; pad < 6; ++pad) *out++ = '0';
    while (n > 0) *out++ = digits[--n];
    return out;
}
}  // namespace

void PluginItem::_init() {
    // Two draws and the microsecond counter, joined by dots.
    Random random;
    const auto first = static_cast<unsigned long long>(random.InRange(1, 100000));
    const auto second = static_cast<unsigned long long>(random.InRange(1, 100000));
    char text[64];
    char* end = appendSixDigits(text, first);
    *end++ = '.';
    end = appendSixDigits(end, second);
    *end++ = '.';
    end = appendSixDigits(end, static_cast<unsigned long long>(Microseconds()));
    mUID = QString::fromLatin1(text, end - text);
}

void PluginItem::assignName(const QString& value) {
    mName = value;
    mNameKey = value.toCaseFolded();
    mNameHash = qHash(mNameKey);
}

QString PluginItem::name() const { return mName; }
bool PluginItem::isValid() const { return !name().isEmpty(); }
int PluginItem::count() const { return 0; }
bool PluginItem::store(const FolderItemPtr&) { return false; }
bool PluginItem::empty() const { return count() == 0; }

void PluginItem::setName(const QString& value) {
    if (!value.isEmpty()) assignName(value);
}

void PluginItem::setOwner(const PluginItemPtr& value) {
    if (value && value->isValid()) mOwner = value;
    else mOwner.reset();
}

int PluginItem::identation() const {
    int depth = 0;
    for (auto up = owner(); up && depth < kMaxDepth; up = up->owner()) ++depth;
    return depth;
}

FolderItemPtr PluginItem::dataSource() const { return nullptr; }
void PluginItem::setDataSource(const FolderItemPtr&) {}
PicturePtr PluginItem::icon() const { return nullptr; }
PluginItemPtr PluginItem::createWithXmlNode(const XmlNodePtr& node) {
    if (!node || node->Type() != XmlNode::Element ||
        !text::equals(node->Name(), QStringLiteral("pluginitem")))
        return nullptr;
    const bool mutableName =
        text::equals(node->GetAttribute(QStringLiteral("mutable")), QStringLiteral("true"));
    const QString type = node->GetAttribute(QStringLiteral("type"));
    const QString itemName = node->GetAttribute(QStringLiteral("itemName"));
    PluginItemPtr item;
    if (text::equals(type, QStringLiteral("folder")))
        item = PluginItemFolder::create(itemName, mutableName);
    else if (text::equals(type, QStringLiteral("file")))
        item = PluginItemFile::create(itemName, mutableName);
    else
        return nullptr;
    item->loadXml(node);
    return item;
}

void PluginItem::storeXml(const XmlNodePtr&) {}
void PluginItem::loadXml(const XmlNodePtr&) {}

}  // namespace zpc::model
