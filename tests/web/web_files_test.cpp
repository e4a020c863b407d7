// The page's TR-DOS files against tarvex-cli files: the same Hobeta file out, the same image after an addition.
#include "web/web_files.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/conversion_step.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex::web {
namespace {

using namespace tarvex::test;

TEST(WebFiles, ExtractAndAddGiveTheCommandLinesBytes) {
    const ScopedLocale english(kEnglishLocale);
    auto disk = std::make_unique<TZX_Disk>();
    TempDir dir;
    for (const std::string sample :
         {"trd/zxtune-tiden.trd", "scl/nedoos-stars.scl", "udi/unrealng-beta128-empty.udi"}) {
        SCOPED_TRACE(sample);
        const fs::path source = CorpusDir() / sample;
        const std::string name = source.filename().string();
        const Bytes image = ReadFile(source);
        ASSERT_EQ(RunCli({"files", "extract", "-o", dir / "cli", source.string(), "#1"}).exitCode,
                  name.ends_with(".udi") ? 1 : 0);
        const WebConversion extracted = ExtractFileBytes(*disk, name, image, 0);
        if (name.ends_with(".udi")) {
            EXPECT_EQ(extracted.result, kResultOpenError) << "an empty catalogue";
            EXPECT_EQ(extracted.reason, "No file number 1 on the disk!");
        } else {
            EXPECT_EQ(extracted.result, kResultConverted) << extracted.reason;
            EXPECT_EQ(extracted.output, ReadFile(dir / ("cli/" + extracted.outputName)));
        }

        // The first file extracted, renamed in its header (checksum made anew): a file the disk lacks.
        Bytes pic = ReadFile(fs::directory_iterator(dir / "cli")->path());
        std::copy_n("PIC     ", 8, pic.begin());
        unsigned sum = 0;
        for (int i = 0; i < 15; ++i) sum += pic[i];
        pic[15] = static_cast<uint8_t>(sum * 257 + 105);
        pic[16] = static_cast<uint8_t>((sum * 257 + 105) >> 8);
        WriteFile(dir / "PIC.$C", pic);
        fs::copy_file(source, dir / name, fs::copy_options::overwrite_existing);
        ASSERT_EQ(RunCli({"files", "add", dir / name, dir / "PIC.$C"}).exitCode, 0);
        const WebConversion added = AddFileBytes(*disk, name, image, "PIC.$C", ReadFile(dir / "PIC.$C"));
        EXPECT_EQ(added.result, kResultConverted) << added.reason;
        EXPECT_EQ(added.outputName, name);
        EXPECT_TRUE(added.output == ReadFile(dir / name));
        const WebConversion again = AddFileBytes(*disk, name, added.output, "PIC.$C", ReadFile(dir / "PIC.$C"));
        EXPECT_EQ(again.result, kResultSaveError);
        EXPECT_TRUE(again.reason.ends_with("is already on the disk!")) << again.reason;
        EXPECT_TRUE(again.output.empty());
    }
}

}  // namespace
}  // namespace tarvex::web
