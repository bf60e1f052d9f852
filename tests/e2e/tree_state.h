// What a test compares before and after a run to tell whether it changed
// anything a user could see: a folder tree's entries with their times and
// bytes.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace e2e {

// Everything under root as the user could tell it changed: each entry's
// kind, mode, modification time (a folder's only with folderTimes), and a
// file's bytes. The test's own folder "work" is left out.
inline std::map<std::string, std::string> TreeState(const std::string& root, bool folderTimes = true) {
  std::map<std::string, std::string> state;
  for (auto it = std::filesystem::recursive_directory_iterator(root);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    if (it.depth() == 0 && it->path().filename() == "work") {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    if (lstat(it->path().c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode) && !folderTimes) st.st_mtim = {};
    std::string entry =
        std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISREG(st.st_mode)) {
      std::ifstream in(it->path(), std::ios::binary);
      entry += " " + std::string(std::istreambuf_iterator<char>(in), {});
    }
    state[std::filesystem::relative(it->path(), root).string()] = entry;
  }
  return state;
}

// The keys of two states that differ, for a readable failure.
inline std::string Differences(const std::map<std::string, std::string>& a,
                               const std::map<std::string, std::string>& b) {
  std::string names;
  for (const auto& [name, entry] : a) {
    if (!b.count(name) || b.at(name) != entry) names += " " + name;
  }
  for (const auto& [name, entry] : b) {
    if (!a.count(name)) names += " +" + name;
  }
  return names;
}

}  // namespace e2e
