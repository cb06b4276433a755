// The header page, its RC4 mask, and page decoding of encoded files.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "db/jet/api/error.h"
#include "db/jet/format/format.h"
#include "db/jet/file/header.h"
#include "db/jet/file/page_file.h"
#include "db/jet/file/rc4.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

std::vector<std::uint8_t> plain_header(std::uint32_t version, std::uint16_t sort,
                                       std::uint16_t cp, std::uint32_t key) {
  std::vector<std::uint8_t> p(4096, 0);
  p[1] = 0x01;
  std::memcpy(p.data() + 4, "Standard Jet DB", 16);
  p[0x14] = static_cast<std::uint8_t>(version);
  const fmt::Layout& lay = version == 0 ? fmt::kJet3 : fmt::kJet4;
  p[lay.header_off_sort] = static_cast<std::uint8_t>(sort);
  p[lay.header_off_sort + 1] = static_cast<std::uint8_t>(sort >> 8);
  p[0x3C] = static_cast<std::uint8_t>(cp);
  p[0x3D] = static_cast<std::uint8_t>(cp >> 8);
  for (int i = 0; i < 4; ++i) p[0x3E + i] = static_cast<std::uint8_t>(key >> (8 * i));
  return p;
}

TEST(HeaderMask, KeyStreamMatchesJetsAndIsItsOwnInverse) {
  std::vector<std::uint8_t> page(2048, 0);
  mask_header(Format::Jet3, page.data(), page.size());
  const std::uint8_t start[] = {0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55};
  EXPECT_EQ(std::memcmp(page.data() + 0x18, start, sizeof start), 0);
  EXPECT_EQ(page[0x18 + 126], 0);  // Jet 3 masks 126 bytes only
  EXPECT_EQ(page[0x17], 0);
  mask_header(Format::Jet3, page.data(), page.size());
  EXPECT_EQ(page, std::vector<std::uint8_t>(2048, 0));
}

TEST(HeaderParse, ReadsMaskedFieldsPerVersion) {
  auto j3 = plain_header(0, 0x0411, 932, 0);
  mask_header(Format::Jet3, j3.data(), j3.size());
  Header h = parse_header("a.mdb", j3.data(), j3.size());
  EXPECT_EQ(h.format, Format::Jet3);
  EXPECT_EQ(h.codepage, 932);
  EXPECT_EQ(h.sort_order, 0x0411);
  EXPECT_EQ(h.db_key, 0u);

  auto j4 = plain_header(1, 0x0409, 1252, 0xA7E0C0FE);
  mask_header(Format::Jet4, j4.data(), j4.size());
  h = parse_header("b.mdb", j4.data(), j4.size());
  EXPECT_EQ(h.format, Format::Jet4);
  EXPECT_EQ(h.sort_order, 0x0409);  // from 0x6E on Jet 4
  EXPECT_EQ(h.db_key, 0xA7E0C0FEu);
}

TEST(HeaderParse, RejectsWhatIsNotJet3OrJet4) {
  auto ace = plain_header(2, 0x0409, 1252, 0);
  std::memcpy(ace.data() + 4, "Standard ACE DB", 16);
  try {
    parse_header("new.accdb", ace.data(), ace.size());
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("ACE"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("new.accdb"), std::string::npos) << e.what();
  }
  auto future = plain_header(7, 0x0409, 1252, 0);
  EXPECT_THROW(parse_header("x", future.data(), future.size()), Error);
  auto not_header = plain_header(0, 0x0409, 1252, 0);
  not_header[0] = 0x01;
  EXPECT_THROW(parse_header("x", not_header.data(), not_header.size()), CorruptError);
  auto no_sig = plain_header(0, 0x0409, 1252, 0);
  no_sig[5] = 'X';
  EXPECT_THROW(parse_header("x", no_sig.data(), no_sig.size()), CorruptError);
  // A workgroup file's signature is read; one cut short is not.
  auto system = plain_header(0, 0x0409, 1252, 0);
  std::memcpy(system.data() + 4, "Jet System DB  ", 16);
  EXPECT_TRUE(parse_header("system.mdw", system.data(), system.size()).workgroup);
  system[4 + 14] = 'X';
  EXPECT_THROW(parse_header("x", system.data(), system.size()), CorruptError);
  EXPECT_THROW(parse_header("x", no_sig.data(), 100), CorruptError);
}

TEST(PageFile, DecodesEncodedPagesAndRejectsPagesPastTheEnd) {
  test::TempDir dir;
  const std::uint32_t key = 0x12345678;
  std::vector<std::uint8_t> file(2048 * 3, 0);
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> plain(file.begin() + 2048 * 2, file.begin() + 2048 * 3);
  std::uint32_t k = key ^ 2u;
  std::uint8_t kb[4] = {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8),
                        static_cast<std::uint8_t>(k >> 16), static_cast<std::uint8_t>(k >> 24)};
  rc4_apply(kb, 4, file.data() + 2048 * 2, 2048);
  auto path = (dir / "enc.mdb").string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));

  auto pf = PageFile::open(path);
  pf->configure(2048, key);
  EXPECT_EQ(pf->page_count(), 3u);
  EXPECT_EQ(pf->page(2), plain);
  std::vector<std::uint8_t> p0 = pf->page(0);  // page 0 is never encoded
  EXPECT_TRUE(std::equal(p0.begin(), p0.end(), file.begin()));
  try {
    pf->page(3);
    FAIL();
  } catch (const CorruptError& e) {
    EXPECT_NE(std::string(e.what()).find("enc.mdb"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("page 3"), std::string::npos);
  }
  EXPECT_THROW(pf->check_page(99, "test"), CorruptError);
}

TEST(PageFile, EncodedSampleDecodesToTableDefinitionPages) {
  MIRUTONE_REQUIRE_TESTDATA();
  auto pf = PageFile::open((test::testdata_dir() / "j3_ENCODED_jackcessencrypt.mdb").string());
  std::vector<std::uint8_t> first(4096);
  pf->read_at(0, first.data(), first.size());
  Header h = parse_header(pf->path(), first.data(), first.size());
  EXPECT_EQ(h.db_key, 0xA7E0C0FEu);
  pf->configure(2048, 0);
  EXPECT_NE(pf->page(2)[0], fmt::kPageTdef);  // ciphertext without the key
  pf->configure(2048, h.db_key);
  EXPECT_EQ(pf->page(2)[0], fmt::kPageTdef);  // MSysObjects
}

}  // namespace
}  // namespace mirutone::jet
