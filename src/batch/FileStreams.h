// Batch files on disk: a ByteSource over a regular file and a ByteSink that replaces a file
// atomically, both on the platform's file layer.
#pragma once

#include <filesystem>
#include <memory>

#include "batch/BatchStream.h"
#include "platform/Files.h"

namespace kessmar {

// Reads a regular file front to back. The constructor throws IoError (the system's reason) when
// the file cannot be opened or is not a regular file; Read throws IoError on a read failure.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path);
  size_t Read(char* data, size_t n) override;
  uint64_t Size() const override { return file_->Size(); }

 private:
  std::unique_ptr<platform::InputFile> file_;
};

// Writes a new version of a file beside it; Commit puts it in the target's place. Until Commit
// succeeds the target is untouched, and a sink destroyed without a successful Commit removes its
// temporary file. Every failure throws IoError with the system's reason.
class AtomicFileSink : public ByteSink {
 public:
  explicit AtomicFileSink(const std::filesystem::path& target);

  void Write(const char* data, size_t n) override;
  void Commit();

  const std::filesystem::path& TemporaryPath() const { return file_->TemporaryPath(); }

 private:
  std::unique_ptr<platform::ReplacementFile> file_;
};

}  // namespace kessmar
