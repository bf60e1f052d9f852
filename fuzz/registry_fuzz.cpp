// libFuzzer target of the registry file reader: the input is the whole text
// of a user.reg or system.reg. What must hold for any text:
// - a refused text names a line of the text and says why;
// - an accepted text, served unchanged, is written back byte for byte;
// - every key and value the walk meets can be read, and once each key with
//   values has been rewritten in Wine's form, the new text parses again to
//   the very same keys and values;
// - the same text loaded as a file is, its key names read only as lookups
//   need them, walks to the very same keys and values.
// A broken promise aborts with the two sides printed.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/prefix/mapped_file.h"
#include "platform/prefix/registry_document.h"

namespace {

using platform::String;
using platform::prefix::RegistryDocument;

// Enough for any input the fuzzer makes while keeping each run short: the
// walk keeps every key's full path, so a deep tree costs its depth squared.
constexpr size_t kMaxKeys = 2000;
constexpr size_t kMaxPathCharacters = 1 << 18;
constexpr platform::FileTime kNow = 133'000'000'000'000'000ULL;
constexpr char kHeader[] = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\n\n";

using Value = std::tuple<String, uint32_t, std::string>;
// Key path -> its values in the order the document lists them.
using Snapshot = std::map<String, std::vector<Value>>;

std::string Printable(const String& s) {
  std::string out;
  for (char16_t c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[12];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", unsigned(c));
      out += buffer;
    }
  }
  return out;
}

[[noreturn]] void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "registry_fuzz: %s\n%s\n", what, detail.c_str());
  std::abort();
}

// Every key below `key` (whose path is `path`) and its values, found the
// way the registry functions find them: by enumerating names and looking
// each up again by path.
// False when the walk stopped at its limits.
bool Walk(RegistryDocument& doc, uint32_t key, const String& path, Snapshot* out, size_t* pathCharacters) {
  if (out->size() >= kMaxKeys || (*pathCharacters += path.size()) > kMaxPathCharacters) return false;
  std::vector<Value>& values = (*out)[path];
  for (const String& name : doc.ValueNames(key)) {
    const platform::prefix::RegistryEntry* entry = doc.FindValue(key, name);
    if (!entry) Broken("a listed value cannot be found", Printable(path) + " : " + Printable(name));
    values.emplace_back(entry->name, entry->type, entry->data);
  }
  for (const String& name : doc.SubkeyNames(key)) {
    const String childPath = path.empty() ? name : path + u"\\" + name;
    const uint32_t child = doc.Find(childPath);
    if (child == RegistryDocument::kNoKey) Broken("a listed subkey cannot be found", Printable(childPath));
    if (!Walk(doc, child, childPath, out, pathCharacters)) return false;
  }
  return true;
}

std::string Describe(const Snapshot& snapshot) {
  std::string out;
  for (const auto& [path, values] : snapshot) {
    out += "[" + Printable(path) + "]\n";
    for (const auto& [name, type, data] : values) {
      out += "  " + Printable(name) + " type " + std::to_string(type) + " (" + std::to_string(data.size()) + " bytes)\n";
    }
  }
  return out;
}

// The text as a registry file is loaded: mapped, key names read as lookups
// need them. False when no file could be made of it.
bool LoadAsFile(const std::string& text, RegistryDocument* doc, uint32_t* errorLine, std::string* reason) {
  const int fd = memfd_create("registry", MFD_CLOEXEC);
  if (fd < 0) return false;
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  auto file = written == text.size() ? platform::prefix::MappedFile::Open(fd, text.size()) : nullptr;
  close(fd);
  if (!file) return false;
  if (!doc->Load(std::move(file), errorLine, reason)) Broken("a text that parses does not load", *reason);
  return true;
}

size_t LineCount(const std::string& text) {
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RegistryDocument doc(kHeader);
  uint32_t errorLine = 0;
  std::string reason;
  if (!doc.Parse(text, &errorLine, &reason)) {
    if (reason.empty()) Broken("refused without a reason", text);
    if (errorLine < 1 || errorLine > LineCount(text)) Broken("refused at a line outside the text", std::to_string(errorLine));
    return 0;
  }
  const std::string unchanged = doc.Serialize(kNow);
  if (unchanged != (text.empty() ? std::string(kHeader) : text)) Broken("unchanged document not written back as read", unchanged);

  Snapshot before;
  size_t pathCharacters = 0;
  if (!Walk(doc, RegistryDocument::kRootKey, String(), &before, &pathCharacters)) return 0;

  if (RegistryDocument loaded(kHeader); !text.empty() && LoadAsFile(text, &loaded, &errorLine, &reason)) {
    Snapshot asLoaded;
    pathCharacters = 0;
    Walk(loaded, RegistryDocument::kRootKey, String(), &asLoaded, &pathCharacters);
    if (loaded.keyLineDamaged()) Broken("a key line that parses is damaged when loaded", text);
    if (asLoaded != before) Broken("the loaded file reads differently", Describe(before) + "---\n" + Describe(asLoaded));
  }

  // Rewrite every key that holds values: setting a value to what it holds
  // makes the writer spell the whole key anew.
  for (const auto& [path, values] : before) {
    if (values.empty()) continue;
    const uint32_t key = doc.Find(path);
    const auto& [name, type, bytes] = values.front();
    doc.SetValue(key, name, type, bytes);
  }
  const std::string rewritten = doc.Serialize(kNow);
  RegistryDocument again(kHeader);
  if (!again.Parse(rewritten, &errorLine, &reason))
    Broken("rewritten text does not parse", "line " + std::to_string(errorLine) + ": " + reason + "\n" + rewritten);
  Snapshot after;
  pathCharacters = 0;
  Walk(again, RegistryDocument::kRootKey, String(), &after, &pathCharacters);
  if (after != before) Broken("rewritten text reads differently", Describe(before) + "---\n" + Describe(after) + "---\n" + rewritten);
  return 0;
}
