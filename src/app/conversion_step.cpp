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

ConversionOutcome ConvertImage(TZX_Disk& disk, const ConversionSource& source, const ConversionTarget& target,
                               ConversionSteps& steps) {
    ConversionOutcome outcome;
    steps.Log(texts::OpeningFile(source.name));
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
    if (!target.image && NameTaken(outcome.output) && !steps.MayReplace(outcome.output)) {
        steps.Log(texts::OutputExists(outcome.output));
        outcome.result = ConversionResult::kExists;
        return outcome;
    }
    const Status written = target.image ? BuildImageBytes(disk, target.format, target.compress, *target.image)
                                        : WriteImageFile(disk, target.format, outcome.output, target.compress);
    if (!written) {
        if (target.image) target.image->clear();
        outcome.reason = written.reason();
        outcome.result = ConversionResult::kSaveError;
        steps.Log(texts::SaveFailed(outcome.output, outcome.reason));
        return outcome;
    }
    outcome.result = ConversionResult::kConverted;
    steps.Log(texts::ImageSaved(outcome.output));
    return outcome;
}

}  // namespace tarvex
