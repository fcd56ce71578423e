// The SHA-256 that production records keep of images and configuration files:
// the published test vectors, input given in pieces of every size, and files.

#include <gmock/gmock.h>

#include <string>

#include "base/Sha256.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

TEST(Sha256, GivesThePublishedDigests) {
  EXPECT_EQ(Sha256::OfBytes(""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256::OfBytes("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block's end.
  EXPECT_EQ(Sha256::OfBytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256::OfBytes(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, DoesNotDependOnHowTheBytesArriveInPieces) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>(i * 37));
  const std::string whole = Sha256::OfBytes(bytes);
  for (std::size_t piece : {1u, 7u, 63u, 64u, 65u, 999u}) {
    Sha256 hash;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
      hash.Update(std::string_view(bytes).substr(at, piece));
    EXPECT_EQ(hash.FinalHex(), whole) << "pieces of " << piece;
  }
}

TEST(Sha256, ReadsAFileWholeAndRefusesWhatCannotBeRead) {
  TempFolder folder;
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  const std::string path = folder.Write("image.ebl", bytes);
  EXPECT_EQ(Sha256::OfFile(path), Sha256::OfBytes(bytes));
  EXPECT_EQ(Sha256::OfFile(folder.Path() + "missing.ebl"), std::nullopt);
  EXPECT_EQ(Sha256::OfFile(folder.Path()), std::nullopt) << "a folder is no file";
}

}  // namespace
}  // namespace zendra::test
