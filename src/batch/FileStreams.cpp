#include "batch/FileStreams.h"

namespace kessmar {
namespace {

// Runs operation, turning the file layer's error into the batch module's.
template <typename Operation>
auto Io(Operation operation) {
  try {
    return operation();
  } catch (const platform::FileError& e) {
    throw IoError(e.what());
  }
}

}  // namespace

FileSource::FileSource(const std::filesystem::path& path)
    : file_(Io([&] { return std::make_unique<platform::InputFile>(path); })) {}

size_t FileSource::Read(char* data, size_t n) {
  return Io([&] { return file_->Read(data, n); });
}

AtomicFileSink::AtomicFileSink(const std::filesystem::path& target)
    : file_(Io([&] { return std::make_unique<platform::ReplacementFile>(target); })) {}

void AtomicFileSink::Write(const char* data, size_t n) {
  Io([&] { file_->Write(data, n); });
}

void AtomicFileSink::Commit() {
  Io([&] { file_->Commit(); });
}

}  // namespace kessmar
