#include "archive/PluginSearch.h"

#include "archive/PluginArchive.h"
#include "platform/Yield.h"

#include <vector>

namespace zpc::archive {

using platform::FolderItemPtr;

FolderItemPtr findPluginDirectory(const FolderItemPtr& folder) {
    std::vector<FolderItemPtr> stack{folder};
    while (!stack.empty()) {
        const FolderItemPtr entry = stack.back();
        stack.pop_back();
        if (entry && entry->Directory()) {
            if (PluginArchive::isPluginDirectory(entry)) return entry;
            const int n = entry->Count();
            for (int i = 1; i <= n; ++i) {
                // TrueItem: a link is answered as itself, and a link is no folder.
                stack.push_back(entry->TrueItem(i));
                platform::yield();
            }
        }
        platform::yield();
    }
    return nullptr;
}

}  // namespace zpc::archive
