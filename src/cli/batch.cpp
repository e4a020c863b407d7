// tarvex-cli convert: plans the outputs, runs the workers (each file through the shared conversion step)
// and prints one result line per source in the order given.
#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>

#include "app/conversion_step.h"
#include "app/format_table.h"
#include "app/shared_texts.h"
#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/worker_thread.h"

namespace tarvex::cli {

namespace {

struct Job {
    std::string source;
    std::string output;
    std::string refusal;  // set when the file is refused before it is read
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

std::vector<Job> PlanJobs(const Options& o) {
    std::vector<Job> jobs;
    std::map<std::string, std::string> outputOwner;  // output path -> source
    std::map<std::string, bool> namesSeen;
    for (const std::string& source : o.files) {
        Job job{source, OutputFileName(source, o.format, o.outputDir), {}};
        const std::string name = FileNamePart(source);
        if (o.outputDir && namesSeen.count(name)) {
            job.refusal = texts::AlreadyListed(name);
        } else if (auto it = outputOwner.find(job.output); it != outputOwner.end()) {
            job.refusal = Fill(Tr("Output is written by an earlier file of this run (%s)"), {it->second});
        } else {
            outputOwner[job.output] = source;
        }
        namesSeen[name] = true;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

// The command line's part of a file's conversion: log lines kept with their moments, to be written in
// the order the files were given, and --overwrite.
class BatchSteps : public ConversionSteps {
public:
    BatchSteps(const Options& o, const Clock& clock, std::vector<LogEntry>& log) : o_(o), clock_(clock), log_(log) {}
    void Log(const std::string& text) override {
        if (o_.logFile) log_.push_back({clock_(), text});
    }
    bool MayReplace(const std::string&) override { return o_.overwrite; }

private:
    const Options& o_;
    const Clock& clock_;
    std::vector<LogEntry>& log_;
};

Outcome ConvertOne(TZX_Disk& disk, const Job& job, const Options& o, const Clock& clock) {
    Outcome r;
    BatchSteps steps(o, clock, r.log);
    if (!job.refusal.empty()) {
        steps.Log(texts::OpeningFile(job.source));
        steps.Log(texts::LoadFailed(job.source, job.refusal));
        r.line = job.source + ": " + job.refusal;
        return r;
    }
    const ConversionTarget target{
        .format = o.format, .compress = o.compress, .name = [&] { return job.output; }};
    const ConversionOutcome outcome =
        ConvertImage(disk, ConversionSource{.name = job.source, .forcedFormat = o.from}, target, steps);
    r.converted = outcome.result == ConversionResult::kConverted;
    if (outcome.result == ConversionResult::kOpenError) {
        r.line = job.source + ": " + kResultOpenError + " (" + outcome.reason + ")";
        return r;
    }
    r.line = job.source + " -> " + job.output + ": " + ResultText(outcome.result);
    if (outcome.result == ConversionResult::kSaveError) r.line += " (" + outcome.reason + ")";
    return r;
}

void DrawProgress(std::ostream& err, size_t done, size_t total) {
    constexpr int kWidth = 30;
    const int filled = total ? static_cast<int>(done * kWidth / total) : kWidth;
    err << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] " << done << " / " << total
        << std::flush;
}

}  // namespace

int RunConvert(const Options& o, std::ostream& out, std::ostream& err, bool progressBar, const Clock& clock) {
    RunLog log(clock);
    // A log file that cannot be written is reported once; the run goes on without a log.
    bool logging = o.logFile.has_value();
    auto writeLogAt = [&](const LocalTime& when, const std::string& text) {
        if (!logging) return;
        if (auto error = log.WriteLog(when, text)) {
            err << "tarvex-cli: " << Fill(Tr("%s; the run goes on without a log"), {*error}) << "\n";
            logging = false;
        }
    };
    // Without a log the clock is not read: its first reading loads the time-zone rules.
    auto writeLog = [&](const std::string& text) {
        if (logging) writeLogAt(clock(), text);
    };
    if (o.logFile) log.LogFileName = *o.logFile;
    writeLog(texts::RunStarted());

    if (o.outputDir) {
        std::error_code ec;
        std::filesystem::create_directories(*o.outputDir, ec);
        if (ec && !std::filesystem::is_directory(*o.outputDir)) {
            // Each file then fails to save with the system's reason.
            err << "tarvex-cli: " << Fill(Tr("cannot create folder \"%s\": %s"), {*o.outputDir, ec.message()}) << "\n";
        }
    }

    const std::vector<Job> jobs = PlanJobs(o);
    std::vector<std::unique_ptr<Outcome>> outcomes(jobs.size());
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<size_t> next{0};
    size_t doneCount = 0;

    const unsigned workers = static_cast<unsigned>(std::min<size_t>(
        std::max(1u, o.jobs ? o.jobs : std::thread::hardware_concurrency()), std::max<size_t>(jobs.size(), 1)));
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
            out << outcome->line << "\n";
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
    auto work = [&](std::unique_ptr<TZX_Disk>& disk, bool printing) {
        for (size_t i; (i = next.fetch_add(1)) < jobs.size();) {
            auto outcome = std::make_unique<Outcome>(ConvertOne(*disk, jobs[i], o, clock));
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
    out.flush();
    writeLog(texts::RunFinished());
    return allConverted ? 0 : 1;
}

}  // namespace tarvex::cli
