#include "updater/ComponentSwap.h"

#include <array>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "platform/Files.h"

namespace kessmar {
namespace fs = std::filesystem;

namespace {

struct Staged {
  const ComponentMove* move = nullptr;
  std::unique_ptr<platform::ReplacementFile> file;
  std::optional<fs::path> backup;  // link to the replaced file while the renames run
  bool committed = false;
};

[[noreturn]] void Fail(const std::string& what, const fs::path& file, const std::string& reason) {
  throw std::runtime_error(what + " " + file.string() + ": " + reason);
}

void Stage(Staged& staged, const fs::path& program) {
  const ComponentMove& move = *staged.move;
  std::error_code ec;
  if (!fs::is_regular_file(move.source, ec)) Fail("Missing component", move.source, "not found");
  fs::create_directories(move.destination.parent_path(), ec);
  if (ec) Fail("Cannot create the folder of", move.destination, ec.message());
  try {
    platform::InputFile in(move.source);
    staged.file = std::make_unique<platform::ReplacementFile>(move.destination);
    std::array<char, 64 * 1024> block;
    while (const size_t n = in.Read(block.data(), block.size()))
      staged.file->Write(block.data(), n);
  } catch (const platform::FileError& e) {
    Fail("Cannot stage", move.destination, e.what());
  }
  fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                   fs::perms::others_read;
  const auto old = fs::status(move.destination, ec);
  if (!ec && fs::is_regular_file(old)) {
    mode = old.permissions();
  } else if (fs::weakly_canonical(move.destination, ec) == fs::weakly_canonical(program, ec)) {
    mode |= fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  }
  fs::permissions(staged.file->TemporaryPath(), mode, ec);
  if (ec) Fail("Cannot set the permissions of", staged.file->TemporaryPath(), ec.message());
}

// Puts the old files back after a failed rename.
void RollBack(std::vector<Staged>& all) {
  std::error_code ec;
  for (Staged& s : all) {
    if (s.committed) {
      if (s.backup) {
        fs::rename(*s.backup, s.move->destination, ec);
      } else {
        fs::remove(s.move->destination, ec);
      }
    } else if (s.backup) {
      fs::remove(*s.backup, ec);
    }
  }
}

}  // namespace

std::vector<ComponentMove> PlanComponentMoves(const std::vector<std::string>& components,
                                              const fs::path& componentFolder,
                                              const fs::path& programFolder) {
  std::vector<ComponentMove> moves;
  for (const std::string& entry : components) {
    const fs::path path(entry);
    ComponentMove move;
    move.source = componentFolder / path.filename();
    move.destination = entry.find('/') != std::string::npos ? path : programFolder / path;
    moves.push_back(std::move(move));
  }
  return moves;
}

void InstallComponents(const std::vector<ComponentMove>& moves, const fs::path& program) {
  std::vector<Staged> all(moves.size());
  for (size_t i = 0; i < moves.size(); ++i) {
    all[i].move = &moves[i];
    Stage(all[i], program);  // a failure here leaves every destination untouched
  }
  std::error_code ec;
  for (Staged& s : all) {
    const fs::path& destination = s.move->destination;
    if (fs::exists(fs::symlink_status(destination, ec))) {
      fs::path backup = destination;
      backup += ".wusetup-old";
      fs::remove(backup, ec);
      fs::create_hard_link(destination, backup, ec);
      if (ec) fs::copy_file(destination, backup, fs::copy_options::overwrite_existing, ec);
      if (ec) {
        RollBack(all);
        Fail("Cannot keep the old file", destination, ec.message());
      }
      s.backup = backup;
    }
    try {
      s.file->Commit();
    } catch (const platform::FileError& e) {
      RollBack(all);
      Fail("Cannot replace", destination, e.what());
    }
    s.committed = true;
  }
  for (Staged& s : all) {
    if (s.backup) fs::remove(*s.backup, ec);
    fs::remove(s.move->source, ec);
  }
}

}  // namespace kessmar
