// The base of a target's writer: created for one run by the target's Execute, with its
// exporter and an output stream (none for database targets).
#pragma once

#include <QString>
#include <memory>

class QIODevice;

namespace exportengine {

class TExporter;

class TExportWriter {
 public:
  TExportWriter(TExporter& owner, QIODevice* stream);
  virtual ~TExportWriter();
  TExportWriter(const TExportWriter&) = delete;
  TExportWriter& operator=(const TExportWriter&) = delete;

  TExporter& Owner() const { return *owner_; }
  QIODevice* Stream() const { return stream_; }

  // "Left alignment", "Center alignment", "Right alignment", else "Unknown alignment".
  virtual QString AlignName(int align) const;

 private:
  TExporter* owner_;
  QIODevice* stream_;
};

// A writer class: makes a writer of that class for an exporter and a stream.
using TExportWriterClass = std::unique_ptr<TExportWriter> (*)(TExporter& owner, QIODevice* stream);

// The TExportWriterClass of writer class W (W has W(TExporter&, QIODevice*)).
template <class W>
std::unique_ptr<TExportWriter> NewWriter(TExporter& owner, QIODevice* stream) {
  return std::make_unique<W>(owner, stream);
}

}  // namespace exportengine
