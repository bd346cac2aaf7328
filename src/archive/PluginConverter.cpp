#include "archive/PluginConverter.h"

#include "archive/PluginSearch.h"
#include "platform/BinaryStream.h"
#include "platform/Exceptions.h"
#include "platform/Yield.h"

namespace zpc::archive {

using namespace zpc::platform;

namespace {
constexpr qint64 kChunkSize = 1 << 20;
}

PluginConverter::PluginConverter(FolderItemPtr source, std::shared_ptr<VirtualVolume> destination)
    : mPluginSource(std::move(source)), mPluginDest(std::move(destination)) {}

PluginConverter::~PluginConverter() = default;

bool PluginConverter::Convert() {
    requireNonNil(mPluginSource, "Convert");
    if (mPluginSource->Directory()) return ConvertFromDirectory();
    return ConvertBuildResources() && ConvertIDEResources();
}

bool PluginConverter::ConvertBuildResources() {
    return false;
}
bool PluginConverter::ConvertIDEResources() {
    return false;
}

bool PluginConverter::ConvertFromDirectory() {
    if (!mPluginDest) return false;
    const FolderItemPtr plugin = findPluginDirectory(mPluginSource);
    if (!plugin) return false;
    AddFolderToVV(plugin, mPluginDest->Root());
    return !mWriteFailed && mPluginDest->Flush();
}

void PluginConverter::AddFolderToVV(const FolderItemPtr& source, const FolderItemPtr& destination) {
    if (mWriteFailed || !source || !destination) {
        mWriteFailed = true;
        return;
    }
    const FolderItemPtr folder = destination->Child(source->Name());
    folder->CreateAsFolder();
    if (folder->LastErrorCode() != 0) {
        mWriteFailed = true;
        return;
    }
    const int n = source->Count();
    for (int i = 1; i <= n && !mWriteFailed; ++i) {
        const FolderItemPtr entry = source->TrueItem(i);
        if (!entry) continue;
        if (entry->Directory()) {
            AddFolderToVV(entry, folder);
        } else if (entry->Visible()) {
            const FolderItemPtr file = entry->IsSymbolicLink() ? source->Item(i) : entry;
            if (file && !file->Directory() && !copyFile(file, folder->Child(entry->Name())))
                mWriteFailed = true;
        }
        yield();
    }
}

bool PluginConverter::copyFile(const FolderItemPtr& source, const FolderItemPtr& target) {
    std::unique_ptr<BinaryStream> in = BinaryStream::Open(source);
    if (!in) return false;
    std::unique_ptr<BinaryStream> out = BinaryStream::Create(target, true);
    if (!out) return false;
    out->reserve(source->Length());
    while (!in->isEOF() && !in->hasError() && !out->hasError()) {
        const QByteArray chunk = in->Read(kChunkSize);
        if (chunk.isEmpty()) break;
        out->Write(chunk);
        yield();
    }
    in->Close();
    out->Close();
    return !in->hasError() && !out->hasError();
}

}  // namespace zpc::archive
