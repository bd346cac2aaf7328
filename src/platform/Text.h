#pragma once

#include <QString>
#include <QStringList>

// The framework's text rules: equality and "contains" ignore letter case.
namespace zpc::platform::text {

inline bool equals(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

inline bool contains(const QString& haystack, const QString& needle) {
    return haystack.contains(needle, Qt::CaseInsensitive);
}

// Split keeps empty pieces ("a..b" gives "a", "", "b"); an empty text gives none.
inline QStringList split(const QString& s, const QString& sep) {
    if (s.isEmpty()) return {};
    return s.split(sep, Qt::KeepEmptyParts);
}

// Case-folded key for fast comparisons; equal keys mean equals() is true.
inline QString foldKey(const QString& s) { return s.toCaseFolded(); }

}  // namespace zpc::platform::text
