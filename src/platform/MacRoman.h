#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The character set of classic Mac OS text (resource names, file names).
namespace zpc::platform::macroman {

QString toUnicode(QByteArrayView bytes);
// Characters the set lacks become "?". Decomposed accents are composed first,
// so "e" followed by a combining acute still gives one byte.
QByteArray fromUnicode(const QString& text);

}  // namespace zpc::platform::macroman
