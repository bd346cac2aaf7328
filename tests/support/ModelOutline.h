#pragma once

#include "model/PluginItemFile.h"
#include "model/PluginItemFolder.h"

#include <QString>

namespace zpc::test {

// Every node below the folder as indented lines, folders ending in "/".
inline QString outline(const model::PluginItemPtr& node, int depth = 0) {
    QString out;
    for (const model::PluginItemPtr& child : node->asFolder()->items()) {
        out += QString(depth * 2, QLatin1Char(' ')) + child->name() +
               (child->asFolder() ? QStringLiteral("/\n") : QStringLiteral("\n"));
        if (child->asFolder()) out += outline(child, depth + 1);
    }
    return out;
}

// The same, with files holding their bytes (copies in memory) marked "*".
inline QString storedOutline(const model::PluginItemPtr& node, int depth = 0) {
    QString out;
    for (const model::PluginItemPtr& child : node->asFolder()->items()) {
        out += QString(depth * 2, QLatin1Char(' ')) + child->name();
        if (child->asFolder()) {
            out += QStringLiteral("/\n") + storedOutline(child, depth + 1);
        } else {
            auto file = std::dynamic_pointer_cast<model::PluginItemFile>(child);
            out += file && file->isStored() ? QStringLiteral("*\n") : QStringLiteral("\n");
        }
    }
    return out;
}

// The outline of a new modern plugin: its standard folders.
inline constexpr char kModernTree[] =
    "Build Resources/\n"
    "  Mac Carbon Mach-O Universal/\n"
    "  Mac Cocoa/\n"
    "  Windows/\n"
    "  Linux X86/\n"
    "IDE Resources/\n"
    "  Controls Palette/\n"
    "  Help/\n";

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
