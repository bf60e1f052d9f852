#include "support/change_seam.h"

#include "platform/files.h"
#include "support/text.h"

namespace kelvaro {
namespace {

// Makes each change as it comes.
class DirectChanges final : public WorkstationChanges {
 public:
  bool WriteFile(const QString&, const std::function<bool()>& write) override { return write(); }
  bool CreateFolder(const QString& folder) override { return platform::CreateDirectoryTree(toW(folder)); }
  bool SetRegistryValue(int, const QString&, const QString&, const std::function<bool()>& write) override {
    return write();
  }
  void KeepChanges() override {}
};

DirectChanges gDirect;
WorkstationChanges* gDoor = &gDirect;

}  // namespace

QString JournalFolder() { return QStringLiteral("C:\\ProgramData\\Kelvaro\\"); }
QString JournalPath() { return JournalFolder() + QStringLiteral("journal.txt"); }

WorkstationChanges& Changes() { return *gDoor; }

WorkstationChanges* SetChanges(WorkstationChanges* door) {
  WorkstationChanges* previous = gDoor == &gDirect ? nullptr : gDoor;
  gDoor = door ? door : &gDirect;
  return previous;
}

}  // namespace kelvaro
