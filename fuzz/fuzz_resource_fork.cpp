// The resource-fork reader on its own and behind every carrier. The first
// byte picks how the rest arrives:
//   0 the bytes are a fork          1 an AppleSingle/AppleDouble file
//   2 a MacBinary file              3 a file openResourceFork finds itself
//   4 the "._NAME" companion of an empty file
#include "FuzzSupport.h"
#include "platform/DiskFolderItem.h"
#include "platform/ResourceFork.h"

#include <unistd.h>
#include <set>

using namespace zpc::platform;
using zpc::fuzz::bytesOf;

namespace {

// What the reader promises of any fork it answers.
void checkFork(const std::shared_ptr<ResourceFork>& fork, qint64 forkSize) {
    if (!fork) return;
    const QList<QByteArray> types = fork->types();
    FUZZ_CHECK(!types.isEmpty());
    int count = 0;
    qint64 dataBytes = 0;
    std::set<QByteArray> seen;
    for (const QByteArray& type : types) {
        FUZZ_CHECK(type.size() == 4 && seen.insert(type).second);
        const std::vector<ResourceEntry> entries = fork->resources(type);
        FUZZ_CHECK(!entries.empty());
        for (size_t i = 0; i < entries.size(); ++i) {
            FUZZ_CHECK(entries[i].type == type);
            FUZZ_CHECK(i == 0 || entries[i - 1].id < entries[i].id);
            FUZZ_CHECK(entries[i].hasName || entries[i].name.isEmpty());
            dataBytes += 4 + entries[i].data.size();
        }
        count += int(entries.size());
    }
    FUZZ_CHECK(count == fork->count());
    // Resources never share bytes, so together they fit the fork.
    FUZZ_CHECK(dataBytes <= forkSize);
}

// The fork and carrier openResourceFork should find in the bytes of a file.
std::shared_ptr<ResourceFork> expectedFromFile(const QByteArray& bytes, ResourceCarrier& carrier) {
    const QByteArray single = appleSingleResourceFork(bytes);
    if (auto fork = single.isEmpty() ? nullptr : ResourceFork::parse(single)) {
        carrier = ResourceCarrier::AppleSingle;
        return fork;
    }
    const QByteArray binary = macBinaryResourceFork(bytes);
    if (auto fork = binary.isEmpty() ? nullptr : ResourceFork::parse(binary)) {
        carrier = ResourceCarrier::MacBinary;
        return fork;
    }
    auto fork = ResourceFork::parse(bytes);
    carrier = fork ? ResourceCarrier::Raw : ResourceCarrier::None;
    return fork;
}

std::vector<ResourceEntry> allEntries(const std::shared_ptr<ResourceFork>& fork) {
    std::vector<ResourceEntry> out;
    if (!fork) return out;
    for (const QByteArray& type : fork->types())
        for (ResourceEntry& e : fork->resources(type)) out.push_back(std::move(e));
    return out;
}

bool sameFork(const std::shared_ptr<ResourceFork>& a, const std::shared_ptr<ResourceFork>& b) {
    const auto x = allEntries(a), y = allEntries(b);
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i)
        if (x[i].type != y[i].type || x[i].id != y[i].id || x[i].name != y[i].name ||
            x[i].hasName != y[i].hasName || x[i].attributes != y[i].attributes ||
            x[i].data != y[i].data)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const QByteArray bytes = bytesOf(data + 1, size - 1);
    switch (data[0] % 5) {
        case 0:
            checkFork(ResourceFork::parse(bytes), bytes.size());
            break;
        case 1: {
            const QByteArray fork = appleSingleResourceFork(bytes);
            FUZZ_CHECK(fork.isEmpty() || fork.size() <= bytes.size() - 26);
            checkFork(ResourceFork::parse(fork), fork.size());
            break;
        }
        case 2: {
            const QByteArray fork = macBinaryResourceFork(bytes);
            FUZZ_CHECK(fork.size() <= bytes.size() - 128 || fork.isEmpty());
            checkFork(ResourceFork::parse(fork), fork.size());
            break;
        }
        case 3: {
            const QByteArray path = zpc::fuzz::writeScratchFile("Plugin", bytes);
            ResourceCarrier carrier = ResourceCarrier::None, expected = ResourceCarrier::None;
            const auto fork = openResourceFork(DiskFolderItem::fromBytes(path), &carrier);
            ::unlink(path.constData());
            checkFork(fork, bytes.size());
            FUZZ_CHECK(fork || carrier == ResourceCarrier::None);
            FUZZ_CHECK(sameFork(fork, expectedFromFile(bytes, expected)) && carrier == expected);
            break;
        }
        case 4: {
            const QByteArray path = zpc::fuzz::writeScratchFile("Plugin", {});
            const QByteArray companion = zpc::fuzz::writeScratchFile("._Plugin", bytes);
            ResourceCarrier carrier = ResourceCarrier::None;
            const auto fork = openResourceFork(DiskFolderItem::fromBytes(path), &carrier);
            ::unlink(companion.constData());
            ::unlink(path.constData());
            checkFork(fork, bytes.size());
            const QByteArray inside = appleSingleResourceFork(bytes);
            FUZZ_CHECK(sameFork(fork, inside.isEmpty() ? nullptr : ResourceFork::parse(inside)));
            FUZZ_CHECK(carrier ==
                       (fork ? ResourceCarrier::AppleDoubleCompanion : ResourceCarrier::None));
            break;
        }
    }
    return 0;
}
