// Command-line parsing for tarvex-cli, built on CLI11: the subcommands, their options and the help text come
// from one description of the command line. CLI11 does the GNU forms (-j4, --jobs=4, -qo DIR, --); the values
// and the one-line reasons for bad usage are checked and worded here.
#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <memory>
#include <string_view>

#include "app/format_table.h"
#include "cli/files_command.h"
#include "i18n/translate.h"

namespace tarvex::cli {

namespace {

constexpr unsigned kMaxJobs = 256;
constexpr std::size_t kHelpNameColumn = 28;
constexpr const char* kProgram = "tarvex-cli";
constexpr std::string_view kMissing = " missing";

// "udi | trd | ... | dsk (any letter case)"
std::string FormatListText() {
    return Fill(Tr("%s (any letter case)"), {FormatNames(NameCase::kLower, " | ", " | ")});
}
// "udi, trd, ... or dsk"
std::string FormatChoicesText() {
    return FormatNames(NameCase::kLower, ", ", Tr(" or "));
}
const char* const kFromText =
    TrMark("read every FILE with this format's reader\n(otherwise: by content, then by extension)");
const char* const kExitStatus = TrMark("Exit status: 0 every file converted, 1 at least one was not, 2 bad usage.");

// Prints the usage lines of every command first, then each subcommand with its options, then the exit status.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App*, std::string) const override {
        return Tr("Usage:") + "\n" + "  " + kProgram + Tr(" convert --to FORMAT [options] FILE...") + "\n" + "  " +
               kProgram + Tr(" info [options] FILE...") + "\n" + FilesUsageLines() + "  " + kProgram +
               " --help | --version\n";
    }
    std::string make_option_name(const CLI::Option* opt, bool isPositional) const override {
        if (isPositional) return opt->get_name(true, false);
        std::string names = opt->get_name(false, true);
        for (std::size_t comma = names.find(','); comma != std::string::npos; comma = names.find(',', comma + 2))
            names.insert(comma + 1, " ");
        return names;
    }
    std::string make_option_opts(const CLI::Option* opt) const override {
        if (opt->get_positional()) return "...";
        return opt->get_type_size() == 0 ? std::string() : " " + opt->get_type_name();
    }
    std::string make_description(const CLI::App* app) const override {
        const std::string text = CLI::Formatter::make_description(app);
        return app->get_parent() == nullptr && !text.empty() ? text + "\n" : text;
    }
};

// Which commands a description holds. A command line that starts with a command's name needs only that
// command: any later command name is one of its files.
enum class Described { Both, Convert, Info };

Described CommandsFor(const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "convert") return Described::Convert;
    if (!args.empty() && args[0] == "info") return Described::Info;
    return Described::Both;
}

// The command line's description: the parsed values land in the fields below, checked after CLI11 is done.
// A command left out of the description has no App and no options here.
struct CommandLine {
    CLI::App app{Fill(Tr("Converts ZX Spectrum floppy images between %s."),
                      {FormatNames(NameCase::kUpper, ", ", Tr(" and "))}),
                 kProgram};
    CLI::App* convert = nullptr;
    CLI::App* info = nullptr;
    CLI::Option* to = nullptr;
    CLI::Option* convertFrom = nullptr;
    CLI::Option* infoFrom = nullptr;
    CLI::Option* outputDir = nullptr;
    CLI::Option* jobs = nullptr;
    CLI::Option* log = nullptr;
    bool version = false;
    std::string format, fromFormat, folder, jobCount, logFile;
    Options options;

    explicit CommandLine(Described described = Described::Both) {
        auto formatter = std::make_shared<HelpFormatter>();
        formatter->column_width(kHelpNameColumn);
        formatter->label("REQUIRED", "");
        formatter->label("Positionals", Tr("Positionals"));
        app.option_defaults()->group(Tr("Options"));
        app.formatter(formatter);
        app.footer(Tr(kExitStatus));
        app.allow_extras();
        app.allow_windows_style_options(false);  // "/x" is a file name on every system; commands inherit this
        app.require_subcommand(0, 1);  // after the command, a command's name is a file name
        app.set_help_flag("-h,--help", Tr("print this help and exit"));
        app.add_flag("-V,--version", version, Tr("print the version and exit"));
        if (described != Described::Info) AddConvert();
        if (described != Described::Convert) AddInfo();
    }

    void AddConvert() {
        convert = app.add_subcommand("convert", Tr("write every FILE in the format FORMAT"));
        convert->group(Tr("Commands"));
        convert->allow_extras();
        convert->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);  // the last one wins
        to = convert->add_option("-t,--to", format, FormatListText())->type_name("FORMAT");
        convertFrom = convert->add_option("--from", fromFormat, Tr(kFromText))->type_name("FORMAT");
        outputDir = convert->add_option("-o,--output-dir", folder,
                                        Tr("write every output into DIR (created when missing);\n"
                                           "without it each output lands beside its source;\n"
                                           "- writes the one FILE's image to standard output"))
                        ->type_name("DIR");
        convert->add_flag("--overwrite", options.overwrite,
                          Tr("replace existing outputs (otherwise they are kept: \"File exists!\")"));
        jobs = convert
                   ->add_option("-j,--jobs", jobCount, Tr("convert N files at a time (default: the number of cores)"))
                   ->type_name("N");
        log = convert->add_option("--log", logFile, Tr("append the run log to FILE (Windows-1251)"))->type_name("FILE");
        convert->add_flag("--compress", options.compress, Tr("TD0 only: write compressed (\"td\") images"));
        convert->add_flag("--lossless", options.lossless,
                          Tr("refuse every conversion that would drop something of its disk\n"
                             "(the line \"dropped: ...\" becomes the reason)"));
        AddCommonOptions(*convert);
    }

    void AddInfo() {
        info = app.add_subcommand("info", Tr("geometry, per-track sector map, TR-DOS catalogue, image comment"));
        info->group(Tr("Commands"));
        info->allow_extras();
        info->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        infoFrom = info->add_option("--from", fromFormat, Tr(kFromText))->type_name("FORMAT");
        info->add_flag("--json", options.json, Tr("print each image as one line of JSON"));
        AddCommonOptions(*info);
    }

    void AddCommonOptions(CLI::App& command) {
        command.add_flag("-q,--quiet", options.quiet, Tr("no progress bar"));
        command.add_flag("--salvage", options.salvage,
                         Tr("read an image whose checksum does not match (SCL) instead of refusing it;\n"
                            "the mismatch is told as a loss"));
        command.add_option("FILE", options.files, Tr("the images to read; - reads standard input"))
            ->type_name("FILE");
    }
};

ParseResult Fail(std::string reason) { return {std::nullopt, std::move(reason)}; }

bool IsStandardStream(const std::string& name) { return name == kStandardStreamName; }

// Standard input can be read once; an image read from it has no name to write beside, and standard output
// holds one image.
ParseResult CheckStandardStreams(const Options& o) {
    const auto fromInput = std::count_if(o.files.begin(), o.files.end(), IsStandardStream);
    if (fromInput > 1) return Fail(Tr("standard input (-) can be given only once"));
    if (o.command != Command::Convert) return {o, {}};
    if (o.ToStandardOutput() && o.files.size() != 1)
        return Fail(Tr("output to standard output (-o -) takes exactly one file"));
    if (fromInput > 0 && !o.ToStandardOutput())
        return Fail(Tr("an image read from standard input (-) is written to standard output only (-o -)"));
    return {o, {}};
}

ParseResult Succeed(Command command) {
    Options o;
    o.command = command;
    return {o, {}};
}

// The reason given when a value option has no value (or an empty one).
std::string NeedsValueReason(const CommandLine& line, const CLI::Option* option) {
    const std::pair<const CLI::Option*, std::string> needs[] = {
        {line.to, Fill(Tr("option %s needs a format"), {option->get_name()})},
        {line.convertFrom, Fill(Tr("option %s needs a format"), {option->get_name()})},
        {line.infoFrom, Fill(Tr("option %s needs a format"), {option->get_name()})},
        {line.outputDir, Fill(Tr("option %s needs a folder"), {option->get_name()})},
        {line.jobs, Fill(Tr("option %s needs a number of jobs from 1 to %s"),
                         {option->get_name(), std::to_string(kMaxJobs)})},
        {line.log, Fill(Tr("option %s needs a file name"), {option->get_name()})}};
    for (const auto& [known, reason] : needs)
        if (known == option) return reason;
    return Fill(Tr("option %s needs a value"), {option->get_name()});
}

// CLI11 names the option whose value is missing at the start of its message ("--to: 1 required FORMAT
// missing").
std::optional<std::string> MissingValueReason(const CommandLine& line, const std::string& message) {
    const bool missing = message.size() >= kMissing.size() &&
                         message.compare(message.size() - kMissing.size(), kMissing.size(), kMissing) == 0;
    for (const CLI::Option* option : {line.to, line.convertFrom, line.infoFrom, line.outputDir, line.jobs, line.log})
        if (missing && option && message.rfind(option->get_name() + ":", 0) == 0) return NeedsValueReason(line, option);
    return std::nullopt;
}

// "--log=" names no file, yet CLI11 would take the next argument as the value.
std::optional<std::string> EmptyInlineValueReason(const CommandLine& line, const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (arg.size() > 2 && arg.back() == '=')
            if (auto reason = MissingValueReason(line, arg.substr(0, arg.size() - 1) + ":" + std::string(kMissing)))
                return reason;
    return std::nullopt;
}

std::optional<unsigned> ParseJobs(const std::string& text) {
    unsigned n = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, n);
    if (ec != std::errc() || ptr != end || n == 0 || n > kMaxJobs) return std::nullopt;
    return n;
}

// The arguments CLI11 kept aside: an unknown option, or a word where a command was expected.
std::string UnknownArgumentReason(const std::vector<std::string>& rest, bool commandGiven) {
    const std::string& first = rest.front();
    if (!commandGiven && (first.empty() || first[0] != '-')) return Fill(Tr("unknown command '%s'"), {first});
    return Fill(Tr("unknown option '%s'"), {first});
}

std::string UnknownFormatReason(const std::string& name) {
    return Fill(Tr("unknown format '%s' (use %s)"), {name, FormatChoicesText()});
}

// --from of either command: the reader to use.
ParseResult CheckFromValue(CommandLine& line, const CLI::Option* from) {
    if (from->count() > 0) {
        const auto format = FormatByName(line.fromFormat);
        if (!format) return Fail(UnknownFormatReason(line.fromFormat));
        line.options.from = *format;
    }
    return {line.options, {}};
}

// Checks the values CLI11 stored; the reasons are worded as for every other bad usage.
ParseResult CheckConvertValues(CommandLine& line) {
    Options& o = line.options;
    if (line.to->count() > 0) {
        const auto format = FormatByName(line.format);
        if (!format) return Fail(UnknownFormatReason(line.format));
        o.format = *format;
    }
    if (ParseResult from = CheckFromValue(line, line.convertFrom); !from.options) return from;
    if (line.outputDir->count() > 0) {
        if (line.folder.empty()) return Fail(NeedsValueReason(line, line.outputDir));
        o.outputDir = line.folder;
    }
    if (line.jobs->count() > 0) {
        const auto n = ParseJobs(line.jobCount);
        if (!n) return Fail(NeedsValueReason(line, line.jobs));
        o.jobs = *n;
    }
    if (line.log->count() > 0) {
        if (line.logFile.empty()) return Fail(NeedsValueReason(line, line.log));
        o.logFile = line.logFile;
    }
    if (o.format < 0) return Fail(Tr("convert needs --to FORMAT"));
    return {o, {}};
}

}  // namespace

bool Options::ToStandardOutput() const { return outputDir && *outputDir == kStandardStreamName; }

const char* UsageText() {
    static const std::string text = [] {
        CommandLine line;
        return line.app.help("", CLI::AppFormatMode::All);
    }();
    return text.c_str();
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    if (args.empty()) return Fail(Tr("no command given"));
    if (args[0] == "help") return Succeed(Command::Help);

    // Everything after the first "--" is a file name, whatever it looks like.
    const auto mark = std::find(args.begin(), args.end(), "--");
    const std::vector<std::string> optionPart(args.begin(), mark);
    const std::vector<std::string> fileNames(mark == args.end() ? mark : mark + 1, args.end());

    CommandLine line(CommandsFor(optionPart));
    if (auto reason = EmptyInlineValueReason(line, optionPart)) return Fail(*reason);
    std::vector<std::string> reversed(optionPart.rbegin(), optionPart.rend());
    try {
        line.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return Succeed(Command::Help);
    } catch (const CLI::CallForAllHelp&) {
        return Succeed(Command::Help);
    } catch (const CLI::ParseError& e) {
        // The parser's own words, but for an option left without its value, which gets ours.
        const bool mismatch = dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr;
        return Fail(mismatch ? MissingValueReason(line, e.what()).value_or(e.what()) : std::string(e.what()));
    }

    const bool inConvert = line.convert && line.convert->parsed();
    const bool inInfo = line.info && line.info->parsed();
    for (const CLI::App* command : std::initializer_list<const CLI::App*>{&line.app, line.convert, line.info}) {
        if (!command) continue;
        const std::vector<std::string> rest = command->remaining();
        if (!rest.empty()) return Fail(UnknownArgumentReason(rest, inConvert || inInfo));
    }
    if (line.version) return Succeed(Command::Version);
    if (!inConvert && !inInfo) return Fail(Tr("no command given"));

    line.options.command = inConvert ? Command::Convert : Command::Info;
    line.options.files.insert(line.options.files.end(), fileNames.begin(), fileNames.end());
    ParseResult result = inConvert ? CheckConvertValues(line) : CheckFromValue(line, line.infoFrom);
    if (result.options && result.options->files.empty()) return Fail(Tr("no files given"));
    if (result.options) return CheckStandardStreams(*result.options);
    return result;
}

}  // namespace tarvex::cli
