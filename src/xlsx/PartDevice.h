// One part of a workbook's zip archive as a device the XML reader pulls from, unpacked
// as it is read and never more than kMaxPartSize bytes of it, whatever the archive's
// directory declares.
#pragma once

#include <zip.h>

#include <QIODevice>
#include <QString>

namespace xlsx {

constexpr qint64 kMaxPartSize = qint64(2) << 30;

class PartDevice : public QIODevice {
 public:
  // Opens the part at `index` of `zip`; throws when it cannot be unpacked (encrypted,
  // damaged, or declared larger than kMaxPartSize). `path` names the file in messages.
  PartDevice(const QString& path, zip_t* zip, zip_int64_t index, const QString& name);
  ~PartDevice() override;

  bool isSequential() const override { return true; }
  bool atEnd() const override { return end_; }

  // Reads the rest of the part, so that its check sum is compared even when the reader
  // stopped before the end.
  void drain();
  // After the XML reader stopped: throws when the reason was the archive's.
  void throwIfFailed() const;

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  [[noreturn]] void failTooLarge() const;

  QString path_;
  QString name_;
  zip_file_t* file_ = nullptr;
  qint64 read_ = 0;
  bool end_ = false;
  bool tooLarge_ = false;
  int zipError_ = ZIP_ER_OK;
  const char* zipText_ = "";
};

}  // namespace xlsx
