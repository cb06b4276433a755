#include "db/jet/file/page_file.h"

#include <cstring>

#include "db/jet/api/error.h"
#include "db/jet/file/rc4.h"
#include "platform/file.h"

namespace mirutone::jet {

std::vector<std::uint8_t> PageSource::page(std::uint32_t n) const {
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(page_size()));
  read_page(n, buf.data());
  return buf;
}

void PageSource::check_page(std::uint32_t n, const char* what) const {
  if (n >= page_count())
    throw CorruptError(path(), std::string(what) + " refers to page " + std::to_string(n) +
                                   " but the file has only " + std::to_string(page_count()) +
                                   " pages");
}

std::unique_ptr<PageFile> PageFile::open(const std::string& path) {
  using Kind = platform::FileError::Kind;
  try {
    platform::File file = platform::File::open_read(path);
    const std::uint64_t size = file.size();
    return std::unique_ptr<PageFile>(new PageFile(path, std::move(file), size));
  } catch (const platform::FileError& e) {
    throw Error(e.kind() == Kind::NotFound ? error_numbers::kFileNotFound : error_numbers::kCannotOpenFile, path,
                std::string("cannot open the file: ") + e.what());
  }
}

PageFile::PageFile(std::string path, platform::File file, std::uint64_t size)
    : path_(std::move(path)), file_(std::make_unique<platform::File>(std::move(file))), size_(size) {}

PageFile::~PageFile() = default;

std::size_t PageFile::read_at(std::uint64_t offset, std::uint8_t* buf, std::size_t len) const {
  try {
    return file_->read_at(offset, buf, len);
  } catch (const platform::FileError& e) {
    throw Error(error_numbers::kCannotOpenFile, path_, std::string("read failed: ") + e.what());
  }
}

void PageFile::configure(int page_size, std::uint32_t db_key) {
  page_size_ = page_size;
  db_key_ = db_key;
}

std::uint32_t PageFile::page_count() const {
  return static_cast<std::uint32_t>(size_ / static_cast<std::uint64_t>(page_size_));
}

void PageFile::read_page(std::uint32_t n, std::uint8_t* buf) const {
  if (n >= page_count())
    throw CorruptError(path_, "page " + std::to_string(n) + " is beyond the end of the file (" +
                                  std::to_string(page_count()) + " pages)");
  std::size_t got = read_at(static_cast<std::uint64_t>(n) * page_size_, buf,
                            static_cast<std::size_t>(page_size_));
  if (got != static_cast<std::size_t>(page_size_))
    throw CorruptError(path_, "page " + std::to_string(n) + " is truncated");
  if (db_key_ != 0 && n != 0) {
    std::uint32_t k = db_key_ ^ n;
    std::uint8_t key[4] = {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8),
                           static_cast<std::uint8_t>(k >> 16), static_cast<std::uint8_t>(k >> 24)};
    rc4_apply(key, 4, buf, static_cast<std::size_t>(page_size_));
  }
}

}  // namespace mirutone::jet
