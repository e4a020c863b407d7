#include "cli/cli_options.h"

#include <charconv>

#include "app/format_table.h"

namespace tarvex::cli {

const char* UsageText() {
    return "Usage:\n"
           "  tarvex-cli convert --to FORMAT [options] FILE...\n"
           "      FORMAT                udi | trd | td0 | fdi | pro | scl | kdi (any letter case)\n"
           "      -o, --output-dir DIR  write every output into DIR (created when missing);\n"
           "                            without it each output lands beside its source\n"
           "      --overwrite           replace existing outputs (otherwise they are kept: \"File exists!\")\n"
           "      -j, --jobs N          convert N files at a time (default: the number of cores)\n"
           "      --log FILE            write the run log to FILE (Windows-1251)\n"
           "      --compress            TD0 only: write compressed (\"td\") images\n"
           "      -q, --quiet           no progress bar\n"
           "  tarvex-cli info FILE...   geometry, per-track sector map, TR-DOS catalogue, image comment\n"
           "  tarvex-cli --help | --version\n"
           "\n"
           "Exit status: 0 every file converted, 1 at least one was not, 2 bad usage.\n";
}

namespace {

ParseResult Fail(std::string reason) { return {std::nullopt, std::move(reason)}; }

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
    Options o;
    if (args.empty()) return Fail("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        o.command = Command::Help;
        return {o, {}};
    }
    if (command == "--version" || command == "-V") {
        o.command = Command::Version;
        return {o, {}};
    }
    if (command == "convert") {
        o.command = Command::Convert;
    } else if (command == "info") {
        o.command = Command::Info;
    } else {
        return Fail("unknown command '" + command + "'");
    }

    bool onlyFiles = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyFiles || a.empty() || a[0] != '-' || a == "-") {
            o.files.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyFiles = true;
            continue;
        }
        std::string name = a, value;
        bool hasInlineValue = false;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasInlineValue = true;
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (hasInlineValue) return value;
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (name == "--help" || name == "-h") {
            o.command = Command::Help;
            return {o, {}};
        }
        const bool convertOnly = o.command == Command::Convert;
        if (convertOnly && (name == "--to" || name == "-t")) {
            auto v = takeValue();
            if (!v) return Fail("option " + name + " needs a format");
            auto f = FormatByName(*v);
            if (!f) return Fail("unknown format '" + *v + "' (use udi, trd, td0, fdi, pro, scl or kdi)");
            o.format = *f;
        } else if (convertOnly && (name == "--output-dir" || name == "-o")) {
            auto v = takeValue();
            if (!v || v->empty()) return Fail("option " + name + " needs a folder");
            o.outputDir = *v;
        } else if (convertOnly && name == "--overwrite") {
            o.overwrite = true;
        } else if (convertOnly && (name == "--jobs" || name == "-j")) {
            auto v = takeValue();
            unsigned n = 0;
            if (!v || std::from_chars(v->data(), v->data() + v->size(), n).ec != std::errc() ||
                std::from_chars(v->data(), v->data() + v->size(), n).ptr != v->data() + v->size() || n == 0 ||
                n > 256)
                return Fail("option " + name + " needs a number of jobs from 1 to 256");
            o.jobs = n;
        } else if (convertOnly && name == "--log") {
            auto v = takeValue();
            if (!v || v->empty()) return Fail("option --log needs a file name");
            o.logFile = *v;
        } else if (convertOnly && name == "--compress") {
            o.compress = true;
        } else if (name == "--quiet" || name == "-q") {
            o.quiet = true;
        } else {
            return Fail("unknown option '" + a + "'");
        }
    }
    if (o.command == Command::Convert && o.format < 0) return Fail("convert needs --to FORMAT");
    if (o.files.empty()) return Fail("no files given");
    return {o, {}};
}

}  // namespace tarvex::cli
