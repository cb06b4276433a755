// Rows that Access wrote, rebuilt from their decoded values: every row of
// every table (system tables included) must come out byte for byte as Jet
// stored it.
#include <gtest/gtest.h>

#include "db/jet/catalog/catalog.h"
#include "db/jet/row/row.h"
#include "db/jet/file/usage_map.h"
#include "support/test_support.h"
#include "writer/row_pages.h"

namespace mirutone::jet {
namespace {

using B = std::vector<std::uint8_t>;

struct Sample {
  const char* file;
  int codepage;
};

// Every Access-made Jet 3 sample but two: the RC4-encoded one, and
// j3_psc_stale_rowcount.mdb, whose rows still carry the 4 fixed-area bytes
// of a column deleted from the table (a layout no new table has).
const Sample kSamples[] = {
    {"j3_jackcess_test.mdb", 1252},      {"j3_jackcess_test2.mdb", 1252},
    {"j3_jackcess_compindex.mdb", 1252}, {"j3_jackcess_delcol.mdb", 1252},
    {"j3_jackcess_index.mdb", 1252},     {"j3_jackcess_indexcodes.mdb", 1252},
    {"j3_jackcess_overflow.mdb", 1252},  {"j3_jackcess_query.mdb", 1252},
    {"j3_nwind_full.mdb", 1252},         {"j3_patched_cp932.mdb", 932},
    {"j3_ucanaccess_gbk.mdb", 1252},     {"j3_ucanaccess_size97.mdb", 1252},
};

std::unique_ptr<PageFile> open_sample(const char* name) {
  auto f = PageFile::open((test::testdata_dir() / name).string());
  f->configure(jet3::kPageSize, 0);
  return f;
}

// The bytes of a row as stored, following an overflow pointer (a row that
// grew in Access and moved to another page) to the row itself.
B stored_row(const PageSource& src, std::uint32_t page_no, int slot) {
  B page(jet3::kPageSize);
  for (;;) {
    src.read_page(page_no, page.data());
    const RowSpan span = row_span(page.data(), fmt::kJet3, slot, src.path(), page_no, "row");
    B row(page.begin() + static_cast<long>(span.begin), page.begin() + static_cast<long>(span.end));
    if (!(span.slot & fmt::kSlotOverflow) || (span.slot & fmt::kSlotDeleted)) return row;
    const fmt::RowPointer next = fmt::get_row_pointer(row.data());
    page_no = next.page;
    slot = next.row;
  }
}

// Jet leaves whatever bytes were there in the fixed slot of a NULL column;
// a new row has zeros.
void zero_null_fixed(const TableDef& td, const std::vector<FieldRef>& f, B& row) {
  for (std::size_t i = 0; i < td.columns.size(); ++i) {
    const ColumnDef& c = td.columns[i];
    if (c.fixed() && c.type != ColumnType::Boolean && !f[i].present)
      std::fill_n(row.begin() + 1 + c.fixed_offset, c.length, 0);
  }
}

TEST(RowBuilderRealRows, AccessRowsReEncodeByteForByte) {
  MIRUTONE_REQUIRE_TESTDATA();
  int total = 0, with_jumps = 0, with_long_values = 0, small_values_kept_out = 0, japanese = 0;
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    auto src = open_sample(s.file);
    CodePage cp(s.codepage);
    int rows_in_file = 0;
    for (const CatalogEntry& e : read_catalog(*src, fmt::kJet3, cp)) {
      if (e.kind() != fmt::kObjectTypeTable) continue;
      auto td =
          std::make_shared<const TableDef>(read_tdef(*src, fmt::kJet3, cp, e.tdef_page(), e.name));
      rowtest::MemoryPages lval_pages;
      LvalPagePool pool = lval_pages.lval_pool();
      RowBuilder rb(*td, cp, e.name);
      TableCursor cursor(*src, fmt::kJet3, td, cp, e.name);
      std::vector<Value> values;
      std::vector<FieldRef> orig_fields, new_fields;
      while (cursor.next(values)) {
        for (const Value& v : values)
          if (const auto* t = std::get_if<std::string>(&v);
              t && (*t == "日本ｱxy" || *t == "表ソ能abc"))
            ++japanese;
        B original = stored_row(*src, cursor.page(), cursor.slot());
        const std::string where = e.name + " page " + std::to_string(cursor.page()) + " row " +
                                  std::to_string(cursor.slot());
        B rebuilt = rb.build(values, [&](const ColumnDef&) -> LvalPageSink& { return pool; });

        try {
          crack_row(*td, fmt::kJet3, original.data(), original.size(), orig_fields, RowContext{});
          zero_null_fixed(*td, orig_fields, original);
          crack_row(*td, fmt::kJet3, rebuilt.data(), rebuilt.size(), new_fields, RowContext{});
        } catch (const Error& x) {
          FAIL() << where << ": " << x.what() << "\n original " << to_hex(original)
                 << "\n rebuilt  " << to_hex(rebuilt);
        }
        // Values stored on LVAL pages point to where they went, which differs;
        // everything else of the reference (length, 0x80 or not, zeros) must not.
        bool kept_out = false;
        for (std::size_t i = 0; i < td->columns.size(); ++i) {
          const ColumnType t = td->columns[i].type;
          if ((t != ColumnType::Memo && t != ColumnType::OLE) || !orig_fields[i].present) continue;
          ++with_long_values;
          const std::uint8_t* o = orig_fields[i].data;
          const std::uint8_t* n = new_fields[i].data;
          ASSERT_GE(new_fields[i].len, 12u) << where;
          EXPECT_EQ(fmt::get_u24(o), fmt::get_u24(n)) << where;
          if (o[3] != fmt::kLvInline && n[3] == fmt::kLvInline && fmt::get_u24(o) <= 32) {
            kept_out = true;  // see below
            break;
          }
          EXPECT_EQ(o[3] == fmt::kLvInline, n[3] == fmt::kLvInline)
              << where << " length " << fmt::get_u24(o);
          if (o[3] != fmt::kLvInline)
            std::copy(o + 3, o + 8, rebuilt.begin() + (n + 3 - rebuilt.data()));
        }
        if (kept_out) {
          ++small_values_kept_out;
          continue;
        }
        ASSERT_EQ(rebuilt, original) << where;
        ++rows_in_file;
        if (original.size() > 256) ++with_jumps;
      }
    }
    EXPECT_GT(rows_in_file, 0);
    total += rows_in_file;
  }
  // The samples hold a few thousand rows, one of them longer than 256 bytes
  // (MSP_PROJECTS in j3_jackcess_test2.mdb, with a pad byte in its jump table).
  EXPECT_GT(total, 3000);
  EXPECT_GE(with_jumps, 1);
  EXPECT_GT(with_long_values, 100);
  // One value in all the samples was short enough to stay inline but sits on
  // an LVAL page: a 16-byte Form of MSysModules2 in Northwind, a row Access
  // rewrote in place. A new row keeps such a value inline.
  EXPECT_EQ(small_values_kept_out, 1);
  // The two CP932 values patched into j3_patched_cp932.mdb (kanji, katakana,
  // half-width kana) were among the rows, decoded and re-encoded.
  EXPECT_EQ(japanese, 2);
}

}  // namespace
}  // namespace mirutone::jet
