#pragma once

#include "model/PluginItemFile.h"
#include "model/PluginItemFolder.h"

#include <QString>

namespace zpc::test {

// The tree as indented lines, folders ending in "/", files with their bytes
// ("name=bytes"), for comparing whole trees in one assertion.
inline QString contentOutline(const model::PluginItemPtr& node, int depth = 0) {
    QString out;
    for (const model::PluginItemPtr& child : node->asFolder()->items()) {
        out += QString(depth * 2, QLatin1Char(' ')) + child->name();
        if (child->asFolder())
            out += QStringLiteral("/\n") + contentOutline(child, depth + 1);
        else
            out += QLatin1Char('=') +
                   QString::fromLatin1(
                       std::static_pointer_cast<model::PluginItemFile>(child)->rawData()) +
                   QLatin1Char('\n');
    }
    return out;
}

}  // namespace zpc::test
