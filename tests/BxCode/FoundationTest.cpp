// The library's foundation and its refusals: every misuse raises its own BxErrorCode, naming the
// module that raised it; a file writes and cuts its own path only; the list keeps its order as a
// std::vector does.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BxCode/BxAnimation.h"
#include "BxCode/BxBuffer.h"
#include "BxCode/BxBytes.h"
#include "BxCode/BxGIFFrame.h"
#include "BxCode/BxLZWEncoder.h"
#include "BxCode/BxList.h"
#include "BxCode/BxQuantRemap.h"
#include "BxTestSupport.h"
#include "Corpus.h"
#include "TempDir.h"

namespace quillon::test::bx {
namespace {

struct MisuseCase {
    std::string name;
    std::function<void()> action;
    std::int32_t expected;
};

void PrintTo(const MisuseCase& c, std::ostream* out) {
    *out << c.name;
}

class Misuse : public testing::TestWithParam<MisuseCase> {};

TEST_P(Misuse, RaisesItsCodeFromItsModule) {
    try {
        GetParam().action();
        ADD_FAILURE() << "returned normally";
    } catch (const BxErrorCode& error) {
        EXPECT_EQ(error.Code(), GetParam().expected);
        EXPECT_EQ(error.File().substr(0, 9), "BxCode/Bx") << error.File();
        EXPECT_EQ(error.File().find('.'), std::string::npos) << error.File();
        EXPECT_GT(error.Line(), 0);
    }
}

std::unique_ptr<BxFile> Reading(const Bytes& bytes) {
    auto file = std::make_unique<BxFile>();
    file->Open(BxFile::kReadable, true, MemoryDescriptor(bytes));
    return file;
}

std::unique_ptr<BxFile> AtPath(const char* path) {
    auto file = std::make_unique<BxFile>();
    file->SetPath(path);
    return file;
}

// A GIF file that counts what it would write, on a screen of that width.
std::unique_ptr<BxGIFFile> Counting(std::uint32_t width = 2) {
    auto file = std::make_unique<BxGIFFile>();
    file->SetScreenSize(width, 2);
    file->Open(BxFile::kWritable | BxFile::kCounting);
    return file;
}

std::unique_ptr<BxIndexedImage> Indexed(std::uint32_t width, std::uint32_t height,
                                        std::size_t colours = 2) {
    const BxColorTable palette(colours);
    return std::make_unique<BxIndexedImage>(width, height, &palette);
}

// A record for a frame of that width and height 2, with or without a local table.
BxGIFFrameInfo Record(std::uint16_t width, bool localTable) {
    BxGIFFrameInfo info;
    info.width = width;
    info.height = 2;
    info.hasLocalTable = localTable;
    return info;
}

void DrawThrough(BxImage& other, std::uint32_t width) {
    Bytes out(64);
    Indexed(2, 2)->DrawThrough(other, BxRect{0, 0, 2, static_cast<std::int32_t>(width)},
                               BxDrawTarget{out.data(), 9});
}

const char kMissingPath[] = "/nonexistent-folder-for-bx-tests/file.gif";
BxMemorySink sink;
Bytes shortMap(1);
BxIndexCounts counts{};

const MisuseCase kMisuse[] = {
    // The file.
    {"OpenWithoutPathOrDescriptor", [] { BxFile().Open(BxFile::kReadable); }, kBxErrNoPath},
    {"OpenTwice", [] { Reading({1})->Open(BxFile::kReadable, true, MemoryDescriptor({1})); },
     kBxErrAlreadyOpen},
    {"OpenWithModeFive", [] { AtPath(kMissingPath)->Open(5); }, kBxErrBadMode},
    {"OpenMissingFile", [] { AtPath(kMissingPath)->Open(BxFile::kReadable); }, kBxErrOpenNotFound},
    {"ReadFromWriteOnly", [] { Counting()->ReadByte(); }, kBxErrAccess},
    {"WriteToReadOnly", [] { Reading({1})->WriteByte(1); }, kBxErrAccess},
    {"ReadWhenClosed", [] { BxFile().ReadByte(); }, kBxErrNotOpen},
    {"CloseWhenClosed", [] { BxFile().Close(); }, kBxErrNotOpen},
    {"SeekWhenClosed", [] { BxFile().Seek(0, BxFile::kFromStart); }, kBxErrBadDescriptor},
    {"SeekOriginThree", [] { Reading({1})->Seek(0, 3); }, kBxErrBadArgument},
    {"SeekBeforeTheStart", [] { Reading({1})->Seek(-5, BxFile::kFromStart); }, kBxErrBadArgument},
    {"ReadPastTheEnd", [] { Reading({})->ReadByte(); }, kBxErrEndOfFile},
    {"WordCutByTheEnd", [] { Reading({0x34})->ReadWord(); }, kBxErrEndOfFile},
    // GIF files and the codec.
    {"ReadPastTheLastFrame",
     [] { ReadGif(ReadBytes(CorpusDir() / "gif" / "wuffs_hat.gif")).file->ReadFrame(); },
     kBxErrMissing},
    {"WriteFrameOfAnotherSize", [] { Counting()->WriteFrame(*Indexed(2, 2), Record(3, false)); },
     kBxErrBadArgument},
    {"WriteTrueColourFrame", [] { Counting()->WriteFrame(BxRGBImage(2, 2), Record(2, false)); },
     kBxErrMissing},
    {"WriteLocalTableWithoutEntries",
     [] { Counting()->WriteFrame(*Indexed(2, 2), Record(2, true)); }, kBxErrBadArgument},
    {"WriteScreenWiderThanAWord", [] { Counting(70000)->WriteGlobalInfo(); }, kBxErrBadArgument},
    {"EncodeWithWidthNine", [] { BxLZWEncoder().Start(sink, 9); }, kBxErrBadArgument},
    {"CodeWidthOfNoColours", [] { BxGIFCodeWidth(0); }, kBxErrBadArgument},
    // Images. Pixel buffers over 256 MiB are refused before they are allocated.
    {"IndexedImageTooLarge", [] { BxIndexedImage(65535, 65535); }, kBxErrNoMemory},
    {"TrueColourImageTooLarge", [] { BxRGBImage(20000, 20000); }, kBxErrNoMemory},
    {"SetSizeTooLarge", [] { Indexed(2, 2)->SetSize(70000, 70000); }, kBxErrNoMemory},
    {"PixelOfAnEmptyImage", [] { Indexed(0, 7)->PixelAt(0, 0); }, kBxErrBadArgument},
    {"CountIndicesWithoutCounts", [] { Indexed(2, 2)->CountIndices(nullptr); }, kBxErrMissing},
    {"CountIndicesUnderAMaskOfAnotherSize",
     [] { Indexed(2, 2)->CountIndices(&counts, std::make_unique<BxBitmapImage>(1, 1).get()); },
     kBxErrBadArgument},
    {"RemapWithoutAMap", [] { Indexed(2, 2)->RemapIndices(nullptr); }, kBxErrMissing},
    {"CropOutside",
     [] {
         Indexed(2, 2)->Crop(BxRect{2, 0, 1, 1});
     },
     kBxErrBadArgument},
    {"PasteOfAnotherPalette", [] { Indexed(2, 2)->Paste(0, 0, *Indexed(1, 1, 3)); },
     kBxErrBadArgument},
    {"PasteTrueColourIntoIndexed", [] { Indexed(2, 2)->Paste(0, 0, BxRGBImage(1, 1)); },
     kBxErrBadArgument},
    {"DrawOutside", [] { DrawThrough(*Indexed(2, 2, 1), 3); }, kBxErrBadArgument},
    {"DrawThroughAMaskOfAnotherSize",
     [] { DrawThrough(*std::make_unique<BxBitmapImage>(1, 1), 2); }, kBxErrBadArgument},
    {"DrawThroughAnIndexedImage", [] { DrawThrough(*Indexed(2, 2), 2); }, kBxErrNotImplemented},
    // Frames and animations.
    {"CropFrameToNoColumns", [] { BxGIFFrame(4, 4).CropToArea(3, 3, 3, 4); }, kBxErrBadArgument},
    {"CropFramePastTheEdge", [] { BxGIFFrame(4, 4).CropToArea(0, 0, 5, 1); }, kBxErrBadArgument},
    {"FrameImageWithoutARecord", [] { BxGIFFrame(2, 2).ReplaceImage(Indexed(2, 2)); },
     kBxErrMissing},
    {"PasteAnImageIntoAFrame", [] { BxGIFFrame(2, 2).Paste(0, 0, *Indexed(1, 1)); },
     kBxErrBadArgument},
    {"StripIntoAFrame", [] { BxGIFFrame(2, 2).AcceptStrip({}, nullptr, {}); },
     kBxErrNotImplemented},
    {"FrameOfAnEmptyAnimation", [] { BxAnimation().GetFrame(0); }, kBxErrMissing},
    {"InsertNoFrame", [] { BxAnimation().InsertFrame(0, nullptr, false); }, kBxErrMissing},
    // Colour tables and remapping.
    {"CompactionMapTooShort", [] { BxColorTable(2).Compacted(shortMap); }, kBxErrMissing},
    {"NearestWithoutEntries", [] { BxColorTable().Nearest(0); }, kBxErrMissing},
    {"NearestOtherOfTheOnlyEntry", [] { BxColorTable(1).NearestOther(0); }, kBxErrMissing},
    {"NearestOtherPastTheEnd", [] { BxColorTable().NearestOther(0); }, kBxErrBadArgument},
    {"TableTooLarge", [] { BxColorTable(BxColorTable::kMaxColors + 1); }, kBxErrNoMemory},
    {"ResizeTooLarge", [] { BxColorTable(1).Resize(BxColorTable::kMaxColors + 1); },
     kBxErrNoMemory},
    {"RemapWithoutASource", [] { BxQuantRemap().Run(); }, kBxErrMissing},
    // Buffers and lists.
    {"CheckAnEmptyBuffer", [] { BxBuffer().CheckAllocated(); }, kBxErrMissing},
    {"ListIndexPastTheEnd", [] { BxList().NodeAt(0); }, kBxErrMissing},
};

INSTANTIATE_TEST_SUITE_P(Refused, Misuse, testing::ValuesIn(kMisuse), CaseName<MisuseCase>);

// A file written through its path, and cut to length; a name with a backslash must not lead the
// cut to another file.
TEST(BxFileWriting, WritesAndCutsItsOwnFile) {
    TempDir dir;
    const std::string own = (dir / "name\\other.gif").string();
    WriteBytes(dir / "other.gif", Bytes(10, 8));
    WriteBytes(own, Bytes(50, 7));
    BxFile file;
    file.SetPath(own.c_str());
    file.Open(BxFile::kWritable);
    file.WriteWord(0x0201);
    file.Write("\x03\x04\x05", 3);
    file.Close();
    file.Open(BxFile::kReadable | BxFile::kWritable);
    file.SetLength(4);
    EXPECT_EQ(file.GetLength(), 4);
    file.Close();
    EXPECT_EQ(ReadBytes(own), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(ReadBytes(dir / "other.gif"), Bytes(10, 8));
}

// Random inserts, removals and lookups against a vector of the same items.
TEST(BxListOrder, AgreesWithAVector) {
    std::vector<int> items(64);
    std::vector<void*> model;
    BxList list;
    std::mt19937 random(5);
    for (int step = 0; step < 2000; ++step) {
        const std::size_t at = random() % (model.size() + 1);
        void* item = &items[random() % items.size()];
        const auto position = model.begin() + static_cast<std::ptrdiff_t>(at);
        if (random() % 3 == 0 && at < model.size()) {
            list.RemoveAt(at);
            model.erase(position);
        } else {
            list.InsertAt(at, item);
            model.insert(position, item);
        }
        const std::size_t look = model.empty() ? 0 : random() % model.size();
        ASSERT_EQ(model.empty() ? nullptr : list.ItemAt(look),
                  model.empty() ? nullptr : model[look]);
    }
    std::vector<void*> forwards;
    for (auto* node = list.Head(); node; node = node->next) {
        forwards.push_back(node->item);
    }
    EXPECT_EQ(forwards, model);
}

// The byte helpers run front to back, so an overlapping copy repeats its leading bytes.
TEST(BxBytes, CopyFillCompare) {
    Bytes a = {1, 2, 3, 4, 5};
    BxCopyBytes(a.data() + 1, a.data(), 4);
    EXPECT_EQ(a, Bytes({1, 1, 1, 1, 1}));
    BxFillBytes(a.data() + 3, 0x80, 2);
    EXPECT_EQ(a, Bytes({1, 1, 1, 0x80, 0x80}));
    const Bytes b = {1, 1, 1, 0x7F, 0};
    EXPECT_EQ(BxCompareBytes(a.data(), b.data(), 5), 1);  // as unsigned bytes
    EXPECT_EQ(BxCompareBytes(b.data(), a.data(), 5), -1);
    EXPECT_EQ(BxCompareBytes(a.data(), b.data(), 3), 0);
}

}  // namespace
}  // namespace quillon::test::bx
