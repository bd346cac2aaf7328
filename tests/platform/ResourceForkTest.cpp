#include "platform/DiskFolderItem.h"
#include "platform/MacRoman.h"
#include "platform/ResourceFork.h"
#include "support/ResourceForkWriter.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QSet>
#include <functional>

using namespace zpc::platform;
using zpc::test::getBE16;
using zpc::test::getBE32;
using zpc::test::putBE16;
using zpc::test::putBE24;
using zpc::test::putBE32;
using zpc::test::ResourceForkWriter;
using zpc::test::TempDir;
using Layout = ResourceForkWriter::Layout;

namespace {

// "TYPE:id[name]=data ..." for every resource, in the reader's order; "nil"
// when there is no fork.
std::string describe(const std::shared_ptr<ResourceFork>& fork) {
    if (!fork) return "nil";
    QStringList out;
    for (const QByteArray& type : fork->types()) {
        for (const ResourceEntry& r : fork->resources(type)) {
            QString s = QString::fromLatin1(type) + QLatin1Char(':') + QString::number(r.id);
            if (r.hasName) s += QLatin1Char('[') + r.name + QLatin1Char(']');
            s += QLatin1Char('=') + QString::fromLatin1(r.data.toHex());
            EXPECT_EQ(r.type, type);
            out << s;
        }
    }
    return out.join(QLatin1Char(' ')).toStdString();
}

// "TYPE:id,id TYPE:id" in the reader's order, or "nil".
std::string ids(const std::shared_ptr<ResourceFork>& fork) {
    if (!fork) return "nil";
    QStringList out;
    for (const QByteArray& type : fork->types()) {
        QStringList list;
        for (const ResourceEntry& r : fork->resources(type)) list << QString::number(r.id);
        out << QString::fromLatin1(type) + QLatin1Char(':') + list.join(QLatin1Char(','));
    }
    return out.join(QLatin1Char(' ')).toStdString();
}

// Three old-format types, ids out of order and negative, names with Mac Roman
// characters, a resource without a name and one with no data.
ResourceForkWriter plugin() {
    ResourceForkWriter w;
    w.add("PL86", 128, "\x01\x02", QStringLiteral("Café™ Library"));
    w.add("PL86", -5, "\xff", std::nullopt);
    w.add("PLPC", 1000, "ppc", QStringLiteral("ﬁnal Ω"));
    w.add("PL86", 0, "", QStringLiteral("€"));
    w.add("PLCN", -32768, "carbon", QStringLiteral(""));
    w.add("PL86", 32767, "last", std::nullopt);
    return w;
}
const std::string kPlugin =
    "PL86:-5=ff PL86:0[€]= PL86:128[Café™ Library]=0102 PL86:32767=6c617374 "
    "PLPC:1000[ﬁnal Ω]=707063 PLCN:-32768[]=636172626f6e";

}  // namespace

TEST(MacRoman, DecodesEveryByteToItsOwnCharacterAndBack) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(char(b));
    const QString text = macroman::toUnicode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(QSet<QChar>(text.begin(), text.end()).size(), 256);
    EXPECT_EQ(macroman::fromUnicode(text), all);
    EXPECT_EQ(macroman::toUnicode("\x80\x8e\xa5\xca\xdb\xde\xf0\xff"),
              QString::fromUtf8("Äé•\u00a0€ﬁ\uf8ffˇ"));
    EXPECT_EQ(macroman::fromUnicode(QString::fromUtf8("e\u0301 ✓")), "\x8e ?");
}

TEST(ResourceFork, MacBinaryCrcIsXmodem) {
    EXPECT_EQ(crc16Xmodem("123456789"), 0x31C3);
}

TEST(ResourceFork, ReadsTheForkFromEveryCarrier) {
    const QByteArray fork = plugin().fork();
    const QByteArray data = "the data fork";
    struct Case {
        const char* name;
        std::vector<std::pair<QString, QByteArray>> files;
        QString open;
        ResourceCarrier carrier;
    };
    const std::vector<Case> cases = {
        {"companion",
         {{"P.rsr", data}, {"._P.rsr", ResourceForkWriter::appleDouble(fork)}},
         "P.rsr",
         ResourceCarrier::AppleDoubleCompanion},
        {"__MACOSX beside",
         {{"R/P", data}, {"R/__MACOSX/._P", ResourceForkWriter::appleDouble(fork)}},
         "R/P",
         ResourceCarrier::MacOSXFolder},
        {"__MACOSX above",
         {{"R/a/b/P", data}, {"R/__MACOSX/a/b/._P", ResourceForkWriter::appleDouble(fork)}},
         "R/a/b/P",
         ResourceCarrier::MacOSXFolder},
        {"AppleSingle",
         {{"P", ResourceForkWriter::appleSingle(fork, data)}},
         "P",
         ResourceCarrier::AppleSingle},
        {"AppleDouble itself",
         {{"._P", ResourceForkWriter::appleDouble(fork)}},
         "._P",
         ResourceCarrier::AppleSingle},
        {"MacBinary II",
         {{"P.bin", ResourceForkWriter::macBinary(fork, data, QStringLiteral("Plug-in é"))}},
         "P.bin",
         ResourceCarrier::MacBinary},
        {"MacBinary III",
         {{"P.bin", ResourceForkWriter::macBinary(fork, data, QStringLiteral("P"),
                                                  ResourceForkWriter::MacBinary::III)}},
         "P.bin",
         ResourceCarrier::MacBinary},
        {"MacBinary without data fork",
         {{"P.bin", ResourceForkWriter::macBinary(fork, {}, QStringLiteral("P"))}},
         "P.bin",
         ResourceCarrier::MacBinary},
        {"raw", {{"P.rsrc", fork}}, "P.rsrc", ResourceCarrier::Raw},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& [path, bytes] : c.files) dir.write(path, bytes);
        ResourceCarrier carrier = ResourceCarrier::None;
        const auto found = openResourceFork(dir.item(c.open), &carrier);
        EXPECT_EQ(describe(found), kPlugin) << c.name;
        EXPECT_EQ(carrier, c.carrier) << c.name;
        if (found) {
            EXPECT_EQ(found->types(), (QList<QByteArray>{"PL86", "PLPC", "PLCN"}));
        }
    }
}

// Names copied from a classic Mac often are no UTF-8 (Mac Roman "é" is 0x8E):
// the companion is found by the file name's bytes.
TEST(ResourceFork, CompanionsOfNamesThatAreNoUtf8) {
    const QByteArray name = "Caf\x8e";
    const QByteArray companion = ResourceForkWriter::appleDouble(plugin().fork());
    auto writeBytes = [](const QByteArray& path, const QByteArray& bytes) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0) << path.toStdString();
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
        ::close(fd);
    };
    struct Case {
        const char* what;
        QByteArray companionPath;  // below the folder made for the case
        ResourceCarrier carrier;
    };
    const Case cases[] = {
        {"beside", "/sub/._" + name, ResourceCarrier::AppleDoubleCompanion},
        {"under __MACOSX", "/__MACOSX/sub/._" + name, ResourceCarrier::MacOSXFolder},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        ASSERT_EQ(::mkdir((root + "/sub").constData(), 0700), 0);
        ASSERT_EQ(::mkdir((root + "/__MACOSX").constData(), 0700), 0);
        ASSERT_EQ(::mkdir((root + "/__MACOSX/sub").constData(), 0700), 0);
        writeBytes(root + "/sub/" + name, "data");
        writeBytes(root + c.companionPath, companion);
        ResourceCarrier carrier = ResourceCarrier::None;
        const auto fork =
            openResourceFork(DiskFolderItem::fromBytes(root + "/sub/" + name), &carrier);
        EXPECT_EQ(describe(fork), kPlugin) << c.what;
        EXPECT_EQ(carrier, c.carrier) << c.what;
    }
}

TEST(ResourceFork, CarriersAreTriedInOrderAndEmptyOnesPassed) {
    TempDir dir;
    const QByteArray own = ResourceForkWriter().add("PL86", 1, "own").fork();
    const QByteArray beside = ResourceForkWriter().add("PL86", 2, "beside").fork();
    const QByteArray empty = ResourceForkWriter().fork();

    dir.write("P", own);
    dir.write("._P", ResourceForkWriter::appleDouble(beside));
    EXPECT_EQ(describe(openResourceFork(dir.item("P"))), "PL86:2=626573696465");

    // A companion whose fork holds nothing does not hide the file's own.
    dir.write("._P", ResourceForkWriter::appleDouble(empty));
    ResourceCarrier carrier = ResourceCarrier::None;
    EXPECT_EQ(describe(openResourceFork(dir.item("P"), &carrier)), "PL86:1=6f776e");
    EXPECT_EQ(carrier, ResourceCarrier::Raw);
}

TEST(ResourceFork, NoResourcesAnywhereGivesNil) {
    const QByteArray empty = ResourceForkWriter().fork();
    const QByteArray fork = plugin().fork();
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> make;
        QString open = QStringLiteral("P");
    };
    const std::vector<Case> cases = {
        {"plain file", [](const TempDir& d) { d.write("P", "just some text, no fork at all"); }},
        {"empty file", [](const TempDir& d) { d.write("P", ""); }},
        {"missing", [](const TempDir&) {}},
        {"folder", [](const TempDir& d) { d.mkdir("P"); }},
        {"empty raw fork", [&](const TempDir& d) { d.write("P", empty); }},
        {"empty companion",
         [&](const TempDir& d) {
             d.write("P", "x");
             d.write("._P", ResourceForkWriter::appleDouble(empty));
         }},
        {"empty AppleSingle",
         [&](const TempDir& d) { d.write("P", ResourceForkWriter::appleSingle(empty, "data")); }},
        {"AppleDouble without fork entry",
         [&](const TempDir& d) {
             QByteArray f = ResourceForkWriter::appleDouble(fork);
             putBE32(f, 26 + 12, 1);  // the fork entry becomes a data fork
             d.write("P", f);
         }},
        {"empty MacBinary",
         [&](const TempDir& d) { d.write("P", ResourceForkWriter::macBinary({}, "data", "P")); }},
        {"companion misplaced under __MACOSX",
         [&](const TempDir& d) {
             d.write("R/a/P", "x");
             d.write("R/__MACOSX/._P", ResourceForkWriter::appleDouble(fork));
         },
         "R/a/P"},
        // Neither may block or be read: a fifo never ends, nor does a device.
        {"fifo companion",
         [&](const TempDir& d) {
             d.write("P", "x");
             ASSERT_EQ(::mkfifo(QFile::encodeName(d.path("._P")).constData(), 0600), 0);
         }},
        {"folder companion",
         [&](const TempDir& d) {
             d.write("P", "x");
             d.mkdir("._P");
         }},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.make(dir);
        EXPECT_EQ(describe(openResourceFork(dir.item(c.open))), "nil") << c.name;
    }
    EXPECT_EQ(openResourceFork(nullptr), nullptr);
}

TEST(ResourceFork, RefusesFilesOverTheSizeLimit) {
    TempDir dir;
    const QByteArray fork = ResourceForkWriter().add("PL86", 1, "x").fork();
    dir.write("P", fork);
    ASSERT_NE(openResourceFork(dir.item("P")), nullptr);
    // Still a valid fork at its start, but too large to read; sparse, so cheap.
    QFile f(dir.path("P"));
    ASSERT_TRUE(f.resize(kMaxResourceFileSize + 1));
    EXPECT_EQ(openResourceFork(dir.item("P")), nullptr);
    dir.write("._Q", ResourceForkWriter::appleDouble(fork));
    dir.write("Q", "x");
    QFile companion(dir.path("._Q"));
    ASSERT_TRUE(companion.resize(kMaxResourceFileSize + 1));
    EXPECT_EQ(openResourceFork(dir.item("Q")), nullptr);
}

namespace {

// Resources 0, 1 and 3 are "AAAA" (ids 1, 2, 3, named), resource 2 is "BBBB".
QByteArray damageFixture(Layout& layout) {
    return ResourceForkWriter()
        .add("AAAA", 1, "one", QStringLiteral("n1"))
        .add("AAAA", 2, "two", QStringLiteral("n2"))
        .add("BBBB", 7, "seven")
        .add("AAAA", 3, "three", QStringLiteral("n3"))
        .fork(&layout);
}

}  // namespace

TEST(ResourceFork, DamagedForksGiveNilOrLoseTheBadResource) {
    struct Case {
        const char* name;
        std::function<void(QByteArray&, const Layout&)> damage;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"intact", [](QByteArray&, const Layout&) {}, "AAAA:1,2,3 BBBB:7"},
        {"data area past the end", [](QByteArray& f, const Layout&) { putBE32(f, 0, f.size()); },
         "nil"},
        {"data length wraps 32 bits",
         [](QByteArray& f, const Layout&) { putBE32(f, 8, 0xFFFFFFFF); }, "nil"},
        {"map offset past the end", [](QByteArray& f, const Layout&) { putBE32(f, 4, 0xFFFFFFF0); },
         "nil"},
        {"map length wraps 32 bits",
         [](QByteArray& f, const Layout&) { putBE32(f, 12, 0xFFFFFFFF); }, "nil"},
        {"map too short", [](QByteArray& f, const Layout&) { putBE32(f, 12, 29); }, "nil"},
        {"fork cut short", [](QByteArray& f, const Layout&) { f.chop(1); }, "nil"},
        {"type list past the map",
         [](QByteArray& f, const Layout& l) { putBE16(f, l.mapOffset + 24, 0xFFF0); }, "nil"},
        {"type count 0xFFFF",
         [](QByteArray& f, const Layout& l) { putBE16(f, l.typeList, 0xFFFF); }, "nil"},
        {"type count past the map",
         [](QByteArray& f, const Layout& l) { putBE16(f, l.typeList, 0x7FFF); }, "nil"},
        {"no data area", [](QByteArray& f, const Layout&) { putBE32(f, 8, 0); }, "nil"},
        {"reference list past the map",
         [](QByteArray& f, const Layout& l) { putBE16(f, l.typeEntries[0] + 6, 0xFFFF); },
         "BBBB:7"},
        {"reference count past the map",
         [](QByteArray& f, const Layout& l) { putBE16(f, l.typeEntries[1] + 4, 0xFFFE); },
         "AAAA:1,2,3"},
        {"reference list inside the type list",
         [](QByteArray& f, const Layout& l) { putBE16(f, l.typeEntries[0] + 6, 2); }, "BBBB:7"},
        {"two types share one reference list",
         [](QByteArray& f, const Layout& l) {
             putBE16(f, l.typeEntries[1] + 6, getBE16(f, l.typeEntries[0] + 6));
         },
         "AAAA:1,2,3"},
        // The longer list now takes in the next one, which is then left out.
        {"reference lists overlap",
         [](QByteArray& f, const Layout& l) { putBE16(f, l.typeEntries[0] + 4, 3); },
         "AAAA:1,2,3,7"},
        {"type listed twice",
         [](QByteArray& f, const Layout& l) { f.replace(l.typeEntries[1], 4, "AAAA"); },
         "AAAA:1,2,3"},
        {"data offset past the data",
         [](QByteArray& f, const Layout& l) { putBE24(f, l.references[1] + 5, 0xFFFFFF); },
         "AAAA:1,3 BBBB:7"},
        {"data length past the data",
         [](QByteArray& f, const Layout& l) { putBE32(f, l.data[1], 0xFFFFFFFF); },
         "AAAA:1,3 BBBB:7"},
        {"data runs into the next resource",
         [](QByteArray& f, const Layout& l) { putBE32(f, l.data[0], 5); }, "AAAA:1,3 BBBB:7"},
        {"two resources share their data",
         [](QByteArray& f, const Layout& l) {
             putBE24(f, l.references[3] + 5, quint32(l.data[0] - l.dataOffset));
         },
         "AAAA:1,2 BBBB:7"},
        {"name past the map",
         [](QByteArray& f, const Layout& l) { putBE16(f, l.references[1] + 2, 0xFFF0); },
         "AAAA:1,3 BBBB:7"},
        {"name runs past the end",
         [](QByteArray& f, const Layout& l) { f[l.names[3]] = char(0xFF); }, "AAAA:1,2 BBBB:7"},
        {"id listed twice", [](QByteArray& f, const Layout& l) { putBE16(f, l.references[3], 1); },
         "AAAA:1,2 BBBB:7"},
    };
    for (const Case& c : cases) {
        Layout layout;
        QByteArray fork = damageFixture(layout);
        c.damage(fork, layout);
        EXPECT_EQ(ids(ResourceFork::parse(fork)), c.expected) << c.name;
    }

    // Of two resources with one id, the first in the map is kept.
    Layout layout;
    QByteArray fork = damageFixture(layout);
    putBE16(fork, layout.references[3], 1);
    const auto first = ResourceFork::parse(fork)->resources("AAAA");
    EXPECT_EQ(first.front().data, "one");
    EXPECT_EQ(first.front().name, "n1");
}

TEST(ResourceFork, DamagedCarriersGiveNoFork) {
    Layout layout;
    const QByteArray fork = damageFixture(layout);
    const QByteArray ad = ResourceForkWriter::appleDouble(fork);
    const qint64 forkEntry = 26 + 12;  // the second entry of the table
    auto apple = [&](std::function<void(QByteArray&)> damage) {
        QByteArray f = ad;
        damage(f);
        return ids(ResourceFork::parse(appleSingleResourceFork(f)));
    };
    EXPECT_EQ(apple([](QByteArray&) {}), "AAAA:1,2,3 BBBB:7");
    EXPECT_EQ(apple([](QByteArray& f) { putBE16(f, 24, 100); }), "nil") << "entry count";
    EXPECT_EQ(apple([&](QByteArray& f) { putBE32(f, forkEntry + 8, 0xFFFFFFFF); }), "nil")
        << "entry length";
    EXPECT_EQ(
        apple([&](QByteArray& f) { putBE32(f, forkEntry + 8, getBE32(f, forkEntry + 8) + 1); }),
        "nil")
        << "entry one byte too long";
    EXPECT_EQ(apple([&](QByteArray& f) { putBE32(f, forkEntry + 4, 0xFFFFFFFF); }), "nil")
        << "entry offset";
    EXPECT_EQ(apple([&](QByteArray& f) { putBE32(f, forkEntry + 4, 0); }), "nil")
        << "entry inside the header";
    EXPECT_EQ(apple([](QByteArray& f) { f[3] = 0x08; }), "nil") << "magic";

    for (auto version : {ResourceForkWriter::MacBinary::II, ResourceForkWriter::MacBinary::III}) {
        const QByteArray mb = ResourceForkWriter::macBinary(fork, "data", "P", version);
        auto macBinary = [&](std::function<void(QByteArray&)> damage, bool reseal) {
            QByteArray f = mb;
            damage(f);
            if (reseal) ResourceForkWriter::sealMacBinaryHeader(f);
            return ids(ResourceFork::parse(macBinaryResourceFork(f)));
        };
        EXPECT_EQ(macBinary([](QByteArray&) {}, false), "AAAA:1,2,3 BBBB:7");
        EXPECT_EQ(macBinary([](QByteArray& f) { f[2] = 'Q'; }, false), "nil") << "bad CRC";
        EXPECT_EQ(macBinary([](QByteArray& f) { f[125] ^= 1; }, false), "nil") << "bad CRC";
        EXPECT_EQ(macBinary([](QByteArray& f) { putBE32(f, 87, 0xFFFFFFF0); }, true), "nil")
            << "fork length";
        EXPECT_EQ(macBinary([](QByteArray& f) { putBE32(f, 83, 0xFFFFFFFF); }, true), "nil")
            << "data length";
        EXPECT_EQ(macBinary([](QByteArray& f) { putBE16(f, 120, 0xFFFF); }, true), "nil")
            << "secondary header";
        EXPECT_EQ(macBinary([](QByteArray& f) { f[0] = 1; }, true), "nil") << "version byte";
        EXPECT_EQ(macBinary([](QByteArray& f) { f[1] = 64; }, true), "nil") << "name length";
    }
}

// Every prefix and every single-byte change of a fork and of its carriers
// must be read without reading past the bytes (run under the sanitizers).
TEST(ResourceFork, SurvivesEveryTruncationAndByteChange) {
    Layout layout;
    const QByteArray fork = damageFixture(layout);
    struct Carrier {
        QByteArray whole;
        std::function<QByteArray(const QByteArray&)> unwrap;
        qint64 needed;  // the shortest prefix that still holds the fork
    };
    const QByteArray mb = ResourceForkWriter::macBinary(fork, "data", "P");
    const std::vector<Carrier> carriers = {
        {fork, [](const QByteArray& b) { return b; }, fork.size()},
        {ResourceForkWriter::appleSingle(fork, "data"), appleSingleResourceFork,
         26 + 2 * 12 + 4 + fork.size()},
        {mb, macBinaryResourceFork, 2 * 128 + fork.size()},  // the padding after it may go
    };
    for (const auto& [whole, unwrap, needed] : carriers) {
        for (qint64 n = 0; n <= whole.size(); ++n)
            EXPECT_EQ(ResourceFork::parse(unwrap(whole.left(n))) != nullptr, n >= needed) << n;
        for (qint64 at = 0; at < whole.size(); ++at) {
            for (int value : {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF}) {
                QByteArray damaged = whole;
                damaged[at] = char(value);
                const auto found = ResourceFork::parse(unwrap(damaged));
                if (!found) continue;
                int total = 0;
                for (const QByteArray& type : found->types()) {
                    const auto list = found->resources(type);
                    EXPECT_FALSE(list.empty());
                    for (size_t i = 0; i < list.size(); ++i) {
                        EXPECT_LE(list[i].data.size(), fork.size());
                        if (i > 0) {
                            EXPECT_LT(list[i - 1].id, list[i].id);
                        }
                    }
                    total += int(list.size());
                }
                EXPECT_EQ(total, found->count());
            }
        }
    }
}
