// Page-level access to a database file.
//
// PageSource is what every structure reader works against: numbered pages of
// a fixed size, already decoded. PageFile is the read-only implementation over
// a file descriptor opened O_RDONLY; a writer can derive its own source (or
// wrap a PageFile) and add writing without touching the readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirutone::platform {
class File;
}

namespace mirutone::jet {

class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual const std::string& path() const = 0;
  virtual int page_size() const = 0;
  virtual std::uint32_t page_count() const = 0;
  // Copies page `n`, decoded, into `buf` (page_size() bytes). Throws
  // CorruptError naming the file when the page lies beyond the end of the file.
  virtual void read_page(std::uint32_t n, std::uint8_t* buf) const = 0;

  // Convenience: page `n` into a vector sized to the page.
  std::vector<std::uint8_t> page(std::uint32_t n) const;
  // Throws CorruptError unless page `n` exists; `what` says who refers to it.
  void check_page(std::uint32_t n, const char* what) const;
};

class PageFile : public PageSource {
 public:
  // Opens `path` read-only. Throws Error 3024 when it cannot be opened.
  static std::unique_ptr<PageFile> open(const std::string& path);
  ~PageFile() override;
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // Raw bytes at a byte offset, for the header before the page size is known.
  // Returns the number of bytes read (short at the end of the file).
  std::size_t read_at(std::uint64_t offset, std::uint8_t* buf, std::size_t len) const;
  std::uint64_t file_size() const { return size_; }

  // Sets the page size and the database key (0 = pages stored plainly). With a
  // key, every page n >= 1 is RC4-decoded with the key LE32(db_key ^ n).
  void configure(int page_size, std::uint32_t db_key);
  std::uint32_t db_key() const { return db_key_; }

  const std::string& path() const override { return path_; }
  int page_size() const override { return page_size_; }
  std::uint32_t page_count() const override;
  void read_page(std::uint32_t n, std::uint8_t* buf) const override;

 private:
  PageFile(std::string path, platform::File file, std::uint64_t size);
  std::string path_;
  std::unique_ptr<platform::File> file_;
  std::uint64_t size_ = 0;
  int page_size_ = 2048;
  std::uint32_t db_key_ = 0;
};

}  // namespace mirutone::jet
