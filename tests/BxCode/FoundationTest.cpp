// The image library's foundation: the error record, the byte file, the buffer, the list and the
// byte-block helpers.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "BxCode/BxBuffer.h"
#include "BxCode/BxBytes.h"
#include "BxCode/BxErrorCode.h"
#include "BxCode/BxFile.h"
#include "BxCode/BxList.h"
#include "BxTestSupport.h"
#include "Corpus.h"
#include "TempDir.h"

namespace quillon::test::bx {
namespace {

// ---- BxErrorCode ----------------------------------------------------------------------------

TEST(BxErrorCodeExamples, KeepsAllFourFields) {
    const BxErrorCode error(28, 5, "BxCode/BxGIFFile", 321);
    EXPECT_EQ(error.Code(), 28);
    EXPECT_EQ(error.Detail(), 5);
    EXPECT_EQ(error.File(), "BxCode/BxGIFFile");
    EXPECT_EQ(error.Line(), 321);
    const BxErrorCode copy = error;
    EXPECT_EQ(copy.File(), "BxCode/BxGIFFile");
    EXPECT_EQ(copy.Line(), 321);
}

TEST(BxErrorCodeEdgeCases, LongModuleNameKeepsItsFirst255Characters) {
    const std::string name(300, 'm');
    const BxErrorCode error(1, 0, (name.substr(0, 254) + "xyz").c_str(), 1);
    EXPECT_EQ(error.File().size(), 255u);
    EXPECT_EQ(error.File(), name.substr(0, 254) + "x");
}

TEST(BxErrorCodeEdgeCases, NullModuleNameIsEmpty) {
    const BxErrorCode error(1, 0, nullptr, 1);
    EXPECT_EQ(error.File(), "");
}

struct ModuleNameCase {
    const char* path;
    const char* module;
};

TEST(BxErrorCodeExamples, ModuleNamesComeFromTheSourcePath) {
    const ModuleNameCase cases[] = {
        {"/work/main/src/BxCode/BxGIFFile.cpp", "BxCode/BxGIFFile"},
        {"src/BxCode/BxFile.h", "BxCode/BxFile"},
        {"BxCode/BxList.cpp", "BxCode/BxList"},
        {"/elsewhere/Other.cpp", "Other"},
        {"NoExtension", "NoExtension"},
    };
    for (const ModuleNameCase& c : cases) {
        EXPECT_EQ(BxModuleName(c.path), c.module) << c.path;
    }
}

TEST(BxErrorCodeExamples, RaiseRecordsTheRaisingModuleAndLine) {
    BxFile file;
    try {
        file.Close();
        FAIL() << "Close of a closed file returned";
    } catch (const BxErrorCode& error) {
        EXPECT_EQ(error.Code(), kBxErrNotOpen);
        EXPECT_EQ(error.File(), "BxCode/BxFile");
        EXPECT_GT(error.Line(), 0);
        EXPECT_EQ(error.Detail(), 0);
    }
}

// ---- BxFile -----------------------------------------------------------------------------------

TEST(BxFileExamples, CountingModeTouchesNoDisk) {
    BxFile file;
    file.Open(BxFile::kWritable | BxFile::kCounting);
    const std::uint8_t bytes[10] = {};
    file.Write(bytes, sizeof bytes);
    EXPECT_EQ(file.GetLength(), 10);
    file.WriteWord(7);
    EXPECT_EQ(file.GetLength(), 12);
    file.SetLength(3);
    EXPECT_EQ(file.GetLength(), 3);
    file.Close();
}

TEST(BxFileExamples, ShortReadAtTheEndThenEndOfFile) {
    const int descriptor = MemoryDescriptor({1, 2, 3, 4, 5, 6});
    BxFile file;
    file.Open(BxFile::kReadable, true, descriptor);
    file.Seek(4, BxFile::kFromStart);
    std::uint8_t buffer[4] = {9, 9, 9, 9};
    EXPECT_EQ(file.Read(buffer, 4), 2u);
    EXPECT_EQ(buffer[0], 5);
    EXPECT_EQ(buffer[1], 6);
    EXPECT_EQ(buffer[2], 9);
    EXPECT_BX_ERROR(file.Read(buffer, 4), kBxErrEndOfFile);
    EXPECT_BX_ERROR(file.ReadByte(), kBxErrEndOfFile);
}

TEST(BxFileExamples, WordsAreLittleEndian) {
    const int descriptor = MemoryDescriptor({0x34, 0x12});
    BxFile in;
    in.Open(BxFile::kReadable, true, descriptor);
    EXPECT_EQ(in.ReadWord(), 0x1234);

    const int outDescriptor = MemoryDescriptor({});
    BxFile out;
    out.Open(BxFile::kWritable, false, outDescriptor);
    out.WriteWord(0x1234);
    out.WriteByte(0xAB);
    out.Close();
    EXPECT_EQ(DescriptorBytes(outDescriptor), Bytes({0x34, 0x12, 0xAB}));
    ::close(outDescriptor);
}

TEST(BxFileEdgeCases, WordCutByTheEndRaisesEndOfFile) {
    BxFile file;
    file.Open(BxFile::kReadable, true, MemoryDescriptor({0x34}));
    EXPECT_BX_ERROR(file.ReadWord(), kBxErrEndOfFile);
}

TEST(BxFileEdgeCases, ReadOfNothingDoesNothing) {
    BxFile file;
    file.Open(BxFile::kReadable, true, MemoryDescriptor({}));
    EXPECT_EQ(file.Read(nullptr, 0), 0u);
    EXPECT_BX_ERROR(file.ReadByte(), kBxErrEndOfFile);
}

struct MisuseCase {
    std::string name;
    std::function<void()> action;
    std::int32_t expected;
};

void PrintTo(const MisuseCase& c, std::ostream* out) {
    *out << c.name;
}

class BxFileMisuse : public testing::TestWithParam<MisuseCase> {};

TEST_P(BxFileMisuse, RaisesItsCode) {
    EXPECT_EQ(ErrorOf(GetParam().action), GetParam().expected);
}

const MisuseCase kMisuse[] = {
    {"OpenWithoutPathOrDescriptor", [] { BxFile().Open(BxFile::kReadable); }, kBxErrNoPath},
    {"OpenTwice",
     [] {
         BxFile file;
         file.Open(BxFile::kReadable, true, MemoryDescriptor({1}));
         file.Open(BxFile::kReadable, true, MemoryDescriptor({1}));
     },
     kBxErrAlreadyOpen},
    {"OpenWithModeFive",
     [] {
         BxFile file;
         file.SetPath("/nonexistent/file.gif");
         file.Open(5);
     },
     kBxErrBadMode},
    {"OpenMissingFile",
     [] {
         BxFile file;
         file.SetPath("/nonexistent-folder-for-bx-tests/file.gif");
         file.Open(BxFile::kReadable);
     },
     kBxErrOpenNotFound},
    {"ReadFromWriteOnly",
     [] {
         BxFile file;
         file.Open(BxFile::kWritable | BxFile::kCounting);
         file.ReadByte();
     },
     kBxErrAccess},
    {"WriteToReadOnly",
     [] {
         BxFile file;
         file.Open(BxFile::kReadable, true, MemoryDescriptor({1}));
         file.WriteByte(1);
     },
     kBxErrAccess},
    {"ReadWhenClosed", [] { BxFile().ReadByte(); }, kBxErrNotOpen},
    {"WriteWhenClosed", [] { BxFile().WriteByte(0); }, kBxErrNotOpen},
    {"CloseWhenClosed", [] { BxFile().Close(); }, kBxErrNotOpen},
    {"TellWhenClosed", [] { BxFile().Tell(); }, kBxErrNotOpen},
    {"LengthWhenClosed", [] { BxFile().GetLength(); }, kBxErrNotOpen},
    {"SeekWhenClosedIsABadDescriptor", [] { BxFile().Seek(0, BxFile::kFromStart); },
     kBxErrBadDescriptor},
    {"SeekOriginThree",
     [] {
         BxFile file;
         file.Open(BxFile::kReadable, true, MemoryDescriptor({1}));
         file.Seek(0, 3);
     },
     kBxErrBadArgument},
    {"SeekBeforeTheStart",
     [] {
         BxFile file;
         file.Open(BxFile::kReadable, true, MemoryDescriptor({1}));
         file.Seek(-5, BxFile::kFromStart);
     },
     kBxErrBadArgument},
};

INSTANTIATE_TEST_SUITE_P(EdgeCases, BxFileMisuse, testing::ValuesIn(kMisuse),
                         [](const testing::TestParamInfo<MisuseCase>& param) {
                             return param.param.name;
                         });

TEST(BxFileExamples, SystemErrorsMapToCodes) {
    const std::pair<int, std::int32_t> outside[] = {
        {ENOENT, 8},  {E2BIG, 21},  {EBADF, 20}, {EAGAIN, 9},  {ENOMEM, 2},
        {EACCES, 5},  {EEXIST, 31}, {EXDEV, 17}, {EINVAL, 21}, {EMFILE, 9},
        {ENOSPC, 22}, {ERANGE, 29}, {EIO, 1},
    };
    for (const auto& [error, code] : outside) {
        EXPECT_EQ(BxFileErrorFor(error), code) << error;
    }
    const std::pair<int, std::int32_t> opening[] = {
        {ENOENT, 10}, {EACCES, 14}, {EEXIST, 12}, {EINVAL, 12}, {EMFILE, 9}, {EIO, 1},
    };
    for (const auto& [error, code] : opening) {
        EXPECT_EQ(BxFileOpenErrorFor(error), code) << error;
    }
}

TEST(BxFileExamples, OpenErrorCarriesTheSystemNumber) {
    BxFile file;
    file.SetPath("/nonexistent-folder-for-bx-tests/file.gif");
    try {
        file.Open(BxFile::kReadable);
        FAIL();
    } catch (const BxErrorCode& error) {
        EXPECT_EQ(error.Code(), kBxErrOpenNotFound);
        EXPECT_EQ(error.Detail(), ENOENT);
    }
}

TEST(BxFileExamples, SeeksAndReadsAcrossTheReadAhead) {
    Bytes bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    BxFile file;
    file.Open(BxFile::kReadable, true, MemoryDescriptor(bytes));
    EXPECT_EQ(file.GetLength(), 70000);
    const std::int64_t positions[] = {0, 1, 100, 16383, 16384, 16385, 5, 40000, 39999, 69999};
    for (std::int64_t at : positions) {
        file.Seek(at, BxFile::kFromStart);
        EXPECT_EQ(file.Tell(), at);
        EXPECT_EQ(file.ReadByte(), bytes[static_cast<std::size_t>(at)]) << at;
        EXPECT_EQ(file.Tell(), at + 1);
    }
    file.Seek(10, BxFile::kFromStart);
    file.Seek(-4, BxFile::kFromCurrent);
    EXPECT_EQ(file.ReadByte(), bytes[6]);
    file.Seek(20000, BxFile::kFromCurrent);
    EXPECT_EQ(file.Tell(), 20007);
    EXPECT_EQ(file.ReadByte(), bytes[20007]);
    file.Seek(-2, BxFile::kFromEnd);
    EXPECT_EQ(file.ReadByte(), bytes[69998]);
    Bytes all(70000);
    file.Seek(0, BxFile::kFromStart);
    std::size_t done = 0;
    while (done < all.size()) {
        done += file.Read(all.data() + done, all.size() - done);
    }
    EXPECT_EQ(all, bytes);
}

TEST(BxFileExamples, AdoptedDescriptorThatIsNotOwnedStaysOpen) {
    const int descriptor = MemoryDescriptor({1, 2, 3});
    {
        BxFile file;
        file.Open(BxFile::kReadable, false, descriptor);
        EXPECT_EQ(file.ReadByte(), 1);
        file.Close();
    }
    EXPECT_EQ(::lseek(descriptor, 0, SEEK_CUR), 1);  // where the reading got to
    ::close(descriptor);
}

TEST(BxFileExamples, WritesCreateAndTruncateThePath) {
    TempDir dir;
    const std::string path = (dir / "out.bin").string();
    WriteBytes(path, Bytes(50, 1));
    BxFile file;
    file.SetPath(path.c_str());
    file.Open(BxFile::kWritable);
    file.Write("abc", 3);
    EXPECT_EQ(file.GetLength(), 3);
    file.Close();
    EXPECT_EQ(ReadBytes(path), Text("abc"));
}

// A name with a backslash in it must not lead SetLength to another file.
TEST(BxFileEdgeCases, SetLengthActsOnTheFilesOwnPath) {
    TempDir dir;
    const std::string own = (dir / "name\\other.gif").string();
    const std::string other = (dir / "other.gif").string();
    WriteBytes(own, Bytes(10, 7));
    WriteBytes(other, Bytes(10, 8));
    BxFile file;
    file.SetPath(own.c_str());
    file.Open(BxFile::kReadable | BxFile::kWritable);
    file.SetLength(4);
    EXPECT_EQ(file.GetLength(), 4);
    file.Close();
    EXPECT_EQ(ReadBytes(own), Bytes(4, 7));
    EXPECT_EQ(ReadBytes(other), Bytes(10, 8));
}

TEST(BxFileEdgeCases, SetLengthWithoutAPathLeavesTheFileAlone) {
    const int descriptor = MemoryDescriptor({1, 2, 3});
    BxFile file;
    file.Open(BxFile::kReadable | BxFile::kWritable, false, descriptor);
    file.SetLength(0);
    EXPECT_EQ(file.GetLength(), 3);
    file.Close();
    ::close(descriptor);
}

// ---- BxFileLocator ----------------------------------------------------------------------------

TEST(BxFileLocatorExamples, HoldsAPathOnceSet) {
    BxFileLocator locator;
    EXPECT_EQ(locator.Kind(), BxFileLocator::kNoPath);
    locator.SetPath("/a/b.gif");
    EXPECT_EQ(locator.Kind(), BxFileLocator::kPath);
    BxFileLocator copy;
    copy.CopyFrom(locator);
    EXPECT_EQ(copy.Kind(), BxFileLocator::kPath);
    EXPECT_EQ(copy.CopyPath(), "/a/b.gif");
    locator.SetPath("/c.gif");
    EXPECT_EQ(copy.Path(), "/a/b.gif");
}

// ---- BxBuffer ---------------------------------------------------------------------------------

TEST(BxBufferEdgeCases, SizeZeroStillHoldsOneByte) {
    BxBuffer buffer;
    buffer.SetSize(0);
    EXPECT_TRUE(buffer.IsAllocated());
    EXPECT_NE(buffer.Address(), nullptr);
    EXPECT_EQ(buffer.Size(), 0u);
    buffer.Address()[0] = 5;  // the byte is there to be written
    buffer.Release();
    EXPECT_FALSE(buffer.IsAllocated());
}

TEST(BxBufferEdgeCases, EmptyBufferRefusesUse) {
    BxBuffer buffer;
    EXPECT_BX_ERROR(buffer.CheckAllocated(), kBxErrMissing);
    EXPECT_BX_ERROR(buffer.CheckLocked(), kBxErrMissing);
    EXPECT_BX_ERROR(buffer.Free(), kBxErrMissing);
    EXPECT_BX_ERROR(buffer.Lock(), kBxErrMissing);
    EXPECT_BX_ERROR(buffer.Unlock(), kBxErrMissing);
}

TEST(BxBufferExamples, LocksNest) {
    BxBuffer buffer;
    buffer.SetSize(16);
    std::uint8_t* first = buffer.Lock();
    EXPECT_EQ(buffer.Lock(), first);
    buffer.Unlock();
    EXPECT_EQ(buffer.LockCount(), 1);
    buffer.CheckLocked();
    buffer.Unlock();
    EXPECT_EQ(buffer.LockCount(), 0);
}

TEST(BxBufferExamples, AllocationIsZeroed) {
    BxBuffer buffer;
    buffer.SetSize(64);
    for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(buffer.Address()[i], 0);
    }
}

TEST(BxBufferExamples, CloneIsANewEmptyBuffer) {
    BxBuffer buffer;
    buffer.SetSize(8);
    const auto clone = buffer.Clone();
    EXPECT_NE(dynamic_cast<BxBuffer*>(clone.get()), nullptr);
    EXPECT_FALSE(clone->IsAllocated());
}

class BareBuffer : public BxBaseBuffer {};

TEST(BxBufferEdgeCases, TheBaseImplementsNothing) {
    BareBuffer buffer;
    EXPECT_BX_ERROR(buffer.Clone(), kBxErrNotImplemented);
    EXPECT_BX_ERROR(buffer.Allocate(1), kBxErrNotImplemented);
    EXPECT_BX_ERROR(buffer.Free(), kBxErrNotImplemented);
    EXPECT_BX_ERROR(buffer.CheckAllocated(), kBxErrNotImplemented);
}

// ---- BxList -----------------------------------------------------------------------------------

std::vector<int> Items(const BxList& list) {
    std::vector<int> items;
    for (const BxList::Node* node = list.Head(); node; node = node->next) {
        items.push_back(*static_cast<int*>(node->item));
    }
    std::vector<int> backwards;
    for (const BxList::Node* node = list.Tail(); node; node = node->previous) {
        backwards.insert(backwards.begin(), *static_cast<int*>(node->item));
    }
    EXPECT_EQ(items, backwards) << "links disagree";
    return items;
}

TEST(BxListEdgeCases, InsertAtZeroIntoEmptyMakesHeadAndTail) {
    int a = 1;
    BxList list;
    BxList::Node* node = list.InsertAt(0, &a);
    EXPECT_EQ(list.Head(), node);
    EXPECT_EQ(list.Tail(), node);
    EXPECT_EQ(list.Count(), 1u);
    list.RemoveAt(0);
    EXPECT_EQ(list.Head(), nullptr);
    EXPECT_EQ(list.Tail(), nullptr);
    EXPECT_EQ(list.Count(), 0u);
}

TEST(BxListExamples, InsertsRemovesAndIndexes) {
    int v[6] = {0, 1, 2, 3, 4, 5};
    BxList list;
    list.Append(&v[1]);
    list.Append(&v[3]);
    list.InsertAt(0, &v[0]);
    list.InsertAt(2, &v[2]);
    list.InsertAfter(list.Tail(), &v[5]);
    list.InsertBefore(list.Tail(), &v[4]);
    EXPECT_EQ(Items(list), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list.ItemAt(static_cast<std::size_t>(i)), &v[i]);
    }
    list.RemoveAt(5);
    list.RemoveAt(0);
    list.RemoveAt(1);
    EXPECT_EQ(Items(list), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(list.ItemAt(2), &v[4]);
    list.InsertBefore(list.Head(), &v[5]);
    EXPECT_EQ(list.ItemAt(0), &v[5]);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Head(), nullptr);
}

TEST(BxListEdgeCases, IndexPastTheEndRaisesMissing) {
    int a = 1;
    BxList list;
    EXPECT_BX_ERROR(list.NodeAt(0), kBxErrMissing);
    list.Append(&a);
    EXPECT_BX_ERROR(list.ItemAt(1), kBxErrMissing);
    EXPECT_BX_ERROR(list.InsertAt(2, &a), kBxErrMissing);
    EXPECT_BX_ERROR(list.RemoveAt(1), kBxErrMissing);
    EXPECT_EQ(list.Count(), 1u);
}

TEST(BxListExamples, WalkingInOrderAfterChangesSeesTheChanges) {
    std::vector<int> v(100);
    BxList list;
    for (int i = 0; i < 100; ++i) {
        v[static_cast<std::size_t>(i)] = i;
        list.Append(&v[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(list.ItemAt(50), &v[50]);
    list.RemoveAt(10);
    EXPECT_EQ(list.ItemAt(50), &v[51]);
    list.InsertAt(0, &v[99]);
    for (std::size_t i = 1; i < 10; ++i) {
        EXPECT_EQ(list.ItemAt(i), &v[i - 1]);
    }
    EXPECT_EQ(list.ItemAt(10), &v[9]);
    EXPECT_EQ(list.ItemAt(11), &v[11]);
}

// ---- byte helpers -----------------------------------------------------------------------------

TEST(BxBytesExamples, CopyFillCompare) {
    std::uint8_t a[6] = {1, 2, 3, 4, 5, 6};
    std::uint8_t b[6] = {};
    BxCopyBytes(b, a, 6);
    EXPECT_EQ(BxCompareBytes(a, b, 6), 0);
    BxFillBytes(b, 9, 3);
    EXPECT_EQ(b[2], 9);
    EXPECT_EQ(b[3], 4);
    EXPECT_EQ(BxCompareBytes(a, b, 6), 1 - 9);
    EXPECT_EQ(BxCompareBytes(b, a, 6), 9 - 1);
    EXPECT_EQ(BxCompareBytes(a, b, 0), 0);
}

TEST(BxBytesEdgeCases, OverlappingCopyRunsFrontToBack) {
    std::uint8_t a[5] = {1, 2, 3, 4, 5};
    BxCopyBytes(a + 1, a, 4);
    EXPECT_EQ(Bytes(a, a + 5), Bytes({1, 1, 1, 1, 1}));
}

TEST(BxBytesEdgeCases, CompareTreatsBytesAsUnsigned) {
    const std::uint8_t a[1] = {0x80};
    const std::uint8_t b[1] = {0x7F};
    EXPECT_EQ(BxCompareBytes(a, b, 1), 1);
}

}  // namespace
}  // namespace quillon::test::bx
