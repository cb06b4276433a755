// Damaged input: truncated and bit-flipped copies of every sample file go
// through a full walk (every table including the system ones, every row, the
// queries). Each walk must finish or end in a jet::Error; anything else (a
// crash, a sanitizer report, a foreign exception, a hang, a cursor that never
// ends) fails. Every walk runs in a child process so one bad case names itself
// instead of taking the whole suite down.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "db/jet/api/reader.h"
#include "support/test_support.h"

namespace mirutone::jet {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr auto kCaseTimeout = std::chrono::seconds(kSanitized ? 60 : 15);

// Child exit codes; anything else is a crash or a sanitizer report.
constexpr int kExitCompleted = 40;
constexpr int kExitJetError = 41;
constexpr int kExitForeignException = 42;
constexpr int kExitEndlessRows = 43;
constexpr int kExitInconsistent = 44;  // values that contradict the table definition

Bytes read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& p, const Bytes& b, size_t len) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(std::min(len, b.size())));
}

bool valid_utf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size() + (extra == 0)) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

// Damage may change values but never the kind of value a column type yields.
bool fits(ColumnType t, const Value& v) {
  if (is_null(v)) return t != ColumnType::Boolean;
  switch (t) {
    case ColumnType::Boolean: return std::holds_alternative<bool>(v);
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: return std::holds_alternative<std::int32_t>(v);
    case ColumnType::Currency: return std::holds_alternative<Currency>(v);
    case ColumnType::Single: return std::holds_alternative<float>(v);
    case ColumnType::Double: return std::holds_alternative<double>(v);
    case ColumnType::DateTime: return std::holds_alternative<DateTime>(v);
    case ColumnType::Text:
    case ColumnType::Memo: {
      auto s = std::get_if<std::string>(&v);
      return s && valid_utf8(*s);
    }
    case ColumnType::GUID: return std::holds_alternative<Guid>(v);
    case ColumnType::Decimal: return std::holds_alternative<Decimal>(v);
    default: return true;  // Binary, OLE and types the reader passes through as bytes
  }
}

// Reads everything the Reader offers. A table cannot hold more rows than the
// file has bytes, so `max_rows` catches a cursor that loops over the same pages.
int walk_everything(const std::string& path, std::uint64_t max_rows, std::string& why) {
  auto r = Reader::open(path);
  (void)r->format();
  (void)r->codepage();
  (void)r->sort_order();
  (void)r->encoded();
  for (const auto& name : r->table_names(true)) {
    const TableInfo& t = r->table(name);
    const std::size_t width = t.columns.size();
    for (const auto& ix : t.indexes) {
      if (ix.ascending.size() != ix.columns.size()) {
        why = "table " + name + ", index " + ix.name + ": " + std::to_string(ix.columns.size()) +
              " columns but " + std::to_string(ix.ascending.size()) + " sort directions";
        return kExitInconsistent;
      }
    }
    auto cursor = r->rows(name);
    std::vector<Value> row;
    std::uint64_t n = 0;
    while (cursor->next(row)) {
      if (row.size() != width) {
        why = "table " + name + ": row of " + std::to_string(row.size()) + " values for " +
              std::to_string(width) + " columns";
        return kExitInconsistent;
      }
      for (size_t c = 0; c < width; ++c) {
        if (!fits(t.columns[c].type, row[c])) {
          why = "table " + name + ", column " + t.columns[c].name + ": a " + type_name(t.columns[c].type) +
                " column yielded value kind " + std::to_string(row[c].index()) + " (or invalid UTF-8)";
          return kExitInconsistent;
        }
      }
      if (++n > max_rows) {
        why = "table " + name + " yields more rows than the file has bytes";
        return kExitEndlessRows;
      }
    }
  }
  for (const auto& q : r->queries()) (void)q.sql.value_or("").size();
  return kExitCompleted;
}

struct Outcome {
  bool ok = false;      // completed, or ended in a jet::Error
  bool error = false;   // ended in a jet::Error
  std::string detail;   // why it is not ok
};

// Runs `body` in a child process with a deadline. body returns one of the
// kExit codes and may say why in its string argument.
Outcome run_isolated(const std::function<int(std::string&)>& body,
                     std::chrono::milliseconds timeout = kCaseTimeout) {
  int fds[2];
  if (pipe(fds) != 0) return {false, false, "pipe failed"};
  pid_t pid = fork();
  if (pid < 0) return {false, false, "fork failed"};
  if (pid == 0) {
    close(fds[0]);
    if (!kSanitized) {
      // Without a sanitizer a runaway allocation would only be slow; make it fail.
      rlimit lim{1ull << 31, 1ull << 31};
      setrlimit(RLIMIT_AS, &lim);
    }
    std::string why;
    int code;
    try {
      code = body(why);
    } catch (const Error& e) {
      why = e.what();
      code = kExitJetError;
    } catch (const std::exception& e) {
      why = std::string("std::exception: ") + e.what();
      code = kExitForeignException;
    } catch (...) {
      why = "unknown exception";
      code = kExitForeignException;
    }
    (void)!write(fds[1], why.data(), why.size());
    _exit(code);
  }
  close(fds[1]);
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  std::string message;
  char buf[4096];
  auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  bool hung = false;
  for (;;) {
    ssize_t got;
    while ((got = read(fds[0], buf, sizeof buf)) > 0) message.append(buf, static_cast<size_t>(got));
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      hung = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ssize_t got;
  while ((got = read(fds[0], buf, sizeof buf)) > 0) message.append(buf, static_cast<size_t>(got));
  close(fds[0]);

  if (hung) return {false, false, "no result within the time limit (hang or endless loop)"};
  if (WIFSIGNALED(status)) return {false, false, "killed by signal " + std::to_string(WTERMSIG(status))};
  int code = WEXITSTATUS(status);
  if (code == kExitCompleted) return {true, false, {}};
  if (code == kExitJetError) return {true, true, message};
  if (code == kExitForeignException) return {false, false, message};
  if (code == kExitEndlessRows || code == kExitInconsistent) return {false, false, message};
  return {false, false, "exit code " + std::to_string(code) + " (crash or sanitizer report, see stderr)"};
}

Outcome walk_isolated(const fs::path& path) {
  std::uint64_t max_rows = fs::file_size(path) + 16;
  return run_isolated([&](std::string& why) { return walk_everything(path.string(), max_rows, why); });
}

int page_size_of(const Bytes& file) {
  // Version byte at 0x14: 0 = Jet 3 (2 KiB pages), otherwise 4 KiB.
  return file.size() > 0x14 && file[0x14] == 0 ? 2048 : 4096;
}

// Page numbers by what a raw scan says they hold. Meaningless on an encoded
// file, where every page but the header is ciphertext; then only "any" is used.
struct PageKinds {
  std::vector<std::uint32_t> header, catalog, tdef, data, lval, index, usage, any;
};

PageKinds classify(const Bytes& file, int page_size) {
  PageKinds k;
  std::uint32_t pages = static_cast<std::uint32_t>(file.size() / page_size);
  for (std::uint32_t n = 0; n < pages; ++n) {
    const std::uint8_t* p = file.data() + static_cast<size_t>(n) * page_size;
    k.any.push_back(n);
    if (n == 0) {
      k.header.push_back(n);
      continue;
    }
    std::uint32_t owner = p[4] | p[5] << 8 | p[6] << 16 | static_cast<std::uint32_t>(p[7]) << 24;
    switch (p[0]) {
      case 0x01:
        if (std::memcmp(p + 4, "LVAL", 4) == 0) k.lval.push_back(n);
        else if (owner == 2) k.catalog.push_back(n);
        else k.data.push_back(n);
        break;
      case 0x02:
        (n == 2 ? k.catalog : k.tdef).push_back(n);
        break;
      case 0x03:
      case 0x04:
        k.index.push_back(n);
        break;
      case 0x05:
        k.usage.push_back(n);
        break;
      default:
        break;
    }
  }
  return k;
}

struct Flip {
  size_t offset;
  std::uint8_t mask;  // XORed into the byte
};

std::string describe(const std::vector<Flip>& flips) {
  std::ostringstream o;
  o << std::hex;
  for (const auto& f : flips) o << " 0x" << f.offset << "^0x" << int(f.mask);
  return o.str();
}

// Deterministic damage confined to `pages`: mostly single-bit flips, some bytes
// forced to 0x00 or 0xFF (lengths and counts at their extremes).
std::vector<Flip> make_flips(std::mt19937& rng, const std::vector<std::uint32_t>& pages, const Bytes& file,
                             int page_size) {
  std::vector<Flip> flips;
  int count = 1 + static_cast<int>(rng() % 24);
  for (int i = 0; i < count; ++i) {
    std::uint32_t page = pages[rng() % pages.size()];
    size_t offset = static_cast<size_t>(page) * page_size;
    // Half of the hits go to the first 64 bytes, where page headers and TDEF counts live.
    offset += rng() % 2 ? rng() % 64 : rng() % page_size;
    if (offset >= file.size()) continue;
    std::uint8_t mask;
    switch (rng() % 4) {
      case 0:
        mask = file[offset];  // -> 0x00
        break;
      case 1:
        mask = static_cast<std::uint8_t>(~file[offset]);  // -> 0xFF
        break;
      default:
        mask = static_cast<std::uint8_t>(1u << (rng() % 8));
    }
    if (mask != 0) flips.push_back({offset, mask});
  }
  return flips;
}

std::uint32_t seed_of(const std::string& name) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  return h;
}

// A sample: "name.mdb" in testdata, "more/name.mdb" in testdata-more.
fs::path sample_file(const std::string& param) {
  if (param.rfind("more/", 0) == 0) return test::testdata_more_dir() / param.substr(5);
  return test::testdata_dir() / param;
}

class Damaged : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "no_testdata") GTEST_SKIP() << "no sample files: damaged-file tests skipped";
    original_ = read_file(sample_file(GetParam()));
    ASSERT_FALSE(original_.empty());
    page_size_ = page_size_of(original_);
  }

  // Writes `bytes` (first `len` of them) as the case file and walks it.
  void expect_survives(const Bytes& bytes, size_t len, const std::string& label) {
    fs::path p = dir_ / "case.mdb";
    write_file(p, bytes, len);
    Outcome o = walk_isolated(p);
    EXPECT_TRUE(o.ok) << GetParam() << ", " << label << ": " << o.detail;
    ++cases_;
    errors_ += o.error;
  }

  test::TempDir dir_;
  Bytes original_;
  int page_size_ = 2048;
  int cases_ = 0, errors_ = 0;
};

TEST_P(Damaged, IntactFileWalksToTheEnd) {
  Outcome o = walk_isolated(sample_file(GetParam()));
  EXPECT_TRUE(o.ok && !o.error) << o.detail;
}

TEST_P(Damaged, TruncatedCopies) {
  const size_t size = original_.size();
  const size_t ps = static_cast<size_t>(page_size_);
  const std::vector<std::pair<size_t, std::string>> cuts = {
      {0, "empty file"},
      {1, "1 byte"},
      {0x3F, "cut inside the masked header fields"},
      {ps / 2, "half a header page"},
      {ps, "header page only"},
      {2 * ps, "header and global map"},
      {2 * ps + ps / 2, "cut in the middle of the catalog definition page"},
      {3 * ps, "three pages"},
      {(size / 2) / ps * ps, "first half, on a page boundary"},
      {size / 2 + 777, "first half, mid-page"},
      {size - ps, "last page missing"},
      {size - 1, "last byte missing"},
  };
  for (const auto& [len, label] : cuts) {
    if (len >= size) continue;
    expect_survives(original_, len, label + " (" + std::to_string(len) + " bytes)");
  }
  EXPECT_GE(cases_, 8);
}

TEST_P(Damaged, TruncatedShortFilesAreRejected) {
  for (size_t len : {size_t{0}, size_t{1}, size_t{100}, static_cast<size_t>(page_size_) / 2}) {
    fs::path p = dir_ / "short.mdb";
    write_file(p, original_, len);
    try {
      Reader::open(p.string());
      ADD_FAILURE() << len << " bytes of " << GetParam() << " opened as a database";
    } catch (const Error& e) {
      EXPECT_EQ(e.jet_code(), 3049) << e.what();
      EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos) << "message names the file: " << e.what();
    }
  }
}

TEST_P(Damaged, BitFlippedCopies) {
  PageKinds k = classify(original_, page_size_);
  const bool encoded = GetParam().find("ENCODED") != std::string::npos;
  const std::vector<std::pair<std::string, const std::vector<std::uint32_t>*>> regions = {
      {"header", &k.header}, {"catalog", &k.catalog}, {"tdef", &k.tdef},   {"data", &k.data},
      {"lval", &k.lval},     {"index", &k.index},     {"usage map", &k.usage}, {"any page", &k.any},
  };
  std::mt19937 rng(seed_of(GetParam()));
  for (const auto& [name, pages] : regions) {
    if (pages->empty() || (encoded && name != "header" && name != "any page")) continue;
    const int variants = name == "catalog" || name == "tdef" ? 6 : 4;
    for (int v = 0; v < variants; ++v) {
      auto flips = make_flips(rng, *pages, original_, page_size_);
      Bytes damaged = original_;
      for (const auto& f : flips) damaged[f.offset] ^= f.mask;
      expect_survives(damaged, damaged.size(), name + " #" + std::to_string(v) + ", flips" + describe(flips));
    }
  }
  EXPECT_GE(cases_, 8);
  // Shown in the XML report: how many cases ended in an error rather than a full read.
  RecordProperty("cases", cases_);
  RecordProperty("errors", errors_);
}

TEST_P(Damaged, InputIsNeverModified) {
  fs::path p = dir_ / sample_file(GetParam()).filename();
  fs::copy_file(sample_file(GetParam()), p);
  fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
  auto old_time = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(p, old_time);

  Outcome o = walk_isolated(p);
  EXPECT_TRUE(o.ok) << o.detail;
  EXPECT_EQ(fs::last_write_time(p), old_time);
  EXPECT_EQ(read_file(p), original_);

  // Read access is all the reader needs.
  fs::permissions(p, fs::perms::owner_read);
  o = walk_isolated(p);
  EXPECT_TRUE(o.ok && !o.error) << "read-only copy: " << o.detail;
  EXPECT_EQ(read_file(p), original_);
}

std::vector<std::string> sample_names() {
  std::vector<std::string> names;
  for (const auto& f : test::testdata_files()) names.push_back(f.filename().string());
  // Of testdata-more, the tables that lost columns and the workgroup file.
  for (const char* f : {"j3_psc_darren_27629_database.mdb", "j3_psc_sean_11589_db1.mdb",
                        "j3_psc_chris_12315_icdbase.mdb", "j3_ENCODED_WORKGROUP_krlitoss_system.mdb"}) {
    if (!test::testdata_more_dir().empty() && fs::exists(test::testdata_more_dir() / f))
      names.push_back(std::string("more/") + f);
  }
  if (names.empty()) names.push_back("no_testdata");
  return names;
}

std::string case_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string s = fs::path(info.param).replace_extension().string();
  for (auto& c : s)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return s;
}

INSTANTIATE_TEST_SUITE_P(Samples, Damaged, ::testing::ValuesIn(sample_names()), case_name);

// The harness itself: each way a walk can go wrong must come out as a failure.
TEST(IsolatedWalk, ClassifiesEveryEnding) {
  EXPECT_TRUE(run_isolated([](std::string&) { return kExitCompleted; }).ok);
  Outcome jet_error = run_isolated([](std::string&) -> int { throw CorruptError("x.mdb", "bad page"); });
  EXPECT_TRUE(jet_error.ok && jet_error.error);
  EXPECT_NE(jet_error.detail.find("bad page"), std::string::npos);

  Outcome foreign = run_isolated([](std::string&) -> int { throw std::out_of_range("vector"); });
  EXPECT_FALSE(foreign.ok);
  EXPECT_NE(foreign.detail.find("vector"), std::string::npos);
  EXPECT_FALSE(run_isolated([](std::string&) -> int { abort(); }).ok);
  EXPECT_FALSE(run_isolated([](std::string& why) { why = "loop"; return kExitEndlessRows; }).ok);
  Outcome hang = run_isolated(
      [](std::string&) -> int {
        for (;;) pause();
      },
      std::chrono::milliseconds(200));
  EXPECT_FALSE(hang.ok);
  EXPECT_NE(hang.detail.find("time limit"), std::string::npos);
}

// Files that are not databases at all; no sample files needed.
class NotADatabase : public ::testing::Test {
 protected:
  fs::path write(const std::string& name, const Bytes& bytes) {
    fs::path p = dir_ / name;
    write_file(p, bytes, bytes.size());
    return p;
  }
  test::TempDir dir_;
};

int open_error_code(const fs::path& p) {
  try {
    Reader::open(p.string());
  } catch (const Error& e) {
    return e.jet_code();
  }
  return 0;
}

TEST_F(NotADatabase, OpenFailsWithJetCodes) {
  EXPECT_EQ(open_error_code(dir_ / "missing.mdb"), 3024);
  EXPECT_EQ(open_error_code(write("empty.mdb", {})), 3049);
  EXPECT_EQ(open_error_code(write("zeros.mdb", Bytes(8192, 0))), 3049);
  Bytes text(4096, 'x');
  EXPECT_EQ(open_error_code(write("text.mdb", text)), 3049);
  EXPECT_NE(open_error_code(dir_.path()), 0) << "a directory must not open";
}

TEST_F(NotADatabase, RandomPagesNeverCrash) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 8; ++i) {
    Bytes b(static_cast<size_t>(2048) * (1 + rng() % 8));
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    // Half of them start like a Jet header so the reader gets past the first check.
    if (i % 2 == 0) {
      const char id[] = "\x00\x01\x00\x00Standard Jet DB";
      std::memcpy(b.data(), id, sizeof id);
      b[0x14] = static_cast<std::uint8_t>(i % 4 == 0 ? 0 : 1);
    }
    Outcome o = walk_isolated(write("random.mdb", b));
    EXPECT_TRUE(o.ok) << "random file " << i << ": " << o.detail;
  }
}

}  // namespace
}  // namespace mirutone::jet
