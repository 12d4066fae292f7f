// Feeds arbitrary bytes to the MP3 reader. The first byte chooses whether the source
// also claims to be far larger than the bytes it holds, as a file does that shrinks
// while it is read or that the file layer fails to read.
#include "content/mp3_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

class ClaimingSource final : public orv::content::Mp3ByteSource {
 public:
  ClaimingSource(QByteArray bytes, qint64 claimedSize) : bytes_(std::move(bytes)), claimedSize_(claimedSize) {}
  qint64 size() const override { return claimedSize_; }
  qint64 read(qint64 offset, char* buffer, qint64 count) const override {
    if (offset < 0 || count < 0 || offset + count > claimedSize_) {
      std::abort();  // the reader must stay inside the size it was told
    }
    if (offset >= bytes_.size()) {
      return 0;
    }
    const qint64 got = std::min(count, bytes_.size() - offset);
    std::memcpy(buffer, bytes_.constData() + offset, static_cast<std::size_t>(got));
    return got;
  }

 private:
  QByteArray bytes_;
  qint64 claimedSize_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool tablesFilled = [] {
    orv::content::subInitBitrateTables();
    return true;
  }();
  (void)tablesFilled;
  if (size == 0) {
    return 0;
  }
  const bool claimsMore = (data[0] & 1) != 0;
  const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
  const qint64 claimed = claimsMore ? bytes.size() * 4096 + 128 : bytes.size();
  const ClaimingSource source(bytes, claimed);
  const orv::content::tMp3Infos infos = orv::content::fnctReadMp3Data(source);
  const orv::content::tMp3Summary summary = orv::content::fnctMergeMp3Infos(infos, QString());
  if (summary.mpeg.bitrate < 0 || summary.mpeg.bitrate > 32767 || summary.tag.track.size() > 2 ||
      infos.id3v2.title.size() > 64 * 1024 || infos.id3v1.title.size() > 30) {
    std::abort();
  }
  return 0;
}
