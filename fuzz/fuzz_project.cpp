// The project-file reader as the application runs it: the bytes are a
// ".prjkvx" file opened as a plugin, so the XML parser, the node factory and
// every node's loadXml build the tree. Whatever the tree, every node in it is
// valid and owned by its folder, and saving it as a project and opening that
// again gives the same tree.
#include "FuzzSupport.h"
#include "archive/PluginArchive.h"
#include "model/PluginItemFile.h"
#include "platform/DiskFolderItem.h"
#include "platform/UIServices.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>

using namespace zpc;
using namespace zpc::platform;
using zpc::fuzz::bytesOf;

namespace {

void checkTree(const model::PluginItemFolder& folder, int depth) {
    FUZZ_CHECK(depth <= XmlDocument::kMaxDepth);
    for (int i = 0; i < folder.count(); ++i) {
        const model::PluginItemPtr item = folder.item(i);
        FUZZ_CHECK(item && item->isValid() && !item->name().isEmpty());
        FUZZ_CHECK(item->owner().get() == &folder);
        if (const auto* sub = item->asFolder()) {
            FUZZ_CHECK(!sub->dataSource());
            checkTree(*sub, depth + 1);
        } else {
            const auto file = std::dynamic_pointer_cast<model::PluginItemFile>(item);
            FUZZ_CHECK(file && !file->isStored());
        }
    }
}

bool sameTree(const model::PluginItemFolder& a, const model::PluginItemFolder& b) {
    if (a.count() != b.count()) return false;
    for (int i = 0; i < a.count(); ++i) {
        const model::PluginItemPtr x = a.item(i), y = b.item(i);
        if (x->name() != y->name() || x->mutableName() != y->mutableName()) return false;
        if (bool(x->asFolder()) != bool(y->asFolder())) return false;
        if (x->asFolder()) {
            if (!sameTree(*x->asFolder(), *y->asFolder())) return false;
            continue;
        }
        const auto fx = std::static_pointer_cast<model::PluginItemFile>(x);
        const auto fy = std::static_pointer_cast<model::PluginItemFile>(y);
        if (fx->rawData() != fy->rawData()) return false;
        if (fx->rawData().isEmpty() && fx->urlData() != fy->urlData()) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Messages of the reader are expected; keep them off the fuzzer's output.
    static const ScopedUI quiet(std::make_shared<ScriptedUIServices>());
    const QByteArray path = zpc::fuzz::writeScratchFile("Plugin.prjkvx", bytesOf(data, size));
    const auto archive =
        archive::PluginArchive::create(DiskFolderItem::fromBytes(path), true, nullptr);
    ::unlink(path.constData());
    checkTree(*archive, 1);
    if (archive->empty()) return 0;

    const QByteArray out = zpc::fuzz::scratchFolder() + "/out";
    ::mkdir(out.constData(), 0700);
    const QByteArray saved = out + '/' + archive->name().toUtf8() + ".prjkvx";
    if (archive->saveAsProject(DiskFolderItem::fromBytes(out))) {
        const auto again =
            archive::PluginArchive::create(DiskFolderItem::fromBytes(saved), true, nullptr);
        if (!sameTree(*archive, *again)) {
            std::fprintf(stderr, "the saved project reads back as another tree\n");
            FUZZ_CHECK(!"a saved project reads back as the same tree");
        }
    }
    ::unlink(saved.constData());
    ::rmdir(out.constData());
    return 0;
}
