#include "PartDevice.h"

#include "ReadErrors.h"

namespace xlsx {

PartDevice::PartDevice(const QString& path, zip_t* zip, zip_int64_t index, const QString& name)
    : path_(path), name_(name) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip, zip_uint64_t(index), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE) &&
      st.size > zip_uint64_t(kMaxPartSize))
    failTooLarge();
  file_ = zip_fopen_index(zip, zip_uint64_t(index), 0);
  if (!file_) {
    const zip_error_t* error = zip_get_error(zip);
    const int code = zip_error_code_zip(error);
    if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP)
      failRead(path, passwordProtectedReason());
    failDamaged(path,
                QStringLiteral("%1：%2").arg(
                    name, zipErrorText(code, zip_error_strerror(const_cast<zip_error_t*>(error)))));
  }
  open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

PartDevice::~PartDevice() {
  close();
  if (file_) zip_fclose(file_);
}

void PartDevice::drain() {
  char buffer[1 << 16];
  while (!end_) readData(buffer, sizeof buffer);
}

void PartDevice::throwIfFailed() const {
  if (tooLarge_) failTooLarge();
  if (zipError_ != ZIP_ER_OK)
    failDamaged(path_, QStringLiteral("%1：%2").arg(name_, zipErrorText(zipError_, zipText_)));
}

void PartDevice::failTooLarge() const {
  failRead(path_, QStringLiteral("檔案內容過大（%1 解開後超過 2 GB）").arg(name_));
}

qint64 PartDevice::readData(char* data, qint64 maxSize) {
  if (end_) return -1;
  const zip_int64_t n = zip_fread(file_, data, zip_uint64_t(maxSize));
  if (n < 0) {
    zip_error_t* error = zip_file_get_error(file_);
    zipError_ = zip_error_code_zip(error);
    if (zipError_ == ZIP_ER_OK) zipError_ = ZIP_ER_READ;
    zipText_ = zip_error_strerror(error);
    end_ = true;
    return -1;
  }
  if (n == 0) {
    end_ = true;
    return -1;
  }
  read_ += n;
  if (read_ > kMaxPartSize) {
    tooLarge_ = true;
    end_ = true;
    return -1;
  }
  return n;
}

}  // namespace xlsx
