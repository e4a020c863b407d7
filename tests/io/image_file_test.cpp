#include "io/image_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "io/file_descriptor.h"
#include "io/temporary_names.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using ::testing::HasSubstr;

size_t EntriesIn(const std::filesystem::path& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(ImageFile, AtomicSaveReplacesWholeFilesAndLeavesNoTemporaries) {
    TempDir dir;
    const std::string target = dir / "disk.trd";
    WriteFile(target, Bytes(10000, 0xAA));
    SaveFileAtomic(target, Bytes(10, 0x55));
    EXPECT_EQ(ReadFile(target), Bytes(10, 0x55));
    SaveFileAtomic(target, {});
    EXPECT_TRUE(ReadFile(target).empty());
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(ImageFile, SaveIntoAMissingFolderFailsWithTheSystemsReason) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    const std::string target = (dir.path() / "missing" / "disk.trd").string();
    try {
        SaveFileAtomic(target, Bytes(4, 1));
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_THAT(e.what(), HasSubstr("No such file or directory"));
        EXPECT_THAT(e.what(), HasSubstr(target));
    }
}

TEST(ImageFile, ReadingAFolderOrAMissingFileIsAnError) {
    TempDir dir;
    EXPECT_THROW(ReadWholeFile(dir.path().string()), IoError);
    EXPECT_THROW(ReadWholeFile(dir / "nothing"), IoError);
    EXPECT_FALSE(FileExists(dir.path().string()));
    EXPECT_FALSE(FileExists(""));
}

constexpr FileSizeLimit kSmallLimit{"a test image", 1000};

std::string Refusal(const std::function<void()>& read) {
    try {
        read();
    } catch (const IoError& e) {
        return e.what();
    }
    return "(read)";
}

TEST(ImageFile, RegularFilesBeyondTheLimitAreRefusedUnread) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    WriteFile(dir / "at", Bytes(kSmallLimit.maxBytes, 7));
    EXPECT_EQ(ReadWholeFile(dir / "at", kSmallLimit), Bytes(kSmallLimit.maxBytes, 7));
    WriteFile(dir / "over", Bytes(kSmallLimit.maxBytes + 1, 7));
    EXPECT_EQ(Refusal([&] { ReadWholeFile(dir / "over", kSmallLimit); }),
              "File too large for a test image: 1001 bytes, at most 1000");
    // Sparse: refused by its length alone, the gigabytes are never read.
    std::filesystem::resize_file(dir / "over", uint64_t{3} << 30);
    EXPECT_EQ(Refusal([&] { ReadWholeFile(dir / "over"); }),
              "File too large for this program: 3221225472 bytes, at most " + std::to_string(kAnyFileLimit.maxBytes));
    EXPECT_EQ(Refusal([&] { ReadWholeFile(dir.path().string()); }), "Is a directory");
}

TEST(ImageFile, SourcesOfUnknownLengthAreReadNoFurtherThanTheLimit) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    EXPECT_EQ(Refusal([] { ReadWholeFile("/dev/zero", kSmallLimit); }),
              "File too large for a test image: more than 1000 bytes");
    const Bytes status = ReadWholeFile("/proc/self/status");  // a /proc file claims a length of 0
    EXPECT_THAT(std::string(status.begin(), status.end()), HasSubstr("Pid:"));

    TempDir dir;
    const std::string fifo = dir / "pipe.trd";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(ReadWholeFile(fifo, kSmallLimit).empty()) << "a pipe nobody writes to does not hold the open up";
    for (const size_t length : {kSmallLimit.maxBytes, kSmallLimit.maxBytes + 1}) {
        // A pipe that holds the bytes and has no writer left: read to its end, or refused one byte past.
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        const Bytes bytes(length, 3);
        ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(length));
        ::close(ends[1]);
        const std::string result = Refusal(
            [&] { EXPECT_EQ(ReadWholeFile("/proc/self/fd/" + std::to_string(ends[0]), kSmallLimit), bytes); });
        ::close(ends[0]);
        EXPECT_EQ(result, length > kSmallLimit.maxBytes ? "File too large for a test image: more than 1000 bytes"
                                                          : "(read)");
    }
}

// The unzeroed reader must give the plain reader's bytes and refusals. Memory just freed after being
// filled with a marker is likely handed out again to the unzeroed buffer: a marker byte showing up in its
// result would be a byte that was never read.
TEST(ImageFile, UnzeroedReadingGivesThePlainReadersBytesAndRefusals) {
    constexpr uint8_t kMarker = 0xA5;
    auto unzeroed = [&](const std::string& path, const FileSizeLimit& limit) {
        {
            std::vector<uint8_t> stale(2 * 1024 * 1024, kMarker);
            asm volatile("" : : "r"(stale.data()) : "memory");  // the filling is kept
        }
        const FileBuffer bytes = ReadWholeFileUnzeroed(path, limit);
        return Bytes(bytes.begin(), bytes.end());
    };
    auto same = [&](const std::string& path, const FileSizeLimit& limit) {
        SCOPED_TRACE(path);
        Bytes plain, fast;
        const std::string plainRefusal = Refusal([&] { plain = ReadWholeFile(path, limit); });
        EXPECT_EQ(Refusal([&] { fast = unzeroed(path, limit); }), plainRefusal);
        EXPECT_EQ(fast, plain);
    };
    TempDir dir;
    for (const size_t length : {size_t{0}, size_t{1}, size_t{999}, kSmallLimit.maxBytes, kSmallLimit.maxBytes + 1}) {
        WriteFile(dir / "zeros", Bytes(length, 0));
        same(dir / "zeros", kSmallLimit);
    }
    WriteFile(dir / "large", Bytes(655360 + 1234, 0));
    same(dir / "large", kAnyFileLimit);
    same("/proc/self/cmdline", kAnyFileLimit);  // claims a length of 0: the buffer grows step by step
    same("/dev/zero", kSmallLimit);
    same(dir.path().string(), kSmallLimit);
    same(dir / "missing", kSmallLimit);
    EXPECT_EQ(unzeroed(dir / "large", kAnyFileLimit), Bytes(655360 + 1234, 0));
}

// Places of uneven lengths (1 to 9 bytes, more than one system call takes, the first shorter than the
// head read before them) are filled with the file when it fills them exactly. A file that loses or gains
// a byte after its size was taken, and places that do not add up to its size, leave it read into the
// buffer, from its start. A refused file, a source of unknown length and a file over the limit are never
// placed.
TEST(ImageFile, AFileIsReadIntoPlacesOnlyWhenItFillsThemExactly) {
    TempDir dir;
    Bytes content(10000);
    std::mt19937 random(3);
    for (uint8_t& b : content) b = static_cast<uint8_t>(random());
    const std::string path = dir / "image";
    const LimitForHead anyLimit = [](ByteSpan) -> const FileSizeLimit& { return kAnyFileLimit; };
    for (const auto& [fileChange, roomChange] : {std::pair{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
        SCOPED_TRACE(std::to_string(fileChange) + " " + std::to_string(roomChange));
        WriteFile(path, content);
        Bytes now = content;  // the file when it is read
        if (fileChange < 0) now.pop_back();
        if (fileChange > 0) now.push_back(0x5A);
        Bytes target(content.size() + roomChange, 0xEE);
        const PlacesFor placesFor = [&](uint64_t size, WritablePieces& places) {
            EXPECT_EQ(size, content.size());
            WriteFile(path, now);  // changed in place after its size was taken
            for (size_t at = 0, n = 1; at < target.size(); at += n, n = n % 9 + 1)
                places.emplace_back(&target[at], std::min(n, target.size() - at));
            return true;
        };
        const bool exact = fileChange == 0 && roomChange == 0;
        bool placed = !exact;
        const FileBuffer bytes = ReadWholeFileOrPlace(path, 16, anyLimit, placesFor, placed);
        EXPECT_EQ(placed, exact);
        if (exact) {
            EXPECT_TRUE(bytes.empty());
            EXPECT_TRUE(target == content);
        } else {
            EXPECT_TRUE(Bytes(bytes.begin(), bytes.end()) == now);
        }
    }
    const Bytes tiny(content.begin(), content.begin() + 10);  // all of it read with the first bytes
    WriteFile(path, tiny);
    Bytes shortRoom(9);
    bool placed = true;
    const FileBuffer read = ReadWholeFileOrPlace(path, 16, anyLimit, [&](uint64_t, WritablePieces& places) {
        places.emplace_back(shortRoom.data(), shortRoom.size());
        return true;
    }, placed);
    EXPECT_FALSE(placed);
    EXPECT_TRUE(Bytes(read.begin(), read.end()) == tiny);
    WriteFile(path, content);
    bool asked = false;
    const PlacesFor refuse = [&](uint64_t, WritablePieces&) { return asked = true, false; };
    placed = true;
    const FileBuffer whole = ReadWholeFileOrPlace(dir / "image", 16, anyLimit, refuse, placed);
    EXPECT_TRUE(asked);
    EXPECT_FALSE(placed);
    EXPECT_TRUE(Bytes(whole.begin(), whole.end()) == content);
    const PlacesFor never = [](uint64_t, WritablePieces&) -> bool {
        ADD_FAILURE() << "asked for places";
        return false;
    };
    EXPECT_FALSE(ReadWholeFileOrPlace("/proc/self/cmdline", 16, anyLimit, never, placed).empty());
    EXPECT_FALSE(placed);
    const LimitForHead small = [](ByteSpan) -> const FileSizeLimit& { return kSmallLimit; };
    EXPECT_THAT(Refusal([&] { ReadWholeFileOrPlace(dir / "image", 16, small, never, placed); }),
                HasSubstr("1000"));
}

// Images whose zero bytes fall where a block-wise skip could go wrong: at either end, in a short last
// block, filling everything, and zero blocks that hold one other byte at their first or last position.
std::vector<Bytes> ImagesWithZeroRuns() {
    constexpr size_t kBlock = 4096;
    auto with = [](Bytes b, std::initializer_list<std::pair<size_t, uint8_t>> set) {
        for (const auto& [at, value] : set) b[at] = value;
        return b;
    };
    std::vector<Bytes> images = {
        {},
        Bytes(1, 0),
        Bytes(kBlock - 1, 0),
        Bytes(3 * kBlock + 100, 0),
        with(Bytes(kBlock + 1, 0), {{kBlock, 7}}),
        with(Bytes(2 * kBlock + 10, 0), {{0, 1}}),
        with(Bytes(3 * kBlock, 0), {{kBlock - 1, 2}, {2 * kBlock, 3}}),
        with(Bytes(2 * kBlock + 1, 0), {{2 * kBlock, 4}}),
    };
    Bytes striped(8 * kBlock + 123);
    for (size_t i = 0; i < striped.size(); ++i)
        striped[i] = (i / kBlock) % 3 == 1 ? 0 : static_cast<uint8_t>(i * 7 + 1);
    images.push_back(striped);
    return images;
}

TEST(ImageFile, SkippingZeroBlocksSavesTheBytesOfWritingThemAll) {
    TempDir dir;
    for (const Bytes& image : ImagesWithZeroRuns()) {
        SCOPED_TRACE(image.size());
        SaveFileAtomic(dir / "written.img", image, ZeroBlocks::Written);
        SaveFileAtomic(dir / "skipped.img", image, ZeroBlocks::Skipped);
        EXPECT_EQ(ReadFile(dir / "written.img"), image);
        EXPECT_EQ(ReadFile(dir / "skipped.img"), image);
    }
}

// An image handed over in pieces of every awkward size (empty ones, single bytes, pieces crossing the
// block boundaries, more pieces than one gathering write takes) is saved as the joined bytes are.
TEST(ImageFile, AnImageSavedInPiecesIsTheImageSavedWhole) {
    TempDir dir;
    std::mt19937 random(4096);
    for (const Bytes& image : ImagesWithZeroRuns()) {
        for (const size_t largest : {size_t{1}, size_t{3}, size_t{256}, size_t{5000}}) {
            SCOPED_TRACE(std::to_string(image.size()) + " bytes in pieces of at most " + std::to_string(largest));
            std::vector<Bytes> apart;  // each piece in memory of its own, so none joins its neighbour
            for (size_t at = 0; at < image.size();) {
                const size_t n = std::min<size_t>(random() % (largest + 1), image.size() - at);
                apart.emplace_back(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at + n));
                at += n;
            }
            const ImagePieces pieces(apart.begin(), apart.end());
            for (const ZeroBlocks zeros : {ZeroBlocks::Written, ZeroBlocks::Skipped}) {
                SavePiecesAtomic(dir / "pieces.img", pieces, zeros);
                ASSERT_EQ(ReadFile(dir / "pieces.img"), image);
            }
        }
    }
}

// The replacement is a new file: no byte of a longer old file shows through where zero blocks are skipped.
TEST(ImageFile, SkippedZeroBlocksOfAReplacementReadAsZeros) {
    TempDir dir;
    const std::string target = dir / "disk.trd";
    for (const Bytes& image : ImagesWithZeroRuns()) {
        SCOPED_TRACE(image.size());
        WriteFile(target, Bytes(image.size() + 9000, 0xFF));
        SaveFileAtomic(target, image, ZeroBlocks::Skipped);
        EXPECT_EQ(ReadFile(target), image);
    }
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

// Whether the file system of the folder keeps a file lengthened by ftruncate as a hole.
bool KeepsHoles(const std::filesystem::path& folder, off_t length) {
    const std::string probe = folder / "probe";
    const int fd = ::open(probe.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    const bool holes = fd >= 0 && ::ftruncate(fd, length) == 0 && ::lseek(fd, 0, SEEK_HOLE) == 0;
    if (fd >= 0) ::close(fd);
    ::unlink(probe.c_str());
    return holes;
}

// Where the file system keeps holes, the skipped blocks take no room.
TEST(ImageFile, SkippedZeroBlocksTakeNoRoomWhereTheFileSystemHasHoles) {
    TempDir dir;
    constexpr size_t kMostlyZero = 64 * 4096;
    if (!KeepsHoles(dir.path(), kMostlyZero)) GTEST_SKIP() << "the file system of the test folder keeps no holes";
    Bytes image(kMostlyZero, 0);
    image[0] = 1;
    SaveFileAtomic(dir / "written.img", image, ZeroBlocks::Written);
    SaveFileAtomic(dir / "skipped.img", image, ZeroBlocks::Skipped);
    struct stat written {}, skipped {};
    ASSERT_EQ(::stat((dir / "written.img").c_str(), &written), 0);
    ASSERT_EQ(::stat((dir / "skipped.img").c_str(), &skipped), 0);
    EXPECT_EQ(skipped.st_size, written.st_size);
    EXPECT_LT(skipped.st_blocks, written.st_blocks);
}

TEST(ImageFile, ReplacingKeepsPermissionsAndNewFilesFollowTheUmask) {
    TempDir dir;
    const std::string target = dir / "kept.trd";
    WriteFile(target, Bytes(10, 1));
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    SaveFileAtomic(target, Bytes(20, 2));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(target), Bytes(20, 2));

    const mode_t mask = ::umask(027);
    SaveFileAtomic(dir / "new.trd", Bytes(5, 3));
    ::umask(mask);
    ASSERT_EQ(::stat((dir / "new.trd").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(EntriesIn(dir.path()), 2u);
}

// A save told to keep what it finds replaces nothing: not a file, not a folder, not a link that leads
// nowhere or to itself, by either way of saving; the name is reported taken and no temporary is left.
TEST(ImageFile, ASaveThatKeepsWhatItFindsReplacesNothing) {
    using Save = std::function<void(const std::string&, const Bytes&)>;
    const std::pair<const char*, Save> saves[] = {
        {"unnamed", [](const std::string& name, const Bytes& bytes) {
             SaveFileAtomic(name, bytes, ZeroBlocks::Skipped, IfNameTaken::kKeep);
         }},
        {"named", [](const std::string& name, const Bytes& bytes) {
             SaveThroughNamedTemporary(name, ImagePieces{bytes}, ZeroBlocks::Skipped, IfNameTaken::kKeep);
         }},
    };
    for (const auto& [way, save] : saves) {
        TempDir dir;
        WriteFile(dir / "file", Bytes{7});
        std::filesystem::create_directory(dir.path() / "folder");
        std::filesystem::create_symlink("nowhere", dir.path() / "dangling");
        std::filesystem::create_symlink("loop", dir.path() / "loop");
        for (const char* taken : {"file", "folder", "dangling", "loop"}) {
            EXPECT_THROW(save(dir / taken, Bytes(100, 1)), NameTakenError) << way << " " << taken;
        }
        EXPECT_EQ(ReadFile(dir / "file"), Bytes{7});
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "nowhere")) << way;
        save(dir / "new", Bytes(100, 2));
        EXPECT_EQ(ReadFile(dir / "new"), Bytes(100, 2));
        EXPECT_EQ(EntriesIn(dir.path()), 5u) << way << ": nothing but the five names";
    }
}

TEST(TemporaryNames, OnlyTheExactFormIsTakenForATemporary) {
    const std::string made = std::filesystem::path(TemporaryNameBeside("/x/d14.trd")).filename().string();
    EXPECT_TRUE(IsTemporaryName(made)) << made;
    EXPECT_TRUE(IsTemporaryName(".tarvex-32633-6.tmp"));
    for (const char* other : {"tarvex-32633-6.tmp", ".tarvex-32633.tmp", ".tarvex-32633-6", ".tarvex-3x633-6.tmp",
                              ".tarvex--6.tmp", ".tarvex-32633-.tmp", ".tarvex-99999999999-6.tmp", ".Tarvex-1-6.tmp",
                              ".d14.trd.tarvex-32633-6.tmp"})
        EXPECT_FALSE(IsTemporaryName(other)) << other;
}

// A child process that locks a temporary as a writer does, takes another program's name, says so on the
// pipe and waits until it is killed.
pid_t StartWriterUnderAnotherName(const std::string& temporary) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT, 0644);
        const bool locked = fd >= 0 && LockTemporary(fd) == TemporaryLock::kHeld;
        ::prctl(PR_SET_NAME, "copy-of-it");
        const char answer = locked ? 'y' : 'n';
        if (::write(ready[1], &answer, 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 'n';
    const bool told = ::read(ready[0], &answer, 1) == 1;
    ::close(ready[0]);
    return told && answer == 'y' ? pid : -1;
}

pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

void Stop(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

std::string TempOf(pid_t pid, int n = 0) { return ".tarvex-" + std::to_string(pid) + "-" + std::to_string(n) + ".tmp"; }

TEST(TemporaryNames, StaleTemporariesAreRemovedAndLiveWritersKept) {
    TempDir dir;
    const pid_t writer = StartWriterUnderAnotherName(dir / TempOf(1));  // alive, under any program's name
    ASSERT_GT(writer, 0);
    // A writer of this very process, on another thread: its lock holds against this process's sweep too.
    const FileDescriptor ownWriter(::open((dir / TempOf(::getpid(), 1)).c_str(), O_WRONLY | O_CREAT, 0644));
    ASSERT_EQ(LockTemporary(ownWriter.get()), TemporaryLock::kHeld);
    const std::vector<std::string> stale = {TempOf(DeadPid()), TempOf(::getpid(), 2), TempOf(writer, 3)};
    const std::vector<std::string> kept = {TempOf(1), TempOf(::getpid(), 1), "d.trd", ".tarvex-1.tmp",
                                           "tarvex-1-0.tmp"};
    for (const auto& name : stale) WriteFile(dir / name, Bytes{1});
    for (const auto& name : kept)
        if (!std::filesystem::exists(dir / name)) WriteFile(dir / name, Bytes{1});
    std::filesystem::create_directory(dir.path() / TempOf(2));

    SaveFileAtomic(dir / "e.trd", Bytes{2});  // the first write into the folder sweeps it
    for (const auto& name : stale) EXPECT_FALSE(std::filesystem::exists(dir.path() / name)) << name;
    for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(dir.path() / name)) << name;
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / TempOf(2)));

    Stop(writer);
    RemoveStaleTemporaries(dir.path().string());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / TempOf(1))) << "its writer has ended";
    EXPECT_TRUE(std::filesystem::exists(dir.path() / TempOf(::getpid(), 1)));
}

TEST(ImageFile, ReadersGivenNoFileReturnFalseWithoutAMessage) {
    TempDir dir;
    TZX_Disk disk;
    disk.StatusMessage = "untouched";
    EXPECT_FALSE(disk.LoadTRD(""));
    EXPECT_FALSE(disk.LoadTRD(dir / "none.trd"));
    EXPECT_FALSE(disk.LoadPRO(dir / "none.pro"));
    EXPECT_FALSE(disk.LoadKDI(dir.path().string()));
    EXPECT_EQ(disk.StatusMessage, "untouched");
}

TEST(ImageFile, FailingWriterLeavesAnExistingFileUntouched) {
    TempDir dir;
    const std::string target = dir / "keep.trd";
    const Bytes original(4096, 0x11);
    WriteFile(target, original);
    TZX_Disk disk;
    ASSERT_TRUE(disk.LoadTRD(target));
    disk.Track(0)->Sector(3)->SectorNo = 40;
    EXPECT_FALSE(disk.SaveTRD(target));
    EXPECT_EQ(ReadFile(target), original);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(ByteReader, StopsAtTheEndWithTheStreamReadError) {
    const Bytes bytes{1, 2, 3, 4, 5, 6, 7};
    ByteReader in(bytes);
    EXPECT_EQ(in.U8(), 1);
    EXPECT_EQ(in.U16(), 0x0302);
    EXPECT_EQ(in.U32(), 0x07060504u);
    EXPECT_TRUE(in.AtEnd());
    try {
        in.U8();
        FAIL();
    } catch (const StreamReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    ByteReader again(bytes);
    uint8_t buffer[8];
    EXPECT_THROW(again.Read(buffer, 8), StreamReadError);
    EXPECT_EQ(again.Position(), 0u) << "a failed read consumes nothing";
    EXPECT_THROW(again.Seek(8), StreamReadError);
    EXPECT_THROW(again.Skip(SIZE_MAX), StreamReadError);
}

}  // namespace
}  // namespace tarvex
