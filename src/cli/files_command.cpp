// The TR-DOS file commands of tarvex-cli. Parsed by CLI11 apart from convert and info, they read an image,
// change its disk model through the TR-DOS room and write it back with the writer of the format it was
// read in, atomically; a command that fails anywhere writes nothing. New outputs (extracted files, a new
// image) never replace an existing file without --overwrite.
#include "cli/files_command.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <memory>
#include <ostream>

#include "app/conversion_step.h"
#include "app/format_table.h"
#include "app/printable_text.h"
#include "app/trdos_transfer.h"
#include "i18n/translate.h"
#include "io/folders.h"
#include "io/text_1251.h"

namespace tarvex::cli {

namespace {

constexpr const char* kProgram = "tarvex-cli";

struct FilesOptions {
    std::string image;
    std::vector<std::string> files;
    std::string fromFormat, toFormat, outputDir = ".", label = "NEW DISK", name, type, start;
    unsigned cylinders = 80, sides = 2;
    bool raw = false, overwrite = false, replace = false, compact = false;
};

// A bad command line: the reason and the hint, status 2.
int BadUsage(std::ostream& err, const std::string& reason) {
    err << kProgram << ": " << reason << "\n" << Tr("Try 'tarvex-cli --help' for more information.") << "\n";
    return 2;
}

std::string UnknownFormat(const std::string& name) {
    return Fill(Tr("unknown format '%s' (use %s)"), {name, FormatNames(NameCase::kLower, ", ", Tr(" or "))});
}

int Failed(std::ostream& err, const std::string& what, const std::string& reason) {
    err << kProgram << ": " << ShownName(what) << ": " << ShownText(reason) << "\n";
    return 1;
}

// The words naming catalogue entries: each must name at least one file; none names every live file.
bool PickEntries(const TrdosCatalogue& catalogue, const std::vector<std::string>& words, std::vector<unsigned>& picked,
                 std::string& unmatched) {
    const unsigned count = TrdosEntryCount(catalogue);
    std::vector<bool> chosen(count, false);
    for (const std::string& word : words) {
        bool any = false;
        for (unsigned i = 0; i < count; ++i)
            if (EntryMatches(catalogue.Entries[i], i, word)) any = chosen[i] = true;
        if (!any) {
            unmatched = word;
            return false;
        }
    }
    for (unsigned i = 0; i < count; ++i)
        if (words.empty() ? !catalogue.Entries[i].Deleted() : chosen[i]) picked.push_back(i);
    return true;
}

std::string SummaryLine(TZX_Disk& disk, const std::string& image) {
    TrdosCatalogue c;
    if (!disk.ReadCatalogue(c)) return ShownName(image);
    return Fill(Tr("%s: %s files (%s deleted), %s free sectors"),
                {ShownName(image), std::to_string(c.FileCount - c.DeletedCount), std::to_string(c.DeletedCount),
                 std::to_string(c.FreeSectors)});
}

int RunList(const FilesOptions& o, std::optional<int> from, std::ostream& out, std::ostream& err) {
    int status = 0;
    std::vector<std::string> images = {o.image};
    images.insert(images.end(), o.files.begin(), o.files.end());
    for (const std::string& image : images) {
        TZX_Disk disk;
        ImageKind kind;
        if (Status read = ReadImageForChange(disk, image, from, kind); !read) {
            status = Failed(err, image, read.reason());
            continue;
        }
        const std::string text = DescribeTrdosSystemArea(disk);
        if (text.empty()) {
            status = Failed(err, image, Tr("Not a TR-DOS disk image! Bad catalogue!"));
            continue;
        }
        out << ShownName(image) << ":\n" << text;
    }
    return status;
}

// The image, its TR-DOS catalogue and the entries the command's FILE words name; a failure says why.
Status ReadPickedFiles(const FilesOptions& o, std::optional<int> from, TZX_Disk& disk, ImageKind& kind,
                       TrdosCatalogue& catalogue, std::vector<unsigned>& picked) {
    if (Status read = ReadImageForChange(disk, o.image, from, kind); !read) return read;
    if (Status listed = ReadTrdosCatalogue(disk, catalogue); !listed) return listed;
    std::string unmatched;
    if (!PickEntries(catalogue, o.files, picked, unmatched))
        return Status::Failure(Fill(Tr("No file %s on the disk!"), {unmatched}));
    return Status::Ok();
}

int RunExtract(const FilesOptions& o, std::optional<int> from, std::ostream& out, std::ostream& err) {
    TZX_Disk disk;
    ImageKind kind;
    TrdosCatalogue catalogue;
    std::vector<unsigned> picked;
    if (Status read = ReadPickedFiles(o, from, disk, kind, catalogue, picked); !read)
        return Failed(err, o.image, read.reason());
    CreateFolders(o.outputDir);  // a folder that cannot be made fails each file with the system's reason
    int status = 0;
    for (const ExtractedFile& file : ExtractTrdosFiles(disk, catalogue, picked, o.outputDir, !o.raw,
                                                       o.overwrite ? IfNameTaken::kReplace : IfNameTaken::kKeep)) {
        const std::string line = TrdosFileTitle(catalogue.Entries[file.index]) + " -> " + ShownName(file.output);
        if (file.status) {
            out << line << "\n";
        } else if (file.status.nameTaken()) {
            out << line << ": " << kResultExists << "\n";
            status = 1;
        } else {
            out << line << ": " << kResultSaveError << " (" << ShownText(file.status.reason()) << ")\n";
            status = 1;
        }
    }
    return status;
}

// The files named on the command line added to the disk, one line each; false at the first refusal.
bool AddFiles(TZX_Disk& disk, const FilesOptions& o, const AddOptions& add, const std::string& image,
              std::vector<std::string>& lines, std::ostream& err) {
    for (const std::string& file : o.files) {
        TrdosCatalogue before;
        disk.ReadCatalogue(before);
        if (Status added = AddHostFile(disk, file, add); !added) {
            Failed(err, image, added.reason());
            return false;
        }
        TrdosCatalogue after;
        disk.ReadCatalogue(after);
        lines.push_back(ShownName(file) + " -> " + TrdosFileTitle(after.Entries.at(before.FileCount)));
    }
    return true;
}

int Finish(TZX_Disk& disk, const FilesOptions& o, const std::string& image, const ImageKind& kind, IfNameTaken ifTaken,
           const std::vector<std::string>& lines, std::ostream& out, std::ostream& err) {
    if (o.compact)
        if (Status compacted = CompactTrdosDisk(disk); !compacted) return Failed(err, image, compacted.reason());
    const Status written = WriteChangedImage(disk, image, kind, ifTaken);
    if (written.nameTaken()) {
        out << ShownName(image) << ": " << kResultExists << "\n";
        return 1;
    }
    if (!written) {
        out << ShownName(image) << ": " << kResultSaveError << " (" << ShownText(written.reason()) << ")\n";
        return 1;
    }
    for (const std::string& line : lines) out << line << "\n";
    out << SummaryLine(disk, image) << "\n";
    return 0;
}

std::optional<std::string> MakeAddOptions(const FilesOptions& o, AddOptions& add) {
    add.plain = o.raw;
    add.ifExists = o.replace ? IfFileExists::kReplace : IfFileExists::kRefuse;
    if (!o.name.empty()) {
        if (o.files.size() != 1) return Tr("--name takes exactly one file");
        add.fields.name = o.name;
    }
    if (!o.type.empty()) {
        const std::string type = Utf8ToCp1251(o.type);
        if (type.size() != 1 || static_cast<unsigned char>(type[0]) < 32)
            return Fill(Tr("--type needs one character, not '%s'"), {o.type});
        add.fields.type = static_cast<uint8_t>(type[0]);
    }
    if (!o.start.empty()) {
        unsigned value = 0;
        const bool hex = o.start.starts_with("0x") || o.start.starts_with("0X");
        const char* first = o.start.data() + (hex ? 2 : 0);
        const char* last = o.start.data() + o.start.size();
        const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
        if (error != std::errc() || end != last || first == last || value > 0xFFFF)
            return Fill(Tr("--start needs an address from 0 to 65535, not '%s'"), {o.start});
        add.fields.start = static_cast<uint16_t>(value);
    }
    return std::nullopt;
}

int RunAdd(const FilesOptions& o, std::optional<int> from, std::ostream& out, std::ostream& err) {
    AddOptions add;
    if (auto reason = MakeAddOptions(o, add)) return BadUsage(err, *reason);
    TZX_Disk disk;
    ImageKind kind;
    if (Status read = ReadImageForChange(disk, o.image, from, kind); !read) return Failed(err, o.image, read.reason());
    std::vector<std::string> lines;
    if (!AddFiles(disk, o, add, o.image, lines, err)) return 1;
    return Finish(disk, o, o.image, kind, IfNameTaken::kReplace, lines, out, err);
}

int RunDelete(const FilesOptions& o, std::optional<int> from, std::ostream& out, std::ostream& err) {
    TZX_Disk disk;
    ImageKind kind;
    TrdosCatalogue catalogue;
    std::vector<unsigned> picked;
    if (Status read = ReadPickedFiles(o, from, disk, kind, catalogue, picked); !read)
        return Failed(err, o.image, read.reason());
    std::vector<std::string> lines;
    for (const unsigned i : picked) {
        if (catalogue.Entries[i].Deleted()) continue;
        if (Status deleted = DeleteTrdosFile(disk, i); !deleted) return Failed(err, o.image, deleted.reason());
        lines.push_back(Fill(Tr("%s deleted"), {TrdosFileTitle(catalogue.Entries[i])}));
    }
    return Finish(disk, o, o.image, kind, IfNameTaken::kReplace, lines, out, err);
}

int RunNew(const FilesOptions& o, std::ostream& out, std::ostream& err) {
    const auto format = FormatByName(o.toFormat);
    if (!format) return BadUsage(err, UnknownFormat(o.toFormat));
    AddOptions add;
    if (auto reason = MakeAddOptions(o, add)) return BadUsage(err, *reason);
    TZX_Disk disk;
    if (Status formatted = FormatTrdos(disk, {o.cylinders, o.sides}, o.label); !formatted)
        return BadUsage(err, formatted.reason());
    std::vector<std::string> lines;
    if (!AddFiles(disk, o, add, o.image, lines, err)) return 1;
    const ImageKind kind{*format, false};
    return Finish(disk, o, o.image, kind, o.overwrite ? IfNameTaken::kReplace : IfNameTaken::kKeep, lines, out, err);
}

}  // namespace

bool IsFilesCommand(const std::vector<std::string>& args) {
    return !args.empty() && (args[0] == "files" || args[0] == "new");
}

std::string FilesUsageLines() {
    return std::string("  ") + kProgram + Tr(" files list|extract|add|delete [options] IMAGE [FILE...]") + "\n" + "  " +
           kProgram + Tr(" new --to FORMAT [options] IMAGE [FILE...]") + "\n";
}

int RunFilesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    FilesOptions o;
    std::string fromFormat;
    CLI::App app{Tr("TR-DOS files in and out of disk images, and new empty disks."), kProgram};
    app.set_help_flag("-h,--help", Tr("print this help and exit"));
    app.require_subcommand(1, 1);
    app.get_formatter()->label("REQUIRED", "");
    auto image = [&](CLI::App& command, const std::string& what) {
        command.add_option("IMAGE", o.image, what)->required()->type_name("IMAGE");
    };
    auto files = [&](CLI::App& command, const std::string& what) {
        command.add_option("FILE", o.files, what)->type_name("FILE");
    };
    auto from = [&](CLI::App& command) {
        command.add_option("--from", fromFormat, Tr("read IMAGE with this format's reader"))->type_name("FORMAT");
    };
    auto adding = [&](CLI::App& command) {
        command.add_flag("--raw", o.raw, Tr("take every FILE as plain data, not Hobeta"));
        command.add_option("--name", o.name, Tr("the TR-DOS name of the one plain FILE"))->type_name("NAME");
        command.add_option("--type", o.type, Tr("the TR-DOS type letter of plain FILEs (default: C)"))->type_name("T");
        command.add_option("--start", o.start, Tr("the start address of plain FILEs (default: 32768)"))->type_name("N");
        command.add_flag("--replace", o.replace, Tr("delete a file of the same name and type first"));
        command.add_flag("--compact", o.compact, Tr("move the files down over deleted ones afterwards"));
    };
    const std::string fileWords = Tr("NAME.T, NAME or #N (catalogue position); none: every file");

    CLI::App* filesCommand = app.add_subcommand("files", Tr("list, extract, add or delete TR-DOS files"));
    filesCommand->require_subcommand(1, 1);
    CLI::App* list = filesCommand->add_subcommand("list", Tr("print the TR-DOS catalogue of every IMAGE"));
    from(*list);
    image(*list, Tr("the disk image"));
    files(*list, Tr("more disk images"));
    CLI::App* extract = filesCommand->add_subcommand("extract", Tr("write files of IMAGE as Hobeta files"));
    from(*extract);
    extract->add_flag("--raw", o.raw, Tr("write plain data files (NAME.T) instead of Hobeta (NAME.$T)"));
    extract->add_option("-o,--output-dir", o.outputDir, Tr("write the files into DIR (default: here)"))
        ->type_name("DIR");
    extract->add_flag("--overwrite", o.overwrite, Tr("replace existing files"));
    image(*extract, Tr("the disk image"));
    files(*extract, fileWords);
    CLI::App* addCommand = filesCommand->add_subcommand("add", Tr("put Hobeta or plain files on IMAGE"));
    from(*addCommand);
    adding(*addCommand);
    image(*addCommand, Tr("the disk image, written back in its format"));
    files(*addCommand, Tr("the files to add (NAME.$T: Hobeta)"));
    addCommand->get_option("FILE")->required();
    CLI::App* deleteCommand = filesCommand->add_subcommand("delete", Tr("delete files of IMAGE"));
    from(*deleteCommand);
    deleteCommand->add_flag("--compact", o.compact, Tr("move the files down over deleted ones afterwards"));
    image(*deleteCommand, Tr("the disk image, written back in its format"));
    files(*deleteCommand, Tr("NAME.T, NAME or #N (catalogue position)"));
    deleteCommand->get_option("FILE")->required();

    CLI::App* newCommand = app.add_subcommand("new", Tr("make an empty TR-DOS disk, with FILEs on it"));
    newCommand->add_option("-t,--to", o.toFormat, Tr("the image format"))->required()->type_name("FORMAT");
    newCommand->add_option("--label", o.label, Tr("the disk label, up to 8 characters (default: NEW DISK)"))
        ->type_name("L");
    newCommand->add_option("--cylinders", o.cylinders, Tr("80 (default) or 40"))->type_name("N");
    newCommand->add_option("--sides", o.sides, Tr("2 (default) or 1"))->type_name("N");
    newCommand->add_flag("--overwrite", o.overwrite, Tr("replace an existing IMAGE"));
    adding(*newCommand);
    image(*newCommand, Tr("the new image"));
    files(*newCommand, Tr("the files to add (NAME.$T: Hobeta)"));

    for (CLI::App* command : {list, extract, addCommand, deleteCommand, newCommand})
        command->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::ParseError& e) {
        return BadUsage(err, e.what());
    }
    std::optional<int> reader;
    if (!fromFormat.empty()) {
        reader = FormatByName(fromFormat);
        if (!reader) return BadUsage(err, UnknownFormat(fromFormat));
    }
    if (list->parsed()) return RunList(o, reader, out, err);
    if (extract->parsed()) return RunExtract(o, reader, out, err);
    if (addCommand->parsed()) return RunAdd(o, reader, out, err);
    if (deleteCommand->parsed()) return RunDelete(o, reader, out, err);
    return RunNew(o, out, err);
}

}  // namespace tarvex::cli
