// The steps of one file's conversion, in the order the run log tells them.
#include "app/conversion_step.h"

#include "app/format_table.h"
#include "app/shared_texts.h"
#include "i18n/translate.h"
#include "io/image_file.h"

namespace tarvex {

const char* ResultText(ConversionResult result) {
    switch (result) {
        case ConversionResult::kConverted: return kResultConverted;
        case ConversionResult::kExists: return kResultExists;
        case ConversionResult::kSaveError: return kResultSaveError;
        case ConversionResult::kOpenError: return kResultOpenError;
        case ConversionResult::kStopped: break;
    }
    return "";
}

std::string ConversionLosses(const TZX_Disk& disk) {
    LossReport all = disk.ReadLosses;
    all.Add(disk.WriteLosses);
    return all.Text();
}

ConversionOutcome ConvertImage(TZX_Disk& disk, const ConversionSource& source, const ConversionTarget& target,
                               ConversionSteps& steps) {
    ConversionOutcome outcome;
    steps.Log(texts::OpeningFile(source.name));
    disk.SalvageChecksums = source.salvage;
    const Status read = source.bytes ? ReadImageBytes(disk, source.name, *source.bytes, source.forcedFormat)
                                     : ReadImageFile(disk, source.name, source.forcedFormat);
    if (!read) {
        // A reader that refused without words of its own still gets a reason.
        outcome.reason = read.reason().empty() ? Tr(kUnreadableReason) : read.reason();
        steps.Log(texts::LoadFailed(source.name, outcome.reason));
        return outcome;
    }
    steps.Log(texts::FileOpened(source.name));
    if (!steps.GoOn()) {
        outcome.result = ConversionResult::kStopped;
        return outcome;
    }

    outcome.output = target.name();
    steps.Log(texts::CreatingImage(outcome.output));
    const bool toFile = !target.image && !target.send;
    auto saveFailed = [&](const std::string& reason) {
        if (target.image) target.image->clear();
        outcome.reason = reason;
        outcome.result = ConversionResult::kSaveError;
        steps.Log(texts::SaveFailed(outcome.output, outcome.reason));
        return outcome;
    };
    auto exists = [&] {
        steps.Log(texts::OutputExists(outcome.output));
        outcome.result = ConversionResult::kExists;
        return outcome;
    };
    if (auto refusal = steps.OutputRefusal(outcome.output)) return saveFailed(*refusal);
    bool replace = false;
    if (toFile && NameTaken(outcome.output)) {
        if (!steps.MayReplace(outcome.output)) return exists();
        replace = true;
    }
    // Called once the image is built, before a byte of it is saved or sent.
    const LossCheck check = [&]() -> Status {
        if (!target.lossless) return Status::Ok();
        const std::string losses = ConversionLosses(disk);
        return losses.empty() ? Status::Ok() : Status::Failure(losses);
    };
    Status written;
    if (toFile) {
        written = WriteImageFile(disk, target.format, outcome.output, target.compress,
                                 replace ? IfNameTaken::kReplace : IfNameTaken::kKeep, check);
    } else {
        Bytes built;
        Bytes& image = target.image ? *target.image : built;
        written = BuildImageBytes(disk, target.format, target.compress, image, check);
        if (written && target.send) written = target.send(image);
    }
    if (written.nameTaken()) return exists();
    if (!written) return saveFailed(written.reason());
    outcome.result = ConversionResult::kConverted;
    steps.Log(texts::ImageSaved(outcome.output));
    outcome.losses = ConversionLosses(disk);
    if (!outcome.losses.empty()) steps.Log(outcome.losses);
    return outcome;
}

}  // namespace tarvex
