// Times the thumbnail maker on a folder of 12-megapixel photos: each photo's first thumbnail
// (decoded and scaled) and the same request again (found in the cache). Prints one
// "name value" pair a line for bench/thumbnails.
//
//   thumbnail_bench <work folder> [photos] [largest side]

#include "content/thumbnail_cache.h"
#include "content/thumbnail_maker.h"
#include "core/configuration.h"
#include "platform/message_loop.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Smooth areas with sensor-like noise: about what a camera's JPEG holds per pixel.
QImage makePhoto(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  QRandomGenerator noise(20060307);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int grain = static_cast<int>(noise.bounded(24)) - 12;
      const int red = (x * 255) / width + grain;
      const int green = (y * 255) / height + grain;
      const int blue = ((x / 64 + y / 64) % 2) * 120 + 60 + grain;
      line[x] = qRgb(std::clamp(red, 0, 255), std::clamp(green, 0, 255), std::clamp(blue, 0, 255));
    }
  }
  return image;
}

double elapsedMs(const QElapsedTimer& timer) {
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double timeThumbnail(const QString& source, const QString& maxSide, bool expectMade, int& failures) {
  orv::content::usrMinature maker;
  maker.setHtmlIconVisibility(0);
  maker.setImagePathFullSize(source);
  maker.setMaxSize(maxSide);
  QElapsedTimer timer;
  timer.start();
  const bool made = maker.CreateMiniature();
  const double ms = elapsedMs(timer);
  if (made != expectMade) {
    ++failures;
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  orv::platform::selectMessageLoop();
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: thumbnail_bench <work folder> [photos] [largest side]\n");
    return 2;
  }
  const QString work = arguments.at(1);
  const int photos = arguments.size() > 2 ? std::max(1, arguments.at(2).toInt()) : 20;
  const QString maxSide = arguments.size() > 3 ? arguments.at(3) : QStringLiteral("96");

  const QString photoFolder = work + QStringLiteral("/photos");
  QDir().mkpath(photoFolder);
  QDir().mkpath(work + QStringLiteral("/app"));
  orv::core::gAppFolder = work + QStringLiteral("/app");

  QElapsedTimer timer;
  timer.start();
  const QString first = photoFolder + QStringLiteral("/photo-0.jpg");
  QImageWriter writer(first, "jpeg");
  writer.setQuality(90);
  if (!writer.write(makePhoto(4000, 3000))) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(first));
    return 1;
  }
  QStringList sources{first};
  for (int i = 1; i < photos; ++i) {
    sources << photoFolder + QStringLiteral("/photo-%1.jpg").arg(i);
    QFile::copy(first, sources.last());
  }
  std::printf("jpeg %s\n", qPrintable(first));
  std::printf("jpeg_bytes %lld\n", static_cast<long long>(QFile(first).size()));
  std::printf("jpeg_pixels 4000x3000\n");
  std::printf("fixture_ms %.1f\n", elapsedMs(timer));

  int failures = 0;
  std::vector<double> cold;
  std::vector<double> cached;
  for (const QString& source : sources) {
    cold.push_back(timeThumbnail(source, maxSide, true, failures));
  }
  for (const QString& source : sources) {
    cached.push_back(timeThumbnail(source, maxSide, true, failures));
  }
  std::printf("photos %d\n", photos);
  std::printf("cold_ms_median %.2f\n", median(cold));
  std::printf("cold_ms_max %.2f\n", *std::max_element(cold.begin(), cold.end()));
  std::printf("cached_ms_median %.3f\n", median(cached));
  std::printf("failures %d\n", failures);
  return failures == 0 ? 0 : 1;
}
