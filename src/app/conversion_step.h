// One file's conversion, the same steps whichever face asks for it: read the source into the disk model,
// check the output's name, write the image, and tell the run log each step. The window's driver, the
// command line's batch and the page's entry layer each keep only their own way of asking (may an existing
// output be replaced? go on after reading?) and of reporting the result.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "disk/zx_disk.h"
#include "io/status.h"

namespace tarvex {

// The row result texts: they never change, scripts read them.
inline constexpr const char* kResultConverted = "Converted!";
inline constexpr const char* kResultExists = "File exists!";
inline constexpr const char* kResultSaveError = "Error save file!";
inline constexpr const char* kResultOpenError = "Error open file!";

enum class ConversionResult { kConverted, kExists, kSaveError, kOpenError, kStopped };
// The row result text of a result; "" for a stopped conversion, which has none.
const char* ResultText(ConversionResult result);

// What a face decides along the way; by default nothing is logged, the conversion goes on after reading
// and an existing output is kept.
class ConversionSteps {
public:
    virtual ~ConversionSteps() = default;
    // A line of the run log, at the moment its step is done.
    virtual void Log(const std::string& /*text*/) {}
    // Asked once the source is read: false stops the conversion there (the window's Stop).
    virtual bool GoOn() { return true; }
    // Asked once the output's name is known: a reason refuses the output (the command line's second
    // source of one output), with this result.
    virtual std::optional<std::string> OutputRefusal(const std::string& /*output*/) { return std::nullopt; }
    // Asked when the output file exists: true replaces it.
    virtual bool MayReplace(const std::string& /*output*/) { return false; }
};

// The source: a file, or an image's bytes already in memory under a file name (the page has no files).
struct ConversionSource {
    std::string name;
    std::optional<ByteSpan> bytes;
    std::optional<int> forcedFormat;  // read with this format's reader instead of the one the file names
    bool salvage = false;             // read an image whose checksum does not match, as a loss
};

// The target: the format, and where its image goes: a file whose name is known once the source is read
// (the window reads its options afresh then), the bytes of `image` when it is given, or whatever `send`
// does with them (standard output) when that is given. Only a file is checked for an existing one.
struct ConversionTarget {
    int format = 0;
    bool compress = false;  // compressed TD0
    bool lossless = false;  // refuse to write an image that drops anything, with the loss line as the reason
    std::function<std::string()> name;
    Bytes* image = nullptr;
    std::function<Status(ByteSpan)> send;
};

struct ConversionOutcome {
    ConversionResult result = ConversionResult::kOpenError;
    std::string reason;  // the reader's or writer's words, when it failed
    std::string output;  // the output's name, once it is known
    std::string losses;  // "dropped: ..." when the converted image lacks something the source had; else ""
};

// Reads the source into the disk and writes it as the target. A file is never written over an existing
// one unless MayReplace said so: a name taken meanwhile, by another program, is "File exists!" too.
// What the reader could not take and what the writer could not put in make the outcome's loss line.
// The loss line of the disk's last read and write: "dropped: ..." or "".
std::string ConversionLosses(const TZX_Disk& disk);

ConversionOutcome ConvertImage(TZX_Disk& disk, const ConversionSource& source, const ConversionTarget& target,
                               ConversionSteps& steps);

}  // namespace tarvex
