// The SHA-256 that every byte check of the end-to-end tests rests on,
// against digests computed elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "upload/Sha256.h"

namespace vornex::test {
namespace {

std::string DigestOf(const std::string& text) {
  TSha256 h;
  h.Add(text.data(), text.size());
  return h.Hex();
}

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(DigestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(DigestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block.
  EXPECT_EQ(DigestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // 112 bytes: more than one block of data.
  EXPECT_EQ(DigestOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopq"
                     "rsmnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
}

TEST(Sha256, LengthsAroundTheBlockEdges) {
  // 55 bytes leave just room for the padding, 56 do not, 64 fill a block.
  EXPECT_EQ(DigestOf(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  EXPECT_EQ(DigestOf(std::string(56, 'a')), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(DigestOf(std::string(64, 'a')), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(Sha256, PiecesOfAnySizeGiveTheDigestOfTheWholeAndHexStartsAfresh) {
  // A million 'a's, added in pieces that straddle the blocks as the
  // printer's reads do.
  const std::string million(1000000, 'a');
  const std::string expected = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
  TSha256 h;
  std::size_t at = 0;
  for (std::size_t piece = 1; at < million.size(); piece = piece % 97 + 1) {
    const std::size_t n = std::min(piece, million.size() - at);
    h.Add(million.data() + at, n);
    at += n;
  }
  EXPECT_EQ(h.Hex(), expected);
  EXPECT_EQ(TSha256::Of(std::vector<std::uint8_t>(million.begin(), million.end())), expected);

  h.Add("abc", 3);
  EXPECT_EQ(h.Hex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad")
      << "nothing of the million is left over";
}

}  // namespace
}  // namespace vornex::test
