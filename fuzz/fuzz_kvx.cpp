// The ".kvx" reader. An input that starts with the SQLite header is the
// package file itself; any other input is a KvxRecipe, built into a valid
// database (then damaged where the recipe says). Every entry is walked and
// every file read through BinaryStream and searched for a resource fork.
#include "FuzzSupport.h"
#include "KvxRecipe.h"
#include "platform/BinaryStream.h"
#include "platform/DiskFolderItem.h"
#include "platform/Exceptions.h"
#include "platform/ResourceFork.h"
#include "platform/VirtualVolume.h"
#include "platform/VolumeStore.h"

#include <unistd.h>
#include <cstring>
#include <set>
#include <vector>

using namespace zpc::platform;
using zpc::fuzz::bytesOf;
using zpc::fuzz::KvxRecipe;

namespace {

constexpr char kHeader[] = "SQLite format 3";  // with its terminating zero: 16 bytes

void readFile(const FolderItemPtr& file) {
    const qint64 length = file->Length();
    FUZZ_CHECK(length >= 0 && length <= VolumeStore::kMaxFileSize);
    auto stream = BinaryStream::Open(file);
    // Data that does not inflate to the declared size gives no stream.
    if (!stream) return;
    FUZZ_CHECK(stream->Length() == length);
    qint64 total = 0;
    while (!stream->isEOF()) {
        const QByteArray chunk = stream->Read(256 * 1024);
        if (chunk.isEmpty()) break;
        total += chunk.size();
    }
    FUZZ_CHECK(stream->hasError() || total == length);
    stream->Close();

    // Old plugins may travel inside a package, forks and companions too.
    if (auto fork = openResourceFork(file)) FUZZ_CHECK(fork->count() > 0);
}

void walk(const FolderItemPtr& root) {
    FUZZ_CHECK(root->Exists() && root->Directory() && !root->Parent());
    std::vector<FolderItemPtr> folders{root};
    while (!folders.empty()) {
        const FolderItemPtr folder = folders.back();
        folders.pop_back();
        const int count = folder->Count();
        FUZZ_CHECK(count >= 0 && !folder->Item(0) && !folder->Item(count + 1));
        std::set<QString> folded;
        for (int i = 1; i <= count; ++i) {
            const FolderItemPtr item = folder->Item(i);
            FUZZ_CHECK(item && item->Exists() && item->Locked());
            const QString name = item->Name();
            FUZZ_CHECK(isValidEntryName(name));
            FUZZ_CHECK(folded.insert(name.toCaseFolded()).second);
            FUZZ_CHECK(item->Parent()->NativePath() == folder->NativePath());
            const FolderItemPtr again = folder->Child(name.toCaseFolded());
            FUZZ_CHECK(again->Exists() && again->Directory() == item->Directory() &&
                       again->Length() == item->Length());
            // Its URL leads nowhere on disk.
            try {
                GetFolderItem(item->URLPath());
                FUZZ_CHECK(!"a volume entry's URL resolves");
            } catch (const UnsupportedFormatException&) {
            }
            FUZZ_CHECK(!item->openForWriting(true));
            if (item->Directory())
                folders.push_back(item);
            else
                readFile(item);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray path = zpc::fuzz::scratchFolder() + "/Plugin.kvx";
    if (size >= sizeof kHeader && std::memcmp(data, kHeader, sizeof kHeader) == 0) {
        zpc::fuzz::writeScratchFile("Plugin.kvx", bytesOf(data, size));
    } else if (!KvxRecipe::decode(data, size).build(path)) {
        return 0;
    }
    if (auto volume = DiskFolderItem::fromBytes(path)->OpenAsVirtualVolume()) {
        walk(volume->Root());
        FUZZ_CHECK(!volume->Flush());
    }
    ::unlink(path.constData());
    return 0;
}
