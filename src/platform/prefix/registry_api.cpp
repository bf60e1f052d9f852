// The Reg* functions over the prefix's registry files. Each call takes the
// registry mutex, asks the file's store for the current document and works
// on it; writes go through RegistryStore::Write.
#include <algorithm>

#include "platform/prefix/host_text.h"
#include "platform/prefix/prefix.h"
#include "platform/prefix/registry_store.h"
#include "platform/prefix/registry_wineserver.h"
#include "platform/registry.h"

namespace platform {

using prefix::RegistryChange;
using prefix::RegistryDocument;
using prefix::RegistryStore;

struct RegistryKey::Impl {
  std::shared_ptr<RegistryStore> store;
  String path;
  uint32_t access = 0;
  // Where the key sits in the store's document, valid for one generation.
  uint64_t generation = 0;
  uint32_t id = RegistryDocument::kNoKey;
  uint64_t namesGeneration = 0;
  std::vector<String> subkeyNames;
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;
RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
bool RegistryKey::isOpen() const { return impl_ != nullptr; }
void RegistryKey::Close() { impl_.reset(); }

namespace {

constexpr uint32_t kWriteAccess = kKeySetValue | kKeyCreateSubKey | 0x0020 /* KEY_CREATE_LINK */ |
                                  0x10000 /* DELETE */ | 0x40000 /* WRITE_DAC */ | 0x80000 /* WRITE_OWNER */;

std::string& LastFileError() {
  static std::string error;
  return error;
}

// Wine's server reads a key path component by component and skips repeated
// backslashes; only a leading one is refused (STATUS_OBJECT_PATH_INVALID).
uint32_t TidyPath(const String& subKey, String* path) {
  if (!subKey.empty() && subKey[0] == u'\\') return kErrorBadPathname;
  path->clear();
  path->reserve(subKey.size());
  for (char16_t c : subKey) {
    if (c == u'\\' && (path->empty() || path->back() == u'\\')) continue;
    path->push_back(c);
  }
  if (!path->empty() && path->back() == u'\\') path->pop_back();
  return kErrorSuccess;
}

std::string& LastRefusal() {
  static std::string refusal;
  return refusal;
}

uint32_t Fail(RegistryStore& store, uint32_t code) {
  if (code == kErrorRegistryCorrupt) LastFileError() = store.error();
  return code;
}

// A write's outcome, remembering why a running Wine did not take it.
uint32_t Written(RegistryStore& store, uint32_t code) {
  LastRefusal() = code == kErrorSuccess ? std::string() : store.refusal();
  return Fail(store, code);
}

// Runs a read of the store's document again, from the file as it is then,
// when another program shrank the file under what the read saw.
template <class Read>
uint32_t ReadWhole(RegistryStore& store, Read read) {
  uint32_t code = read();
  for (int again = 0; again < 2 && store.Torn(); ++again) code = read();
  return code;
}

// The document and the key's place in it, found again after the file
// changed, its lines checked then.
uint32_t Locate(RegistryKey::Impl& key, bool forceStat, RegistryDocument** document) {
  uint32_t code = key.store->Current(forceStat, document);
  if (code != kErrorSuccess) return Fail(*key.store, code);
  if (key.generation == key.store->generation()) {  // the usual read: nothing to look up
    return key.id == RegistryDocument::kNoKey ? kErrorKeyDeleted : kErrorSuccess;
  }
  return ReadWhole(*key.store, [&] {
    code = key.store->Current(false, document);
    if (code != kErrorSuccess) return Fail(*key.store, code);
    key.id = (*document)->Find(key.path);
    key.generation = key.store->generation();
    if (key.id == RegistryDocument::kNoKey) return uint32_t(kErrorKeyDeleted);
    return Fail(*key.store, key.store->CheckKey(**document, key.id));
  });
}

String Child(const String& parent, const String& name) {
  if (parent.empty()) return name;
  if (name.empty()) return parent;
  return parent + u'\\' + name;
}

uint32_t OpenExisting(const std::shared_ptr<RegistryStore>& store, RegistryDocument* document, const String& path,
                      uint32_t access, RegistryKey* key) {
  const uint32_t id = document->Find(path);
  if (id == RegistryDocument::kNoKey) return kErrorFileNotFound;
  if (uint32_t code = store->CheckKey(*document, id)) return Fail(*store, code);
  if (access & kWriteAccess) {
    // A non-administrator asking write access to a key it may not change is
    // refused at the open already, as Windows does.
    uint32_t code = store->CheckWritable();
    if (code != kErrorSuccess) return code == kErrorPathNotFound ? kErrorFileNotFound : code;
  }
  auto impl = std::make_unique<RegistryKey::Impl>();
  impl->store = store;
  impl->path = document->Path(id);
  impl->access = access;
  impl->generation = store->generation();
  impl->id = id;
  *key = RegistryKey(std::move(impl));
  return kErrorSuccess;
}

}  // namespace

uint32_t RegOpenKey(RegistryRoot root, const String& subKey, uint32_t access, RegistryKey* key) {
  key->Close();
  String path;
  if (uint32_t code = TidyPath(subKey, &path)) return code;
  std::lock_guard lock(prefix::RegistryMutex());
  LastRefusal().clear();
  auto store = prefix::StoreFor(root == RegistryRoot::LocalMachine);
  return ReadWhole(*store, [&] {
    RegistryDocument* document = nullptr;
    if (uint32_t code = store->Current(true, &document)) return Fail(*store, code);
    return OpenExisting(store, document, path, access, key);
  });
}

uint32_t RegCreateKey(RegistryRoot root, const String& subKey, uint32_t access, RegistryKey* key) {
  key->Close();
  String path;
  if (uint32_t code = TidyPath(subKey, &path)) return code;
  std::lock_guard lock(prefix::RegistryMutex());
  LastRefusal().clear();
  auto store = prefix::StoreFor(root == RegistryRoot::LocalMachine);
  RegistryDocument* document = nullptr;
  if (uint32_t code = store->Current(true, &document)) {
    // Creating a key never creates the prefix it would live in.
    return Fail(*store, code == kErrorFileNotFound ? kErrorPathNotFound : code);
  }
  if (document->Find(path) == RegistryDocument::kNoKey) {
    uint32_t code = store->Write(
        [&](RegistryDocument& d) {
          d.Create(path);
          return uint32_t(kErrorSuccess);
        },
        {RegistryChange::CreateKey, false, path, {}, 0, {}});
    if (code != kErrorSuccess) return Written(*store, code);
    if (uint32_t again = store->Current(true, &document)) return Fail(*store, again);
  }
  return OpenExisting(store, document, path, access, key);
}

uint32_t RegQueryValue(const RegistryKey& key, const String& name, RegistryValue* value) {
  if (!key.isOpen()) return kErrorInvalidHandle;
  RegistryKey::Impl& impl = *key.impl();
  if (!(impl.access & kKeyQueryValue)) return kErrorAccessDenied;
  std::lock_guard lock(prefix::RegistryMutex());
  RegistryDocument* document = nullptr;
  if (uint32_t code = Locate(impl, false, &document)) return code;
  const prefix::RegistryEntry* entry = document->FindValue(impl.id, name);
  if (!entry) return kErrorFileNotFound;
  value->type = entry->type;
  value->data = entry->data;
  return kErrorSuccess;
}

namespace {

// Runs a change of the key's own document under the file lock.
// handed: the same change for Wine's registry tool, its key left empty for
// the key's own path.
uint32_t ChangeKey(const RegistryKey& key, uint32_t needed, RegistryChange handed,
                   const std::function<uint32_t(RegistryDocument&, uint32_t id)>& change) {
  if (!key.isOpen()) return kErrorInvalidHandle;
  RegistryKey::Impl& impl = *key.impl();
  if ((impl.access & needed) != needed) return kErrorAccessDenied;
  std::lock_guard lock(prefix::RegistryMutex());
  if (handed.key.empty()) handed.key = impl.path;
  uint32_t code = impl.store->Write(
      [&](RegistryDocument& document) {
        const uint32_t id = document.Find(impl.path);
        if (id == RegistryDocument::kNoKey) return uint32_t(kErrorKeyDeleted);
        return change(document, id);
      },
      std::move(handed));
  return Written(*impl.store, code);
}

}  // namespace

uint32_t RegSetValue(const RegistryKey& key, const String& name, uint32_t type, const std::string& data) {
  return ChangeKey(key, kKeySetValue, {RegistryChange::SetValue, false, {}, name, type, data},
                   [&](RegistryDocument& document, uint32_t id) {
    document.SetValue(id, name, type, data);
    return uint32_t(kErrorSuccess);
  });
}

uint32_t RegDeleteValue(const RegistryKey& key, const String& name) {
  return ChangeKey(key, kKeySetValue, {RegistryChange::DeleteValue, false, {}, name, 0, {}},
                   [&](RegistryDocument& document, uint32_t id) {
    return document.DeleteValue(id, name) ? uint32_t(kErrorSuccess) : uint32_t(kErrorFileNotFound);
  });
}

uint32_t RegDeleteKey(const RegistryKey& parent, const String& subKey) {
  String relative;
  if (uint32_t code = TidyPath(subKey, &relative)) return code;
  if (!parent.isOpen()) return kErrorInvalidHandle;
  const String path = Child(parent.impl()->path, relative);
  // The root of the file itself cannot be deleted.
  if (path.empty()) return kErrorAccessDenied;
  return ChangeKey(parent, 0, {RegistryChange::DeleteKey, false, path, {}, 0, {}},
                   [&](RegistryDocument& document, uint32_t) {
    const uint32_t id = document.Find(path);
    if (id == RegistryDocument::kNoKey) return uint32_t(kErrorFileNotFound);
    if (document.HasSubkeys(id)) return uint32_t(kErrorAccessDenied);
    document.DeleteKey(id);
    return uint32_t(kErrorSuccess);
  });
}

uint32_t RegEnumKey(const RegistryKey& key, uint32_t index, String* name) {
  if (!key.isOpen()) return kErrorInvalidHandle;
  RegistryKey::Impl& impl = *key.impl();
  if (!(impl.access & kKeyEnumerateSubKeys)) return kErrorAccessDenied;
  std::lock_guard lock(prefix::RegistryMutex());
  const uint32_t code = ReadWhole(*impl.store, [&] {
    RegistryDocument* document = nullptr;
    if (uint32_t located = Locate(impl, false, &document)) return located;
    if (impl.namesGeneration != impl.generation || index == 0) {
      impl.subkeyNames = document->SubkeyNames(impl.id);
      impl.namesGeneration = impl.generation;
    }
    return uint32_t(kErrorSuccess);
  });
  if (code != kErrorSuccess) return code;
  if (index >= impl.subkeyNames.size()) return kErrorNoMoreItems;
  *name = impl.subkeyNames[index];
  return kErrorSuccess;
}

uint32_t RegEnumValueNames(const RegistryKey& key, std::vector<String>* names) {
  if (!key.isOpen()) return kErrorInvalidHandle;
  RegistryKey::Impl& impl = *key.impl();
  if (!(impl.access & kKeyQueryValue)) return kErrorAccessDenied;
  std::lock_guard lock(prefix::RegistryMutex());
  RegistryDocument* document = nullptr;
  if (uint32_t code = Locate(impl, false, &document)) return code;
  *names = document->ValueNames(impl.id);
  return kErrorSuccess;
}

String RegistryRefusalReason() {
  std::lock_guard lock(prefix::RegistryMutex());
  return prefix::WindowsText(LastRefusal());
}

bool RegistryServerRunning(String* where) {
  const std::string folder = prefix::LiveWineserverFolder(prefix::Root());
  *where = prefix::WindowsText(folder);
  return !folder.empty();
}

void SetRegistryWaitObserver(std::function<void(bool waiting)> observer) {
  prefix::SetWineserverWaitObserver(std::move(observer));
}

String RegistryFileError() {
  std::lock_guard lock(prefix::RegistryMutex());
  const std::string& utf8 = LastFileError();
  // The message is UTF-8 (French text and a host path): widen it.
  String out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    uint32_t c = b;
    int length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (length > 1 && i + length <= utf8.size()) {
      c = b & (0x7F >> length);
      for (int k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    } else {
      length = 1;
    }
    i += length;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace platform
