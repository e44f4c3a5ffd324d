// IO objects through libkvx.so: files by 8-bit and UTF-16 path, the routine order of the
// object, end of file, get-info ids, adopted objects, redirection to a test object that
// refuses bytes after N, read-only memory, writes held in the object until another call
// or the close, and opening regular files only.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "filters/framework/tests/framework_fixture.h"

namespace kvx::test {
namespace {

using IoTest = FrameworkTest;

// A test object that takes at most limit bytes in all and then refuses.
struct Refusing {
  KVXIO io;
  uint32_t limit;
  std::string got;
  static Refusing* self(KVXIO* io) { return reinterpret_cast<Refusing*>(io); }
  static KVXSTATUS close(KVXIO*) { return KVX_OK; }
  static KVXSTATUS read(KVXIO*, void*, uint32_t, uint32_t* n) { return *n = 0, KVXIO_EOF; }
  static KVXSTATUS write(KVXIO* io, const void* b, uint32_t count, uint32_t* written) {
    Refusing* r = self(io);
    uint32_t room = r->limit - uint32_t(r->got.size());
    uint32_t n = count < room ? count : room;
    r->got.append(static_cast<const char*>(b), n);
    *written = n;
    return n == count ? KVX_OK : KVXERR_SHORTWRITE;
  }
  static KVXSTATUS seek(KVXIO*, uint32_t, int32_t) { return KVX_OK; }
  static KVXSTATUS tell(KVXIO* io, uint32_t* at) { return *at = uint32_t(self(io)->got.size()), KVX_OK; }
  static KVXSTATUS info(KVXIO*, uint32_t, void*) { return KVXERR_UNSUPPORTED; }
  explicit Refusing(uint32_t n) : io{close, read, write, seek, tell, info}, limit(n) {}
};

TEST_F(IoTest, FileRoutinesInOrder) {
  std::string path = dir_ / "f.bin";
  KVXIO* io = nullptr;
  ASSERT_EQ(IOCreate(&io, KVXSPEC_PATH, path.c_str(), KVXIO_CREATE), KVX_OK);
  // The routines in their documented order: close, read, write, seek, tell, get info.
  auto** slots = reinterpret_cast<void**>(io);
  EXPECT_EQ(slots[0], reinterpret_cast<void*>(io->Close));
  EXPECT_EQ(slots[5], reinterpret_cast<void*>(io->GetInfo));
  uint32_t n = 0;
  EXPECT_EQ(io->Write(io, "hello world", 11, &n), KVX_OK);
  EXPECT_EQ(n, 11u);
  uint32_t at = 0;
  EXPECT_EQ(io->Tell(io, &at), KVX_OK);
  EXPECT_EQ(at, 11u);
  EXPECT_EQ(io->Seek(io, KVXIO_SEEK_SET, 6), KVX_OK);
  char buf[16] = {};
  EXPECT_EQ(io->Read(io, buf, 16, &n), KVX_OK);
  EXPECT_EQ(std::string(buf, n), "world");
  EXPECT_EQ(io->Read(io, buf, 16, &n), KVXIO_EOF);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(io->Seek(io, KVXIO_SEEK_END, -5), KVX_OK);
  EXPECT_EQ(io->Tell(io, &at), KVX_OK);
  EXPECT_EQ(at, 6u);
  EXPECT_EQ(io->Seek(io, KVXIO_SEEK_CUR, -100), KVXERR_BADPARAM);
  EXPECT_EQ(io->Seek(io, 7, 0), KVXERR_BADPARAM);
  uint32_t size = 0, spec = 0;
  EXPECT_EQ(io->GetInfo(io, KVXIOINFO_SIZE, &size), KVX_OK);
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(io->GetInfo(io, KVXIOINFO_SPECTYPE, &spec), KVX_OK);
  EXPECT_EQ(spec, 2u);
  std::vector<char> name(KVXIO_NAMEMAX);
  EXPECT_EQ(io->GetInfo(io, KVXIOINFO_FILENAME, name.data()), KVX_OK);
  EXPECT_EQ(std::string(name.data()), path);
  EXPECT_EQ(io->GetInfo(io, KVXIOINFO_RELATIVESPEC, name.data()), KVX_OK);
  EXPECT_EQ(std::string(name.data()), "f.bin");
  EXPECT_EQ(io->GetInfo(io, 99, name.data()), KVXERR_UNSUPPORTED);
  EXPECT_EQ(io->Close(io), KVX_OK);
  EXPECT_EQ(qm::test::read_file(path), "hello world");
  // Opening for reading refuses writes.
  ASSERT_EQ(IOOpen(&io, KVXSPEC_PATH, path.c_str(), 0), KVX_OK);
  EXPECT_EQ(io->Write(io, "x", 1, &n), KVXERR_SHORTWRITE);
  EXPECT_EQ(io->Close(io), KVX_OK);
}

// Writes collect in the object: small and large ones reach the file in their order, a
// seek back and a write over bytes still held, and a write the device refuses fails the
// close.
TEST_F(IoTest, HeldWritesReachTheFileInOrderAndAFailedOneFailsTheClose) {
  std::string path = dir_ / "held.bin";
  KVXIO* io = nullptr;
  ASSERT_EQ(IOCreate(&io, KVXSPEC_PATH, path.c_str(), KVXIO_CREATE), KVX_OK);
  std::string big(100000, 'b'), want;
  uint32_t n = 0;
  for (const std::string& piece : {std::string("ab"), big, std::string("cd"), std::string(70000, 'e'), std::string("f")}) {
    EXPECT_EQ(io->Write(io, piece.data(), uint32_t(piece.size()), &n), KVX_OK);
    EXPECT_EQ(n, piece.size());
    want += piece;
  }
  EXPECT_EQ(io->Seek(io, KVXIO_SEEK_SET, 1), KVX_OK);
  EXPECT_EQ(io->Write(io, "XY", 2, &n), KVX_OK);
  want.replace(1, 2, "XY");
  uint32_t size = 0;
  EXPECT_EQ(io->GetInfo(io, KVXIOINFO_SIZE, &size), KVX_OK);
  EXPECT_EQ(size, want.size());
  EXPECT_EQ(io->Close(io), KVX_OK);
  EXPECT_EQ(qm::test::read_file(path), want);

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(IOCreate(&io, KVXSPEC_PATH, "/dev/full", KVXIO_CREATE), KVX_OK);
  EXPECT_EQ(io->Write(io, "x", 1, &n), KVX_OK);  // held
  EXPECT_EQ(io->Close(io), KVXERR_SHORTWRITE);
}

TEST_F(IoTest, WidePathsAreWrittenAsUtf8AndReportedAsUtf16) {
  std::vector<uint16_t> w;
  for (char c : dir_.path()) w.push_back(uint8_t(c));
  for (uint16_t u : {0x4E2D, 0x6587, 0x2E, 0x74, 0}) w.push_back(u);
  KVXIO* io = nullptr;
  ASSERT_EQ(IOCreate(&io, KVXSPEC_WIDEPATH, w.data(), KVXIO_CREATE_READWRITE), KVX_OK);
  std::vector<uint16_t> name(KVXIO_NAMEMAX);
  ASSERT_EQ(io->GetInfo(io, KVXIOINFO_RELATIVESPEC, name.data()), KVX_OK);
  EXPECT_EQ(UTwstrcmp(name.data(), w.data() + dir_.path().size()), 0);
  ASSERT_EQ(io->Close(io), KVX_OK);
  EXPECT_EQ(qm::test::read_file(dir_ / "\xE4\xB8\xAD\xE6\x96\x87.t"), "");  // 中文.t exists
  const uint16_t lone[] = {'/', 't', 'm', 'p', '/', 0xD800, 0};
  EXPECT_EQ(IOCreate(&io, KVXSPEC_WIDEPATH, lone, 2), KVXERR_CREATEFAILED);
  EXPECT_EQ(io, nullptr);
}

TEST_F(IoTest, OpenAndCreateFailures) {
  KVXIO* io = nullptr;
  EXPECT_EQ(IOOpen(&io, KVXSPEC_PATH, (dir_ / "none").c_str(), 0), KVXERR_OPENFAILED);
  EXPECT_EQ(IOCreate(&io, KVXSPEC_PATH, (dir_ / "no/such/dir").c_str(), 2), KVXERR_CREATEFAILED);
  EXPECT_EQ(IOCreate(&io, KVXSPEC_PATH, dir_.dir().c_str(), 2), KVXERR_CREATEFAILED);  // a directory
  EXPECT_EQ(IOOpen(&io, KVXSPEC_PATH, "", 0), KVXERR_OPENFAILED);
  EXPECT_EQ(IOOpen(&io, 77, "x", 0), KVXERR_BADPARAM);
  EXPECT_EQ(IOOpen(nullptr, KVXSPEC_PATH, "x", 0), KVXERR_BADPARAM);
  EXPECT_EQ(IOOpen(&io, KVXSPEC_PATH, nullptr, 0), KVXERR_BADPARAM);
}

// KVXIO_OPEN_REGULAR: a path must name a regular file; a device or a FIFO is refused
// without a read and without waiting for a writer, and the file opened reads as usual.
TEST_F(IoTest, OpenRegularRefusesDevicesAndFifosWithoutWaiting) {
  std::string fifo = dir_ / "fifo", plain = dir_ / "plain";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  qm::test::write_file(plain, "abc");
  KVXIO* io = nullptr;
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null"), dir_.dir()})
    EXPECT_EQ(IOOpen(&io, KVXSPEC_PATH, path.c_str(), KVXIO_OPEN_REGULAR), KVXERR_OPENFAILED) << path;
  ASSERT_EQ(IOOpen(&io, KVXSPEC_PATH, plain.c_str(), KVXIO_OPEN_REGULAR), KVX_OK);
  char buf[8] = {};
  uint32_t got = 0;
  EXPECT_EQ(io->Read(io, buf, sizeof buf, &got), KVX_OK);
  EXPECT_EQ(std::string(buf, got), "abc");
  EXPECT_EQ(io->Close(io), KVX_OK);
  // Without the flag a device still opens, as documents may ask for.
  ASSERT_EQ(IOOpen(&io, KVXSPEC_PATH, "/dev/null", 0), KVX_OK);
  EXPECT_EQ(io->Close(io), KVX_OK);
}

TEST_F(IoTest, AdoptedObjectIsSharedUntilEachHolderClosesIt) {
  KVXIO* io = nullptr;
  ASSERT_EQ(IOCreate(&io, KVXSPEC_PATH, (dir_ / "a").c_str(), 2), KVX_OK);
  KVXIO* adopted = nullptr;
  ASSERT_EQ(IOCreate(&adopted, KVXSPEC_IOOBJECT, io, 3), KVX_OK);
  EXPECT_EQ(adopted, io);
  uint32_t n = 0;
  EXPECT_EQ(adopted->Write(adopted, "ab", 2, &n), KVX_OK);
  EXPECT_EQ(adopted->Close(adopted), KVX_OK);
  EXPECT_EQ(KVXLiveHandleCount(), 1u);  // still open for its first holder
  EXPECT_EQ(io->Write(io, "c", 1, &n), KVX_OK);
  EXPECT_EQ(io->Close(io), KVX_OK);
  EXPECT_EQ(KVXLiveHandleCount(), 0u);
  EXPECT_EQ(qm::test::read_file(dir_ / "a"), "abc");
}

TEST_F(IoTest, RedirectionToAnObjectThatRefusesBytesAfterN) {
  Refusing target(5);
  KVXREDIRECTSPEC spec = {KVXREDIRECT_MAGIC, &target.io};
  KVXIO* io = nullptr;
  ASSERT_EQ(IOCreate(&io, KVXSPEC_REDIRECT, &spec, 2), KVX_OK);
  uint32_t n = 0;
  EXPECT_EQ(io->Write(io, "abc", 3, &n), KVX_OK);
  EXPECT_EQ(io->Write(io, "defg", 4, &n), KVXERR_SHORTWRITE);
  EXPECT_EQ(n, 2u);
  uint32_t spec_type = 0;
  EXPECT_EQ(io->GetInfo(io, KVXIOINFO_SPECTYPE, &spec_type), KVX_OK);
  EXPECT_EQ(spec_type, 21u);
  EXPECT_EQ(io->Close(io), KVX_OK);  // the target is not closed with it
  EXPECT_EQ(target.got, "abcde");
  spec.Magic = 0;
  EXPECT_EQ(IOOpen(&io, KVXSPEC_REDIRECT, &spec, 0), KVXERR_BADPARAM);
}

TEST_F(IoTest, MemoryIsReadOnlyAndCopied) {
  std::string text = "template text";
  KVXMEMORYSPEC spec = {sizeof(KVXMEMORYSPEC), text.data(), uint32_t(text.size())};
  KVXIO* io = nullptr;
  ASSERT_EQ(IOOpen(&io, KVXSPEC_MEMORY, &spec, 0), KVX_OK);
  text[0] = 'X';  // the object holds its own copy
  char buf[32];
  uint32_t n = 0;
  EXPECT_EQ(io->Read(io, buf, sizeof buf, &n), KVX_OK);
  EXPECT_EQ(std::string(buf, n), "template text");
  EXPECT_EQ(io->Write(io, "x", 1, &n), KVXERR_UNSUPPORTED);
  EXPECT_EQ(io->GetInfo(io, KVXIOINFO_FILENAME, buf), KVXERR_UNSUPPORTED);
  EXPECT_EQ(io->Close(io), KVX_OK);
  EXPECT_EQ(IOCreate(&io, KVXSPEC_MEMORY, &spec, 2), KVXERR_UNSUPPORTED);
  spec.Size = 12;
  EXPECT_EQ(IOOpen(&io, KVXSPEC_MEMORY, &spec, 0), KVXERR_BADPARAM);
}

}  // namespace
}  // namespace kvx::test
