#include "cli/Commands.h"

#include "archive/PluginArchive.h"
#include "archive/PluginDocument.h"
#include "archive/ZanthRoutines.h"
#include "cli/Version.h"
#include "model/PluginItemFile.h"
#include "model/PluginItemFolder.h"
#include "platform/BinaryStream.h"
#include "platform/Exceptions.h"
#include "platform/FolderItem.h"
#include "platform/Text.h"
#include "platform/UIServices.h"
#include "platform/Yield.h"
#include "util/WytFramework.h"

#include <unistd.h>
#include <QFile>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>

namespace zpc::cli {

using namespace zpc::platform;
using archive::PluginArchive;
using model::PluginItem;
using model::PluginItemFile;
using model::PluginItemFolder;

namespace {

// Thrown by the parser; the message goes before the usage text.
struct UsageError {
    QString message;
};

// Work that cannot be done: the message goes to standard error, exit 1.
struct Failure {
    QString message;
};

void write(FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void printLine(FILE* stream, const QByteArray& bytes) {
    write(stream, bytes);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// A path as the bytes of its name on disk.
QByteArray pathBytes(const QString& path) {
    return QFile::encodeName(path);
}

void complain(const QString& message) {
    printLine(stderr, "zanthpc: " + message.toUtf8());
}

// How many messages the model has shown so far (the console services count
// them; other services cannot, and report none).
int messagesShown() {
    if (auto* console = dynamic_cast<ConsoleUIServices*>(&ui())) return console->messageCount();
    return 0;
}

// ---- The command line ----

enum class Form { Folder, Kvx, Zanth, Project };

struct CommandLine {
    QString command;
    QStringList operands;
    std::optional<QString> to;
    std::optional<QString> output;
    std::optional<QString> name;
    bool json = false;
    bool classic = false;
    bool help = false;
};

// Options each command takes; a value follows those marked true.
struct KnownOption {
    const char* name;
    bool takesValue;
};

const KnownOption kOptions[] = {{"--to", true},    {"-o", true},         {"--name", true},
                                {"--json", false}, {"--classic", false}, {"--help", false},
                                {"-h", false}};

bool commandTakes(const QString& command, const QString& option) {
    if (option == QLatin1String("--help") || option == QLatin1String("-h")) return true;
    if (command == QLatin1String("list")) return option == QLatin1String("--json");
    if (command == QLatin1String("convert"))
        return option == QLatin1String("--to") || option == QLatin1String("-o") ||
               option == QLatin1String("--name");
    if (command == QLatin1String("new"))
        return option == QLatin1String("--to") || option == QLatin1String("-o") ||
               option == QLatin1String("--name") || option == QLatin1String("--classic");
    if (command == QLatin1String("pack")) return option == QLatin1String("-o");
    return false;
}

CommandLine parse(const QStringList& arguments) {
    CommandLine line;
    if (arguments.isEmpty()) throw UsageError{QStringLiteral("no command given")};
    line.command = arguments.first();
    if (line.command == QLatin1String("--help") || line.command == QLatin1String("-h")) {
        if (arguments.size() > 1) throw UsageError{QStringLiteral("--help takes no arguments")};
        line.help = true;
        return line;
    }
    if (line.command == QLatin1String("--version")) {
        if (arguments.size() > 1) throw UsageError{QStringLiteral("--version takes no arguments")};
        return line;
    }
    static const QStringList commands = {QStringLiteral("list"), QStringLiteral("convert"),
                                         QStringLiteral("new"), QStringLiteral("pack")};
    if (!commands.contains(line.command))
        throw UsageError{QStringLiteral("unknown command \"%1\"").arg(line.command)};

    bool optionsEnded = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) ||
            argument == QLatin1String("-")) {
            line.operands << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString option = argument;
        std::optional<QString> value;
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (argument.startsWith(QLatin1String("--")) && equals > 0) {
            option = argument.left(equals);
            value = argument.mid(equals + 1);
        }
        const KnownOption* known = nullptr;
        for (const KnownOption& candidate : kOptions)
            if (option == QLatin1String(candidate.name)) known = &candidate;
        if (!known || !commandTakes(line.command, option))
            throw UsageError{
                QStringLiteral("%1 does not take the option %2").arg(line.command, option)};
        if (known->takesValue && !value) {
            if (i + 1 >= arguments.size())
                throw UsageError{QStringLiteral("%1 needs a value").arg(option)};
            value = arguments[++i];
        } else if (!known->takesValue && value) {
            throw UsageError{QStringLiteral("%1 takes no value").arg(option)};
        }
        auto setOnce = [&](std::optional<QString>& slot) {
            if (slot) throw UsageError{QStringLiteral("%1 is given twice").arg(option)};
            if (value->isEmpty()) throw UsageError{QStringLiteral("%1 needs a value").arg(option)};
            slot = value;
        };
        if (option == QLatin1String("--to"))
            setOnce(line.to);
        else if (option == QLatin1String("-o"))
            setOnce(line.output);
        else if (option == QLatin1String("--name"))
            setOnce(line.name);
        else if (option == QLatin1String("--json"))
            line.json = true;
        else if (option == QLatin1String("--classic"))
            line.classic = true;
        else
            line.help = true;
    }
    if (line.help) return line;

    const int wanted = line.command == QLatin1String("new") ? 0 : 1;
    if (line.operands.size() < wanted)
        throw UsageError{QStringLiteral("%1 needs a SOURCE").arg(line.command)};
    if (line.operands.size() > wanted)
        throw UsageError{
            QStringLiteral("unexpected argument \"%1\"").arg(line.operands.value(wanted))};
    if ((line.command == QLatin1String("convert") || line.command == QLatin1String("new")) &&
        !line.to)
        throw UsageError{QStringLiteral("%1 needs --to FORM").arg(line.command)};
    // The archive's own rules would keep the slash, and no file can carry it.
    if (line.name && line.name->contains(QLatin1Char('/')))
        throw UsageError{QStringLiteral("a plugin name cannot hold \"/\"")};
    return line;
}

Form parseForm(const QString& text) {
    if (text == QLatin1String("folder")) return Form::Folder;
    if (text == QLatin1String("kvx")) return Form::Kvx;
    if (text == QLatin1String("zanth")) return Form::Zanth;
    if (text == QLatin1String("project")) return Form::Project;
    throw UsageError{
        QStringLiteral("unknown FORM \"%1\" (folder, kvx, zanth or project)").arg(text)};
}

// ---- Work ----

FolderItemPtr existingSource(const QString& path) {
    FolderItemPtr source = folderItemForPath(path);
    if (!source || !source->Exists())
        throw Failure{QStringLiteral("no such file or folder: %1").arg(path)};
    return source;
}

bool writableFolder(const FolderItemPtr& folder) {
    return folder && folder->Exists() && folder->Directory() &&
           ::access(pathBytes(folder->NativePath()).constData(), W_OK | X_OK) == 0;
}

FolderItemPtr destinationFolder(const std::optional<QString>& path) {
    const QString where = path.value_or(QStringLiteral("."));
    FolderItemPtr folder = folderItemForPath(where);
    if (!writableFolder(folder))
        throw Failure{QStringLiteral("not a writable folder: %1").arg(where)};
    return folder;
}

std::shared_ptr<PluginArchive> openSource(const QString& path) {
    const FolderItemPtr source = existingSource(path);
    std::shared_ptr<PluginArchive> plugin =
        archive::openPluginDocument(source, archive::zanthDecompressDelegate());
    // A file read in no form gives an empty plugin: there is nothing to work on.
    if (!plugin || !plugin->dataSource())
        throw Failure{QStringLiteral("no plugin found in %1").arg(path)};
    plugin->compressorAgent = archive::zanthCompressDelegate();
    return plugin;
}

// ---- list ----

QByteArray jsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20) {
            out += QByteArray("\\u00") + QByteArray::number(u, 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

const char* kindOf(const PluginItem& node) {
    if (dynamic_cast<const PluginArchive*>(&node)) return "archive";
    return dynamic_cast<const PluginItemFolder*>(&node) ? "folder" : "file";
}

bool isStored(const PluginItem& node) {
    const auto* file = dynamic_cast<const PluginItemFile*>(&node);
    return file && file->isStored();
}

void listText(const model::PluginItemPtr& node, int depth) {
    QByteArray line(depth * 2, ' ');
    line += node->name().toUtf8();
    auto* folder = node->asFolder();
    if (folder)
        line += '/';
    else if (isStored(*node))
        line += " (Stored)";
    printLine(stdout, line);
    yield();
    if (folder)
        for (const auto& child : folder->items()) listText(child, depth + 1);
}

void listJson(const model::PluginItemPtr& node, int depth) {
    const QByteArray pad(depth * 2, ' ');
    const QByteArray inner = pad + "  ";
    QByteArray head = "{\n";
    head += inner + "\"name\": " + jsonString(node->name()) + ",\n";
    head += inner + "\"kind\": \"" + kindOf(*node) + "\",\n";
    head += inner + "\"mutable\": " + (node->mutableName() ? "true" : "false") + ",\n";
    head += inner + "\"stored\": " + (isStored(*node) ? "true" : "false") + ",\n";
    head += inner + "\"children\": [";
    write(stdout, head);
    yield();
    static const std::vector<model::PluginItemPtr> none;
    auto* folder = node->asFolder();
    const auto& children = folder ? folder->items() : none;
    for (size_t i = 0; i < children.size(); ++i) {
        write(stdout, (i == 0 ? "\n" : ",\n") + inner + "  ");
        listJson(children[i], depth + 2);
    }
    write(stdout, (children.empty() ? QByteArray("]\n") : "\n" + inner + "]\n") + pad + "}");
}

int runList(const CommandLine& line) {
    const auto plugin = openSource(line.operands.first());
    if (messagesShown() > 0) return kFailed;
    if (line.json) {
        listJson(plugin, 0);
        printLine(stdout, QByteArray());
    } else {
        listText(plugin, 0);
    }
    std::fflush(stdout);
    return kDone;
}

// ---- convert, new ----

// Writes the plugin in the form into the folder; answers the status and
// prints the path written.
int save(const std::shared_ptr<PluginArchive>& plugin, Form form, const FolderItemPtr& directory) {
    const QString name = plugin->name();
    FolderItemPtr output;
    bool written = false;
    const int messagesBefore = messagesShown();
    {
        ProgressScope progress(QStringLiteral("Saving \"%1\"").arg(name));
        switch (form) {
            case Form::Folder:
                output = directory->Child(name);
                written = plugin->saveAsFolder(directory);
                break;
            case Form::Kvx:
                output = directory->Child(name + QLatin1Char('.') + PluginArchive::fileExtension());
                written = plugin->saveAsPluginFile(directory);
                break;
            case Form::Zanth:
                output =
                    directory->Child(name + QLatin1Char('.') + PluginArchive::zanthFileExtension());
                written = plugin->saveAsZanthPluginFile(directory);
                break;
            case Form::Project:
                output = directory->Child(name + QStringLiteral(".prjkvx"));
                written = plugin->saveAsProject(directory);
                break;
        }
    }
    const bool spoke = messagesShown() > messagesBefore;
    const bool there = output->Exists() && (form == Form::Folder) == output->Directory();
    if (written && !spoke && there) {
        printLine(stdout, pathBytes(output->NativePath()));
        return kDone;
    }
    if (!spoke) complain(QStringLiteral("could not write %1").arg(output->NativePath()));
    return kFailed;
}

// Linked files read from a zipped package live in its unpacked copy, which
// goes when the tool ends: a project must carry their bytes instead of links.
void embedLinkedFiles(PluginItemFolder& folder) {
    for (const auto& child : folder.items()) {
        if (auto* sub = child->asFolder()) {
            embedLinkedFiles(*sub);
            continue;
        }
        auto file = std::dynamic_pointer_cast<PluginItemFile>(child);
        if (!file || file->holdsBytes()) continue;
        const FolderItemPtr source = file->dataSource();
        if (!source) continue;
        std::unique_ptr<BinaryStream> stream = BinaryStream::Open(source);
        if (!stream) throw Failure{QStringLiteral("cannot read %1").arg(source->NativePath())};
        const QByteArray bytes = stream->Read(stream->Length());
        stream->Close();
        if (stream->hasError())
            throw Failure{QStringLiteral("cannot read %1").arg(source->NativePath())};
        file->setRawData(bytes);
        yield();
    }
}

bool isZippedPackage(const QString& path) {
    return text::equals(util::WytFramework::fileExtension(folderItemForPath(path)),
                        PluginArchive::zanthFileExtension());
}

void rename(const std::shared_ptr<PluginArchive>& plugin, const std::optional<QString>& name) {
    if (name) plugin->setName(*name);
}

int runConvert(const CommandLine& line) {
    const Form form = parseForm(*line.to);
    const FolderItemPtr directory = destinationFolder(line.output);
    const auto plugin = openSource(line.operands.first());
    if (messagesShown() > 0) return kFailed;
    rename(plugin, line.name);
    if (form == Form::Project && isZippedPackage(line.operands.first())) embedLinkedFiles(*plugin);
    return save(plugin, form, directory);
}

int runNew(const CommandLine& line) {
    const Form form = parseForm(*line.to);
    const FolderItemPtr directory = destinationFolder(line.output);
    const auto plugin = PluginArchive::create(line.classic);
    plugin->compressorAgent = archive::zanthCompressDelegate();
    rename(plugin, line.name);
    return save(plugin, form, directory);
}

// ---- pack ----

int runPack(const CommandLine& line) {
    const QString sourcePath = line.operands.first();
    const FolderItemPtr source = existingSource(sourcePath);
    FolderItemPtr package;
    if (line.output) {
        package = folderItemForPath(*line.output);
        if (!package || !writableFolder(package->Parent()))
            throw Failure{QStringLiteral("not a writable folder: %1")
                              .arg(package && package->Parent() ? package->Parent()->NativePath()
                                                                : *line.output)};
        if (package->Directory())
            throw Failure{QStringLiteral("a folder is in the way: %1").arg(*line.output)};
    } else {
        const FolderItemPtr parent = source->Parent();
        if (!writableFolder(parent))
            throw Failure{QStringLiteral("not a writable folder: %1")
                              .arg(parent ? parent->NativePath() : sourcePath)};
        package = parent->Child(source->Name() + QLatin1Char('.') + PluginArchive::fileExtension());
    }
    const int messagesBefore = messagesShown();
    const bool converted = archive::convertToPackage(source, package);
    const bool done = converted && messagesShown() == messagesBefore && package->Exists() &&
                      !package->Directory();
    ui().msgBox(done ? QStringLiteral("Successfully converted")
                     : QStringLiteral("Conversion failed"));
    if (!done) return kFailed;
    printLine(stdout, pathBytes(package->NativePath()));
    return kDone;
}

}  // namespace

QString usageText() {
    return QStringLiteral(
        "Usage:\n"
        "  zanthpc list SOURCE [--json]\n"
        "  zanthpc convert SOURCE --to FORM [-o DIR] [--name NAME]\n"
        "  zanthpc new [--classic] --to FORM [-o DIR] [--name NAME]\n"
        "  zanthpc pack SOURCE [-o FILE]\n"
        "  zanthpc --help | --version\n"
        "\n"
        "SOURCE is a plugin folder hierarchy, a .kvx, .zanth_plugin or .prjkvx file,\n"
        "an old single-file plugin, or a folder holding a plugin folder somewhere below it.\n"
        "FORM is one of: folder, kvx, zanth, project. DIR defaults to the current folder.\n"
        "\n"
        "  list     print the plugin's tree (--json: as JSON)\n"
        "  convert  write the plugin in FORM into DIR, renamed to NAME if given\n"
        "  new      write a new empty plugin (--classic: the classic platform folders)\n"
        "  pack     convert a folder hierarchy or an old plugin file into a single-file package\n"
        "           (default: SOURCE's name + \".kvx\" beside SOURCE)\n"
        "\n"
        "The path written is printed on standard output, messages on standard error.\n"
        "Exit status: 0 done, 1 the work failed, 2 usage error.\n");
}

int run(const QStringList& arguments) {
    CommandLine line;
    try {
        line = parse(arguments);
    } catch (const UsageError& error) {
        complain(error.message);
        write(stderr, usageText().toUtf8());
        std::fflush(stderr);
        return kUsageError;
    }
    if (line.help) {
        write(stdout, usageText().toUtf8());
        std::fflush(stdout);
        return kDone;
    }
    try {
        if (line.command == QLatin1String("--version")) {
            printLine(stdout, QByteArray("zanthpc " ZPC_VERSION " (" ZPC_LONG_VERSION ")"));
            return kDone;
        }
        if (line.command == QLatin1String("list")) return runList(line);
        if (line.command == QLatin1String("convert")) return runConvert(line);
        if (line.command == QLatin1String("new")) return runNew(line);
        return runPack(line);
    } catch (const UsageError& error) {
        complain(error.message);
        write(stderr, usageText().toUtf8());
        std::fflush(stderr);
        return kUsageError;
    } catch (const Failure& failure) {
        complain(failure.message);
    } catch (const FrameworkException& failure) {
        complain(QStringLiteral("%1: %2").arg(QLatin1String(failure.kind()), failure.message()));
    } catch (const std::exception& failure) {
        complain(QString::fromLocal8Bit(failure.what()));
    }
    return kFailed;
}

}  // namespace zpc::cli
