#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace zpc::fuzz {

// A package database described row by row, so the fuzzer varies names,
// modes, sizes and data instead of hunting for SQLite's file format, and then
// damages the finished file here and there. encode() and decode() are exact
// inverses for recipes decode() can answer; any bytes decode to some recipe.
struct KvxRecipe {
    enum class Schema : quint8 {
        Standard,       // as the standard tool and our writer make it
        Untyped,        // no types, no key: duplicate and odd names
        WithoutRowid,   // a table without rowids
        OtherCase,      // upper-case names and an extra column
        View,           // sqlar is a view of another table
        MissingColumn,  // no mtime
        Indexed,        // an index on sz
        Count
    };
    enum class Name : quint8 { Text, Blob, Null, Count };
    enum class Mode : quint8 { File, Folder, Link, Zero, Other, Count };
    enum class Data : quint8 {
        Bytes,       // content stored as is
        Compressed,  // content deflated
        Null,
        Text,
        Zeros,     // a zero blob of length bytes, written by SQLite
        Repeated,  // content's first byte repeated length times, deflated
        Integer,
        Count
    };
    enum class Size : quint8 { Exact, Explicit, Off, Count };

    struct Row {
        QByteArray name;
        Name nameAs = Name::Text;
        Mode mode = Mode::File;
        Data data = Data::Bytes;
        Size size = Size::Exact;
        qint64 otherMode = 0;  // Mode::Other
        qint64 sz = 0;         // Size::Explicit: sz; Size::Off: added to the exact size
        quint32 length = 0;    // Zeros, Repeated
        QByteArray content;
    };
    struct Patch {
        quint32 offset;  // taken modulo the file's size
        quint8 value;
    };

    // Bounds that keep one input fast however it is mutated.
    static constexpr int kMaxRows = 64;
    static constexpr qint64 kMaxSynthesized = 8 << 20;

    Schema schema = Schema::Standard;
    quint8 pageSizeLog2 = 12;  // 9..16
    std::vector<Row> rows;
    std::vector<Patch> patches;

    QByteArray encode() const;
    static KvxRecipe decode(const uint8_t* data, size_t size);

    // Writes the database, then the patches, to a new file at path. False when
    // SQLite could not make it (the file is then removed).
    bool build(const QByteArray& path) const;
};

}  // namespace zpc::fuzz
