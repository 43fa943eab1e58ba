#include "Header.h"

#include <gtest/gtest.h>

#include "TestFiles.h"

namespace jet {
namespace {

TEST(Header, MaskedRegionDecodesToThePlainHeaderOfEmptyMdb) {
  PageFile file(jet::testing::fixture("empty.mdb"), Mode::ReadOnly);
  const Header h = Header::read(file);
  EXPECT_EQ(h.codePage(), 1252);
  EXPECT_EQ(h.encryptionKey(), 0u);
  EXPECT_FALSE(h.hasPassword());
  EXPECT_NEAR(h.creationDate(), 38143.5465, 1e-4);
  const std::uint8_t fixedPointers[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                        0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00};
  EXPECT_TRUE(std::equal(std::begin(fixedPointers), std::end(fixedPointers),
                         h.plain().begin() + fmt::kHeaderMaskedOffset));
  // No password: the area holds the creation day (38143 = 0x94FF) ten times.
  for (std::size_t i = 0; i < fmt::kHeaderPasswordSize; i += 4) {
    EXPECT_EQ(h.plain()[fmt::kHeaderPasswordOffset + i], 0xFF);
    EXPECT_EQ(h.plain()[fmt::kHeaderPasswordOffset + i + 1], 0x94);
  }
  // Masking the plain page again gives back the stored page.
  PageBytes again = h.plain();
  Header::applyMask(again);
  EXPECT_EQ(again, file.readPage(0)->bytes());
}

}  // namespace
}  // namespace jet
