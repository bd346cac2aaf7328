#pragma once

#include <QString>

// The generated plugin folders the benchmarks work on.
namespace zpc::bench {

struct Tree {
    QString root;  // the plugin's folder
    int files = 0;
    qint64 bytes = 0;
};

// 4 platform folders with 3 libraries of 2-20 MB each, 50 icons, 200 help
// pages: about 170 MB. Quick: the same shape at about a sixteenth of the size.
Tree makeTypical(const QString& parent, bool quick);

// 20,000 files of 1-16 KB in about 300 folders, most of them side by side in
// "Help". Quick: 2,000 files in about 40 folders.
Tree makeManySmall(const QString& parent, bool quick);

}  // namespace zpc::bench
