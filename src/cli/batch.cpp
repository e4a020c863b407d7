// tarvex-cli convert: checks the log against the run's files, plans the outputs, runs the workers (each
// file through the shared conversion step) and prints one result line per source in the order given.
#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>

#include "app/conversion_step.h"
#include "app/format_signatures.h"
#include "app/format_table.h"
#include "app/printable_text.h"
#include "app/shared_texts.h"
#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/append_file.h"
#include "io/file_identity.h"
#include "io/folders.h"
#include "io/text_1251.h"
#include "io/worker_thread.h"

namespace tarvex::cli {

namespace {

struct Job {
    std::string source;  // "-": standard input
    std::string output;  // "-": standard output
};

// The sources whose outputs are one file, in the order given. The first of them that can be read owns the
// output; a later one that can be read is refused, and one that cannot claims nothing.
struct OutputGroup {
    std::vector<size_t> jobs;
    std::optional<std::string> owner;
};

// A log line's text and the moment of its step: with several workers the lines are written in the order
// the files were given, which is not the order their steps happened in.
struct LogEntry {
    LocalTime when;
    std::string text;
};

struct Outcome {
    bool converted = false;
    std::string line;
    std::vector<LogEntry> log;
};

bool IsStandardStream(const std::string& name) { return name == kStandardStreamName; }

std::vector<Job> PlanJobs(const Options& o) {
    std::vector<Job> jobs;
    for (const std::string& source : o.files)
        jobs.push_back({source, o.ToStandardOutput() ? std::string(kStandardStreamName)
                                                     : OutputFileName(source, o.format, o.outputDir)});
    return jobs;
}

// Groups in the order of their first source; two outputs are one when their names lead to one place.
std::vector<OutputGroup> GroupByOutput(const std::vector<Job>& jobs) {
    std::vector<OutputGroup> groups;
    std::map<std::string, size_t> groupOf;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const auto [it, added] = groupOf.try_emplace(ComparableName(jobs[i].output), groups.size());
        if (added) groups.emplace_back();
        groups[it->second].jobs.push_back(i);
    }
    return groups;
}

// Why the log may not be written where --log says, checked before anything is converted: the file is one
// of the run's sources or outputs (by name, or as the same file under another name), it is named like a
// disk image (a shell pattern that filled the log's place with an image), or it holds one.
std::optional<std::string> LogRefusal(const std::string& logName, const std::vector<Job>& jobs,
                                      const AppendFile* opened) {
    const std::string shown = ShownName(logName);
    const auto sameName = [key = ComparableName(logName)](const std::string& name) {
        return !IsStandardStream(name) && ComparableName(name) == key;
    };
    const auto sameFile = [&](const std::string& name) {
        if (!opened || IsStandardStream(name)) return false;
        const auto identity = IdentityOf(name);
        return identity && identity == opened->Identity();
    };
    for (const Job& job : jobs) {
        if (sameName(job.source) || sameFile(job.source))
            return Fill(Tr("the log file \"%s\" is a source of this run"), {shown});
        if (sameName(job.output) || sameFile(job.output))
            return Fill(Tr("the log file \"%s\" is an output of this run"), {shown});
    }
    if (FormatByExtension(logName)) return Fill(Tr("the log file \"%s\" is named like a disk image"), {shown});
    if (opened && opened->Existed() && FormatByContent(opened->Head(kSignatureHeadBytes)))
        return Fill(Tr("the log file \"%s\" holds a disk image"), {shown});
    return std::nullopt;
}

// The command line's part of a file's conversion: log lines kept with their moments, to be written in
// the order the files were given, the output's owner among the sources of one output, and --overwrite.
class BatchSteps : public ConversionSteps {
public:
    BatchSteps(const Options& o, const Clock& clock, const Job& job, OutputGroup& group, std::vector<LogEntry>& log)
        : o_(o), clock_(clock), job_(job), group_(group), log_(log) {}
    void Log(const std::string& text) override {
        if (o_.logFile) log_.push_back({clock_(), text});
    }
    std::optional<std::string> OutputRefusal(const std::string&) override {
        if (!group_.owner) {
            group_.owner = job_.source;
            return std::nullopt;
        }
        const std::string name = FileNamePart(job_.source);
        if (FileNamePart(*group_.owner) == name) return texts::AlreadyListed(name);
        return Fill(Tr("Output belongs to an earlier file of this run (%s)"), {*group_.owner});
    }
    bool MayReplace(const std::string&) override { return o_.overwrite; }

private:
    const Options& o_;
    const Clock& clock_;
    const Job& job_;
    OutputGroup& group_;
    std::vector<LogEntry>& log_;
};

std::string OpenErrorLine(const Job& job, const std::string& reason) {
    return ShownName(job.source) + ": " + kResultOpenError + " (" + ShownText(reason) + ")";
}

std::string OutputLine(const Job& job, const char* result) {
    return ShownName(job.source) + " -> " + ShownName(job.output) + ": " + result;
}

Outcome ConvertOne(TZX_Disk& disk, const Job& job, OutputGroup& group, const Options& o, const Clock& clock) {
    Outcome r;
    BatchSteps steps(o, clock, job, group, r.log);
    ConversionSource source{.name = job.source, .forcedFormat = o.from, .salvage = o.salvage};
    Bytes input;
    if (IsStandardStream(job.source)) {
        if (const Status read = ReadStandardInputBytes(o.from, input); !read) {
            steps.Log(texts::OpeningFile(job.source));
            steps.Log(texts::LoadFailed(job.source, read.reason()));
            r.line = OpenErrorLine(job, read.reason());
            return r;
        }
        source.bytes = input;
    }
    ConversionTarget target{
        .format = o.format, .compress = o.compress, .lossless = o.lossless, .name = [&] { return job.output; }};
    if (IsStandardStream(job.output)) {
        target.send = [](ByteSpan bytes) {
            return Attempt([&] {
                WriteStandardOutput(bytes);
                return Status::Ok();
            });
        };
    }
    const ConversionOutcome outcome = ConvertImage(disk, source, target, steps);
    r.converted = outcome.result == ConversionResult::kConverted;
    if (outcome.result == ConversionResult::kOpenError) {
        r.line = OpenErrorLine(job, outcome.reason);
        return r;
    }
    r.line = OutputLine(job, ResultText(outcome.result));
    if (outcome.result == ConversionResult::kSaveError) r.line += " (" + ShownText(outcome.reason) + ")";
    // What the output lacks goes on a line of its own under the result, indented so that it is never
    // taken for one.
    if (!outcome.losses.empty()) r.line += "\n  " + ShownText(outcome.losses);
    return r;
}

// Whatever goes wrong outside the conversion step's own checks (memory, say) is that file's failure.
Outcome ConvertOneCaught(TZX_Disk& disk, const Job& job, OutputGroup& group, const Options& o, const Clock& clock) {
    try {
        return ConvertOne(disk, job, group, o, clock);
    } catch (...) {
        Outcome r;
        r.line = OutputLine(job, kResultSaveError) + " (" + ShownText(ReasonOfCurrentException()) + ")";
        return r;
    }
}

void DrawProgress(std::ostream& err, size_t done, size_t total) {
    constexpr int kWidth = 30;
    const int filled = total ? static_cast<int>(done * kWidth / total) : kWidth;
    err << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] " << done << " / " << total
        << std::flush;
}

}  // namespace

int RunConvert(const Options& o, std::ostream& out, std::ostream& err, bool progressBar, const Clock& clock) {
    const std::vector<Job> jobs = PlanJobs(o);
    // With the image on standard output, the result lines go to standard error.
    std::ostream& lines = o.ToStandardOutput() ? err : out;

    AppendFile logFile;
    bool logging = false;
    if (o.logFile) {
        auto refuse = [&](const std::string& reason) {
            err << "tarvex-cli: " << reason << "\n" << Tr("Try 'tarvex-cli --help' for more information.") << "\n";
            return 2;
        };
        if (auto refusal = LogRefusal(*o.logFile, jobs, nullptr)) return refuse(*refusal);
        if (const int error = logFile.Open(*o.logFile); error != 0) {
            // Reported once; the run goes on without a log.
            err << "tarvex-cli: "
                << Fill(Tr("%s; the run goes on without a log"),
                        {Fill(Tr("Cannot write log file \"%s\": %s"), {ShownName(*o.logFile), std::strerror(error)})})
                << "\n";
        } else if (auto refusal = LogRefusal(*o.logFile, jobs, &logFile)) {
            return refuse(*refusal);
        } else {
            logging = true;
        }
    }
    // The log is written in the order the files were given; a log that cannot be written is reported once.
    auto writeLogAt = [&](const LocalTime& when, const std::string& text) {
        if (!logging) return;
        const std::string line = Utf8ToCp1251(FormatLogLine(when, text)) + "\r\n";
        if (const int error = logFile.Append(ByteSpan(reinterpret_cast<const uint8_t*>(line.data()), line.size()))) {
            err << "tarvex-cli: "
                << Fill(Tr("%s; the run goes on without a log"),
                        {Fill(Tr("Cannot write log file \"%s\": %s"), {ShownName(*o.logFile), std::strerror(error)})})
                << "\n";
            logging = false;
        }
    };
    // Without a log the clock is not read: its first reading loads the time-zone rules.
    auto writeLog = [&](const std::string& text) {
        if (logging) writeLogAt(clock(), text);
    };
    writeLog(texts::RunStarted());

    if (o.outputDir && !o.ToStandardOutput()) {
        if (const auto reason = CreateFolders(*o.outputDir)) {
            // Each file then fails to save with the system's reason.
            err << "tarvex-cli: " << Fill(Tr("cannot create folder \"%s\": %s"), {ShownName(*o.outputDir), *reason})
                << "\n";
        }
    }

    std::vector<OutputGroup> groups = GroupByOutput(jobs);
    std::vector<std::unique_ptr<Outcome>> outcomes(jobs.size());
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<size_t> next{0};
    size_t doneCount = 0;

    const unsigned workers = static_cast<unsigned>(std::min<size_t>(
        std::max(1u, o.jobs ? o.jobs : std::thread::hardware_concurrency()), std::max<size_t>(groups.size(), 1)));
    bool allConverted = true;
    size_t printed = 0;
    // Prints the finished outcomes that are next in the order given; with wait, until all are printed.
    auto printReady = [&](bool wait) {
        for (;;) {
            std::unique_ptr<Outcome> outcome;
            {
                std::unique_lock lock(mutex);
                if (printed == jobs.size()) return;
                if (progressBar) DrawProgress(err, doneCount, jobs.size());
                if (wait)
                    finished.wait(lock, [&] { return outcomes[printed] != nullptr; });
                else if (!outcomes[printed])
                    return;
                outcome = std::move(outcomes[printed]);
            }
            if (progressBar) err << "\r\033[K";
            lines << outcome->line << "\n";
            for (const LogEntry& entry : outcome->log) writeLogAt(entry.when, entry.text);
            allConverted = allConverted && outcome->converted;
            ++printed;
        }
    };
    // Mapping memory holds up every thread of the process that touches a new page meanwhile, so the disks
    // of all workers are mapped before any starts converting. Each worker unmaps its own when it has no more
    // files, while the others may still be converting: they no longer take new pages by then.
    std::vector<std::unique_ptr<TZX_Disk>> disks(workers);
    for (auto& disk : disks) disk = std::make_unique<TZX_Disk>();
    ProcessorShare share(workers);
    // The calling thread is one of the workers: it prints between its own files, the others only report.
    // A worker takes a whole group of sources of one output, so that their order decides the owner.
    auto work = [&](std::unique_ptr<TZX_Disk>& disk, bool printing) {
        for (size_t g; (g = next.fetch_add(1)) < groups.size();) {
            for (const size_t i : groups[g].jobs) {
                auto outcome = std::make_unique<Outcome>(ConvertOneCaught(*disk, jobs[i], groups[g], o, clock));
                {
                    std::lock_guard lock(mutex);
                    outcomes[i] = std::move(outcome);
                    ++doneCount;
                }
                if (printing)
                    printReady(false);
                else
                    finished.notify_one();
            }
        }
        disk.reset();
    };
    {
        std::vector<std::unique_ptr<WorkerThread>> threads;
        threads.reserve(workers);  // a started worker is always kept, so that it is joined
        for (unsigned w = 1; w < workers; ++w) {
            try {
                threads.push_back(std::make_unique<WorkerThread>([&, w] {
                    share.Keep();
                    work(disks[w], false);
                }));
            } catch (const std::system_error&) {
                break;  // the run goes on with the workers there are
            }
        }
        share.Keep();  // after the others have started, which they do away from this thread's processor
        work(disks[0], true);
        printReady(true);
    }  // the workers are joined
    if (progressBar) err << "\r\033[K" << std::flush;
    lines.flush();
    writeLog(texts::RunFinished());
    return allConverted ? 0 : 1;
}

}  // namespace tarvex::cli
