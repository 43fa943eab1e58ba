#include "WriteSession.h"

#include "Format.h"
#include "GlobalPageMap.h"

namespace jet {

PageImage& WriteSession::page(std::uint32_t n) {
  auto it = pages_.find(n);
  if (it != pages_.end()) return it->second;
  return pages_.emplace(n, writer_.read(n)).first->second;
}

void WriteSession::write(std::uint32_t n) {
  writer_.write(n, page(n));
}

std::uint32_t WriteSession::append(const PageImage& image) {
  const std::uint32_t n = writer_.pageCount();
  if (n >= fmt::kMaxPages) throw GlobalPageMap::tooLarge(path());
  writer_.write(n, image);
  pages_[n] = image;
  return n;
}

std::uint32_t WriteSession::writeLastAndAppend(std::uint32_t n, const PageImage& image) {
  const std::uint32_t next = writer_.pageCount();
  if (next >= fmt::kMaxPages) throw GlobalPageMap::tooLarge(path());
  writer_.writeLastAndAppend(n, page(n), image);
  pages_[next] = image;
  return next;
}

void WriteSession::markUsed(const std::vector<std::uint32_t>& pages) {
  GlobalPageMap(*this).markUsed(pages);
}

void WriteSession::requireRoomFor(std::uint32_t pageCount) {
  GlobalPageMap(*this).requireRoomFor(pageCount);
}

}  // namespace jet
