#include "db/jet/index/index_tree_builder.h"

#include <algorithm>
#include <unordered_set>

#include "db/jet/format/jet3_format.h"
#include "db/jet/file/page_file.h"
#include "db/jet/file/page_store.h"

namespace mirutone::jet {

// One level of the tree, cut into pages as its entries arrive. A page is
// written once the next page's number is known (for its next-page link); the
// last entry of each page goes up to the level above.
class IndexTreeWriter::Level {
 public:
  // `height`: 0 for the leaves, one more for each level of nodes above them.
  Level(IndexTreeWriter& tree, int height) : tree_(tree), height_(height), leaf_(height == 0) {}
  int height() const { return height_; }

  void add(IndexEntry entry) {
    const std::size_t size = index_entry_size(leaf_, entry);
    if (size > kCapacity) throw Error(0, "", "an index key is too long for an index page");
    if (!run_.empty() && used_ + size > kCapacity) close_run();
    used_ += size;
    run_.push_back(std::move(entry));
  }

  // Ends the level. True when it fits one page, which is then the root (the
  // caller writes it); false when its pages are written and `parents` holds
  // the entries of the level above.
  bool finish() {
    while (run_.size() > 1 && !index_page_fits(Format::Jet3, leaf_, run_)) close_run();
    if (pages_ == 0) return true;
    emit(std::move(run_));
    write_pending(0);
    return false;
  }

  void write_root(std::uint32_t root) { write(root, 0, 0, std::move(run_)); }
  std::vector<IndexEntry>& parents() { return parents_; }

 private:
  static constexpr std::size_t kCapacity = static_cast<std::size_t>(jet3::kIndexPageCapacity);

  // The page under way is full: it keeps what fits (the entry mask can refuse
  // entries the byte count allows) and the rest starts the next page.
  void close_run() {
    std::vector<IndexEntry> carry;
    while (run_.size() > 1 && !index_page_fits(Format::Jet3, leaf_, run_)) {
      carry.push_back(std::move(run_.back()));
      run_.pop_back();
    }
    std::reverse(carry.begin(), carry.end());
    emit(std::move(run_));
    run_ = std::move(carry);
    used_ = 0;
    for (const auto& e : run_) used_ += index_entry_size(leaf_, e);
  }

  void emit(std::vector<IndexEntry> entries) {
    const std::uint32_t number = tree_.take_page();
    write_pending(number);
    if (!entries.empty()) {
      IndexEntry up = entries.back();  // the last entry under this page
      up.child = number;
      parents_.push_back(std::move(up));
    }
    pending_prev_ = pages_ ? pending_number_ : 0;
    pending_number_ = number;
    pending_ = std::move(entries);
    has_pending_ = true;
    ++pages_;
  }

  void write_pending(std::uint32_t next) {
    if (!has_pending_) return;
    write(pending_number_, pending_prev_, next, std::move(pending_));
    pending_.clear();
    has_pending_ = false;
  }

  void write(std::uint32_t number, std::uint32_t prev, std::uint32_t next, std::vector<IndexEntry> entries) {
    IndexPage page;
    page.leaf = leaf_;
    page.level = static_cast<std::uint8_t>(height_);
    page.tdef_page = tree_.tdef_page_;
    page.prev_page = prev;
    page.next_page = next;
    page.entries = std::move(entries);
    if (!leaf_ && page.entries.size() > 1) {
      page.tail_page = page.entries.back().child;
      page.entries.pop_back();
    }
    tree_.store_.write_page(number, encode_index_page(Format::Jet3, page));
  }

  IndexTreeWriter& tree_;
  int height_;
  bool leaf_;
  std::vector<IndexEntry> run_;
  std::size_t used_ = 0;
  std::size_t pages_ = 0;
  std::vector<IndexEntry> pending_;
  std::uint32_t pending_number_ = 0, pending_prev_ = 0;
  bool has_pending_ = false;
  std::vector<IndexEntry> parents_;
};

IndexTreeWriter::IndexTreeWriter(PageStore& store, std::uint32_t tdef_page, std::uint32_t root,
                                 std::vector<std::uint32_t> spare)
    : store_(store), tdef_page_(tdef_page), root_(root), spare_(std::move(spare)),
      leaves_(std::make_unique<Level>(*this, 0)) {
  result_.used.push_back(root);
}

IndexTreeWriter::~IndexTreeWriter() = default;

std::uint32_t IndexTreeWriter::take_page() {
  std::uint32_t p = next_spare_ < spare_.size() ? spare_[next_spare_++] : store_.allocate();
  result_.used.push_back(p);
  return p;
}

void IndexTreeWriter::add(const IndexEntry& entry) { leaves_->add(entry); }

IndexTreePages IndexTreeWriter::finish() {
  std::unique_ptr<Level> level = std::move(leaves_);
  while (!level->finish()) {
    auto above = std::make_unique<Level>(*this, level->height() + 1);
    for (auto& e : level->parents()) above->add(std::move(e));
    level = std::move(above);
  }
  level->write_root(root_);
  result_.unused.assign(spare_.begin() + static_cast<std::ptrdiff_t>(next_spare_), spare_.end());
  return std::move(result_);
}

namespace {

constexpr int kMaxTreeDepth = 16;

struct LeafWalk {
  const PageSource& source;
  std::uint32_t tdef_page;
  const std::function<void(const IndexEntry&)>& sink;
  std::vector<std::uint32_t> pages;
  std::unordered_set<std::uint32_t> seen;
  IndexEntry last;
  bool have_last = false;

  CorruptError corrupt(std::uint32_t page, const std::string& what) const {
    return CorruptError(source.path(), "index page " + std::to_string(page) + ": " + what);
  }

  // `bound`: the parent's entry for this page (null for the root and tails).
  void visit(std::uint32_t number, int depth, const IndexEntry* bound) {
    if (depth > kMaxTreeDepth) throw corrupt(number, "index tree deeper than " + std::to_string(kMaxTreeDepth));
    if (number == 0 || number >= source.page_count()) throw corrupt(number, "index page number outside the file");
    if (!seen.insert(number).second) throw corrupt(number, "index page reached twice (loop in the tree)");
    pages.push_back(number);
    IndexPage page = decode_index_page(Format::Jet3, source.page(number), number, source.path());
    if (tdef_page && page.tdef_page != tdef_page) {
      throw corrupt(number, "belongs to table " + std::to_string(page.tdef_page) + ", not " +
                                std::to_string(tdef_page));
    }
    if (page.leaf) {
      for (IndexEntry& e : page.entries) {
        e.child = 0;
        if (have_last && compare_entries(last, e) >= 0) throw corrupt(number, "entries out of order");
        sink(e);
        last = std::move(e);
        have_last = true;
      }
    } else {
      if (page.entries.empty() && page.tail_page == 0) throw corrupt(number, "node page without children");
      for (const IndexEntry& e : page.entries) visit(e.child, depth + 1, &e);
      if (page.tail_page) visit(page.tail_page, depth + 1, bound);
    }
    if (bound && have_last) {
      IndexEntry limit{bound->key, bound->page, bound->row, 0};
      if (compare_entries(last, limit) > 0) throw corrupt(number, "holds an entry beyond its parent's entry");
    }
  }
};

}  // namespace

std::vector<std::uint32_t> walk_index_tree(const PageSource& pages, std::uint32_t root, std::uint32_t tdef_page,
                                           const std::function<void(const IndexEntry&)>& leaf_entry) {
  LeafWalk walk{pages, tdef_page, leaf_entry, {}, {}, {}, false};
  walk.visit(root, 1, nullptr);
  return std::move(walk.pages);
}

IndexTreePages write_index_tree(PageStore& store, std::uint32_t tdef_page, std::uint32_t root,
                                const std::vector<std::uint32_t>& spare,
                                const std::vector<IndexEntry>& entries) {
  IndexTreeWriter tree(store, tdef_page, root, spare);
  for (const auto& e : entries) tree.add(e);
  return tree.finish();
}

}  // namespace mirutone::jet
